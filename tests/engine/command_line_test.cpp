// The command line of kestrel-cli.
#include "cli/command_line.h"

#include <gtest/gtest.h>

namespace kestrel::cli {
namespace {

ParseResult parse(std::initializer_list<const char*> words) {
  std::vector<NativeString> arguments;
  for (const char* word : words) {
    const std::u16string wide = utf16_from_utf8(word);
    arguments.push_back(native_from_utf16(wide));
  }
  return parse_command_line(arguments);
}

TEST(CommandLine, SwitchesAreKnownByTheirFirstLetterAfterOneOrTwoDashes) {
  const ParseResult result = parse({"--label", "My Disc", "-o", "out.iso", "-FS", "bridge", "-y",
                                    "--q", "-json", "r.json", "src"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(*result.command.json_report, native_from_utf16(u"r.json"));
  EXPECT_TRUE(result.command.layout_given);
  EXPECT_EQ(*result.command.label, u"My Disc");
  EXPECT_EQ(*result.command.output, native_from_utf16(u"out.iso"));
  EXPECT_EQ(result.command.layout, LayoutChoice::bridge);
  EXPECT_TRUE(result.command.replace_existing);
  EXPECT_TRUE(result.command.quiet);
  EXPECT_EQ(result.command.source, native_from_utf16(u"src"));
}

TEST(CommandLine, NameExtensionsAreLeftOutByTheirWholeSwitches) {
  EXPECT_EQ(parse({"src"}).command.name_extensions(), (NameExtensions{true, true}));
  EXPECT_EQ(parse({"-no-joliet", "src"}).command.name_extensions(), (NameExtensions{false, true}));
  EXPECT_EQ(parse({"--no-rock-ridge", "src"}).command.name_extensions(),
            (NameExtensions{true, false}));
  EXPECT_EQ(parse({"-no-joliet", "-no-rock-ridge", "src"}).command.name_extensions(),
            (NameExtensions{false, false}));
  // Not to be taken for -no-boot by a first letter.
  EXPECT_FALSE(parse({"-no-joliet", "src"}).command.no_boot);
}

TEST(CommandLine, MistakesAreExplained) {
  EXPECT_NE(parse({"-fs", "udf201", "src"}).error.find("udf201"), std::string::npos);
  EXPECT_NE(parse({"-output"}).error.find("needs a value"), std::string::npos);
  EXPECT_NE(parse({"-x", "src"}).error.find("Unknown switch"), std::string::npos);
  EXPECT_NE(parse({"a", "b"}).error.find("second"), std::string::npos);
  EXPECT_FALSE(parse({}).ok);
  EXPECT_TRUE(parse({"-help"}).ok);
  EXPECT_EQ(parse({"src"}).command.layout, LayoutChoice::udf250);
  EXPECT_FALSE(parse({"src"}).command.layout_given);
  EXPECT_NE(parse({"src", "-json"}).error.find("needs a value"), std::string::npos);
#ifndef _WIN32
  // On POSIX systems a leading slash starts an absolute path, not a switch.
  EXPECT_EQ(parse({"/data/folder"}).command.source, "/data/folder");
#endif
}

}  // namespace
}  // namespace kestrel::cli
