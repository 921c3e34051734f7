#include "cli/command_line.h"

#include "cli/switch_table.h"

namespace kestrel::cli {
namespace {

struct LayoutName {
  std::string_view name;
  LayoutChoice layout;
};
constexpr LayoutName layout_table[] = {
    {"iso9660", LayoutChoice::iso9660},
    {"bridge", LayoutChoice::bridge},
    {"udf102", LayoutChoice::udf102},
    {"udf250", LayoutChoice::udf250},
};
constexpr std::string_view layout_name_list[] = {"iso9660", "bridge", "udf102", "udf250"};

bool is_switch(const NativeString& argument) {
  if (argument.size() < 2) return false;
  if (argument[0] == '-') return true;
#ifdef _WIN32
  if (argument[0] == '/') return true;
#endif
  return false;
}

bool has_two_dashes(const NativeString& argument) {
  return argument[0] == '-' && argument[1] == '-';
}

// A switch's name after its "-", "--" or "/", as typed.
std::string switch_name(const NativeString& argument) {
  return display_text(NativeStringView(argument).substr(has_two_dashes(argument) ? 2 : 1));
}

char lower_ascii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower_ascii(a[i]) != lower_ascii(b[i])) return false;
  }
  return true;
}

// The one switch a mistyped name most likely meant: the same name in another
// case, or a name that the typed one begins or ends early. Null when none or
// several fit.
const SwitchDefinition* meant_switch(std::string_view typed) {
  const SwitchDefinition* meant = nullptr;
  for (const SwitchDefinition& definition : switch_definitions()) {
    const std::string_view name = definition.name;
    const size_t common = std::min(name.size(), typed.size());
    const bool near =
        same_ignoring_case(name, typed) ||
        (common >= 2 && same_ignoring_case(name.substr(0, common), typed.substr(0, common)));
    if (!near) continue;
    if (meant != nullptr) return nullptr;
    meant = &definition;
  }
  return meant;
}

std::string unknown_switch_error(const NativeString& argument, std::string_view typed) {
  std::string error = "Unknown switch " + display_text(argument);
  if (const SwitchDefinition* meant = meant_switch(typed)) {
    error += " (did you mean -";
    error += meant->name;
    error += "?)";
  }
  return error + "; see kestrel-cli -help.";
}

}  // namespace

std::optional<LayoutChoice> layout_from_name(const NativeString& name) {
  const std::string text = display_text(name);
  for (const LayoutName& entry : layout_table) {
    if (text == entry.name) return entry.layout;
  }
  return std::nullopt;
}

const char* layout_name(LayoutChoice layout) {
  for (const LayoutName& entry : layout_table) {
    if (entry.layout == layout) return entry.name.data();
  }
  return "udf250";
}

std::span<const std::string_view> layout_names() { return layout_name_list; }

ParseResult parse_command_line(const std::vector<NativeString>& arguments) {
  ParseResult result;
  CommandLine& command = result.command;
  bool have_source = false;
  bool switches_ended = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const NativeString& argument = arguments[i];
    if (!switches_ended && argument == KESTREL_NATIVE("--")) {
      switches_ended = true;
      continue;
    }
    if (switches_ended || !is_switch(argument)) {
      if (have_source) {
        result.error = "Only one source folder can be given; \"" + display_text(argument) +
                       "\" is a second one (put names with spaces in quotes).";
        return result;
      }
      command.source = argument;
      have_source = true;
      continue;
    }
    const std::string typed = switch_name(argument);
    // Short forms take one dash, as -o; whole names one or two, as -output
    // and --output.
    const SwitchDefinition* definition = find_switch(typed, !has_two_dashes(argument));
    if (definition == nullptr) {
      result.error = unknown_switch_error(argument, typed);
      return result;
    }
    NativeString value;
    if (!definition->argument.empty()) {
      if (i + 1 >= arguments.size()) {
        result.error = "The switch " + display_text(argument) + " needs a value.";
        return result;
      }
      value = arguments[++i];
    }
    if (!definition->apply(command, value, result.error)) return result;
  }
  if (command.no_boot && command.has_boot_switches()) {
    result.error = "-no-boot cannot be given with the other boot switches.";
    return result;
  }
  if (command.no_hybrid && command.boot_hybrid_mbr) {
    result.error = "-no-hybrid leaves out the MBR that -boot-hybrid-mbr fills; give one of them.";
    return result;
  }
  if (!have_source && !command.show_help && !command.show_version) {
    result.error = "No source folder given; see kestrel-cli -help.";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace kestrel::cli
