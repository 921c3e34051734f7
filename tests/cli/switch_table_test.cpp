// The switch table of kestrel-cli, and the -help text made from it.
#include "cli/switch_table.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "cli/help_text.h"

namespace kestrel::cli {
namespace {

// Rows are added by hand (and folded in from other work): a name or short
// form given twice would make one of the two switches unreachable.
TEST(SwitchTable, EveryNameAndShortFormIsOneSwitchOnly) {
  std::set<std::string_view> seen;
  for (const SwitchDefinition& definition : switch_definitions()) {
    EXPECT_TRUE(seen.insert(definition.name).second) << definition.name;
    if (!definition.short_name.empty()) {
      EXPECT_TRUE(seen.insert(definition.short_name).second) << definition.short_name;
    }
    EXPECT_LE(definition.short_name.size(), 1u) << definition.name;
    EXPECT_EQ(definition.argument.empty(), definition.value == SwitchValue::none)
        << definition.name << ": an argument needs its kind for the completion, and back";
    EXPECT_FALSE(definition.summary.empty() || definition.description.empty()) << definition.name;
    EXPECT_NE(definition.apply, nullptr) << definition.name;
    EXPECT_EQ(find_switch(definition.name, false), &definition);
  }
}

// A boot platform is added in the engine's table of platforms; kestrel-cli
// then needs the row of its boot file switch, with its texts.
TEST(SwitchTable, EveryBootPlatformHasItsBootFileSwitch) {
  for (const BootPlatformInfo& platform : boot_platforms()) {
    const SwitchDefinition* row = find_switch(platform.file_switch, false);
    ASSERT_NE(row, nullptr) << platform.file_switch;
    EXPECT_EQ(row->value, SwitchValue::path_in_source) << platform.file_switch;
    CommandLine command;
    std::string error;
    ASSERT_TRUE(row->apply(command, KESTREL_NATIVE("a/boot"), error));
    ASSERT_TRUE(row->apply(command, KESTREL_NATIVE("b/boot"), error));
    ASSERT_NE(command.boot_file(platform.platform), nullptr);
    EXPECT_EQ(*command.boot_file(platform.platform), KESTREL_NATIVE("b/boot"))
        << "given twice, the last one counts";
    EXPECT_EQ(command.boot_files.size(), 1u);
  }
}

TEST(SwitchTable, HelpListsEverySwitchInLinesOfAtMost79Columns) {
  const std::string help = usage_text();
  std::istringstream lines(help);
  std::string line;
  while (std::getline(lines, line)) EXPECT_LE(line.size(), 79u) << line;
  for (const SwitchDefinition& definition : switch_definitions()) {
    std::string heading = "-" + std::string(definition.name);
    if (!definition.argument.empty()) heading += " " + std::string(definition.argument);
    EXPECT_NE(help.find(" " + heading + "  "), std::string::npos)
        << heading << " is missing from -help";
  }
}

}  // namespace
}  // namespace kestrel::cli
