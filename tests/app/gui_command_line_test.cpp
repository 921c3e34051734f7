// The Windows program's command line and the block a second start forwards.
#include "app/core/gui_command_line.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestrel::app {
namespace {

std::optional<SourceRequest> parse(std::vector<std::wstring> arguments) {
  arguments.insert(arguments.begin(), L"C:\\Tools\\kestrel.exe");
  return parse_gui_arguments(arguments);
}

TEST(GuiCommandLine, SwitchesTakeTheirValueAndTheLastPlainArgumentIsTheSource) {
  auto request = parse({L"d:\\foo", L"-output", L"d:\\foo.iso", L"-label", L"foo"});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"d:\\foo");
  EXPECT_EQ(request->output, L"d:\\foo.iso");
  EXPECT_EQ(request->label, L"foo");

  request = parse({L"first", L"second"});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"second");
  EXPECT_FALSE(request->output);
  EXPECT_FALSE(request->label);

  // A bare -l, /L and -Lxyz all name the label; /O the output.
  for (const wchar_t* label_switch : {L"-l", L"/L", L"-Lxyz"}) {
    request = parse({label_switch, L"name", L"src"});
    ASSERT_TRUE(request) << label_switch;
    EXPECT_EQ(request->label, L"name");
    EXPECT_EQ(request->source, L"src");
  }
  request = parse({L"/O", L"x.iso", L"src"});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->output, L"x.iso");
}

TEST(GuiCommandLine, OtherSwitchesConsumeNothingAndLoneSwitchesApplyNothing) {
  auto request = parse({L"-x", L"folder"});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"folder");

  EXPECT_FALSE(parse({}));
  EXPECT_FALSE(parse({L"-output", L"d:\\foo.iso"}));
  EXPECT_FALSE(parse({L"-label", L"only"}));
  // A switch at the very end has no value.
  request = parse({L"src", L"-label"});
  ASSERT_TRUE(request);
  EXPECT_FALSE(request->label);
  // Non-ASCII letters are not lower-cased into switches.
  request = parse({L"-\u00CB", L"src"});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"src");
}

TEST(GuiCommandLine, QuotedDriveRootAndColonSources) {
  auto request = parse({L"D:\""});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"D:\\");
  request = parse({L"\""});  // a single quote character is left alone
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source, L"\"");
  EXPECT_FALSE(parse({L":stream"}));
}

TEST(GuiCommandLine, UsageTextIsExact) {
  EXPECT_STREQ(usage_text,
               L"Usage:\tkestrel [switches] [source folder]\n\nSwitches:\n\t-label  [label]\n"
               L"\t-output [target iso file]\n\nExamples:\n\tkestrel \"d:\\foo\" -output "
               L"\"d:\\foo.iso\" -label \"foo\"");
}

TEST(ForwardedCommandLine, RoundTripWithTheDocumentedSize) {
  const std::u16string line = u"\"C:\\kestrel.exe\" sub\\folder -label x";
  const auto block = encode_forwarded_command_line(u"C:\\work", line);
  EXPECT_EQ(block.size(), 2 * line.size() + 522);
  const auto decoded = decode_forwarded_command_line(block.data(), block.size());
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->current_directory, u"C:\\work");
  EXPECT_EQ(decoded->command_line, line);
  EXPECT_TRUE(encode_forwarded_command_line(std::u16string(261, u'd'), line).empty());
}

TEST(ForwardedCommandLine, LongestDirectoryStillCarriesTheTerminatedLine) {
  // 260 characters fill the reserved area with the directory's NUL; the
  // block grows by one character so the line keeps its own NUL.
  const std::u16string directory(260, u'd');
  for (const std::u16string& line : {std::u16string(), std::u16string(u"kestrel.exe src")}) {
    const auto block = encode_forwarded_command_line(directory, line);
    EXPECT_EQ(block.size(), 2 * line.size() + 524);
    const auto decoded = decode_forwarded_command_line(block.data(), block.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->current_directory, directory);
    EXPECT_EQ(decoded->command_line, line);
  }
  // The longest line Windows starts a process with still fits the limit.
  const std::u16string longest(32767, u'a');
  EXPECT_EQ(encode_forwarded_command_line(directory, longest).size(), forwarded_block_limit);
}

TEST(ForwardedCommandLine, MalformedBlocksAreRefused) {
  auto block = encode_forwarded_command_line(u"C:\\work", u"kestrel.exe src");
  EXPECT_FALSE(decode_forwarded_command_line(nullptr, 0));
  EXPECT_FALSE(decode_forwarded_command_line(block.data(), 0));
  EXPECT_FALSE(decode_forwarded_command_line(block.data(), block.size() - 1));  // odd size
  // Cut inside the command line: its terminator is missing.
  EXPECT_FALSE(decode_forwarded_command_line(block.data(), 2 * 12));
  // No terminator anywhere.
  std::vector<char16_t> unterminated(300, u'a');
  EXPECT_FALSE(decode_forwarded_command_line(unterminated.data(), 2 * unterminated.size()));
  // A directory as long as the whole reserved area has no room for its NUL.
  std::vector<char16_t> long_directory(261, u'd');
  long_directory.push_back(u'\0');
  long_directory.push_back(u'x');
  long_directory.push_back(u'\0');
  EXPECT_FALSE(decode_forwarded_command_line(long_directory.data(), 2 * long_directory.size()));
  // Larger than any command line Windows can carry.
  std::vector<uint8_t> huge(forwarded_block_limit + 2, 0);
  EXPECT_FALSE(decode_forwarded_command_line(huge.data(), huge.size()));
}

}  // namespace
}  // namespace kestrel::app
