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

TEST(CommandLine, SwitchesAreKnownByTheirWholeNamesAfterOneOrTwoDashes) {
  const ParseResult result = parse({"--label", "My Disc", "-output", "out.iso", "-fs", "bridge",
                                    "-yes", "--quiet", "-json", "r.json", "src"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(*result.command.json_report, native_from_utf16(u"r.json"));
  EXPECT_TRUE(result.command.layout_given);
  EXPECT_EQ(*result.command.label, u"My Disc");
  EXPECT_EQ(*result.command.output, native_from_utf16(u"out.iso"));
  EXPECT_EQ(result.command.layout, LayoutChoice::bridge);
  EXPECT_TRUE(result.command.replace_existing);
  EXPECT_TRUE(result.command.quiet);
  EXPECT_EQ(result.command.source, native_from_utf16(u"src"));
  EXPECT_FALSE(result.command.dedupe);
  // -dedupe is known by its whole name only: "-d" is no switch.
  EXPECT_TRUE(parse({"--dedupe", "src"}).command.dedupe);
  EXPECT_FALSE(parse({"-d", "src"}).ok);
}

TEST(CommandLine, OnlyTheDocumentedShortFormsAreKnown) {
  const ParseResult result = parse({"-l", "Disc", "-o", "out.iso", "-y", "-q", "src"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(*result.command.label, u"Disc");
  EXPECT_EQ(*result.command.output, native_from_utf16(u"out.iso"));
  EXPECT_TRUE(result.command.replace_existing);
  EXPECT_TRUE(result.command.quiet);
  EXPECT_TRUE(parse({"-h"}).command.show_help);
  EXPECT_TRUE(parse({"--help"}).command.show_help);
  EXPECT_TRUE(parse({"--version"}).command.show_version);
}

// A mistyped switch in a script must stop the run, naming what was typed:
// neither a longer word (-labelx), a shorter one (-lab), another case (-FS)
// nor an unknown word whose first letter is a switch's (-frobnicate: once
// taken as -fs with the source as its layout) changes what is built.
TEST(CommandLine, MistypedSwitchesAreRefusedByName) {
  const std::vector<std::vector<const char*>> mistakes = {{"-labelx", "Disc", "src"},
                                                          {"-yess", "src"},
                                                          {"-frobnicate", "src"},
                                                          {"-lab", "Disc", "src"},
                                                          {"-ye", "src"},
                                                          {"-FS", "bridge", "src"},
                                                          {"--outputs", "x.iso", "src"},
                                                          {"-boot-bio", "b.img", "src"},
                                                          {"-v"}};
  for (const std::vector<const char*>& words : mistakes) {
    std::vector<NativeString> arguments;
    for (const char* word : words) arguments.push_back(native_from_utf16(utf16_from_utf8(word)));
    const ParseResult result = parse_command_line(arguments);
    EXPECT_FALSE(result.ok) << words[0];
    EXPECT_NE(result.error.find(std::string("Unknown switch ") + words[0]), std::string::npos)
        << result.error;
  }
  // A near miss names the switch that was probably meant.
  EXPECT_NE(parse({"-labelx", "Disc", "src"}).error.find("-label?"), std::string::npos);
  EXPECT_EQ(parse({"-frobnicate", "src"}).error.find("layout"), std::string::npos);
}

TEST(CommandLine, DoubleDashEndsTheSwitches) {
  const ParseResult result = parse({"-yes", "--", "-folder"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.command.source, native_from_utf16(u"-folder"));
  EXPECT_TRUE(result.command.replace_existing);
  EXPECT_NE(parse({"--", "a", "-b"}).error.find("second"), std::string::npos);
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
  EXPECT_NE(parse({"-x", "src"}).error.find("Unknown switch -x"), std::string::npos);
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
