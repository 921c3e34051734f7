// Every switch of kestrel-cli, declared once. The parser, the -help text, the
// manual page and the bash completion are all made from this table, so a
// switch cannot be known to one of them and missing from another.
//
// Adding a switch is one row of switch_table.cpp: its name, its argument,
// its texts and the handler that records it in the CommandLine.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "cli/command_line.h"

namespace kestrel::cli {

// What a switch's argument is, for the completion: a file or folder of the
// system, a path inside the source folder, a layout name, or text and
// numbers that nothing can complete.
enum class SwitchValue { none, text, number, path, path_in_source, layout };

// Records a switch in `command`; `value` is its argument (empty for a
// switch without one). False, with `error` set to a sentence for the user,
// when the value is not valid.
using SwitchHandler = bool (*)(CommandLine& command, const NativeString& value, std::string& error);

struct SwitchDefinition {
  std::string_view name;        // "label", typed -label or --label
  std::string_view short_name;  // "l" for -l, empty when there is none
  std::string_view argument;    // "TEXT"; empty for a switch without a value
  SwitchValue value;
  std::string_view default_text;  // what holds without the switch, empty if nothing
  std::string_view summary;       // the line of -help
  std::string_view description;   // the paragraph of the manual page
  SwitchHandler apply;
};

std::span<const SwitchDefinition> switch_definitions();

// The switch with this name, exactly as written (case included), or with this
// short form when `short_forms` (a switch typed with one dash); null for any
// other word.
const SwitchDefinition* find_switch(std::string_view name, bool short_forms);

}  // namespace kestrel::cli
