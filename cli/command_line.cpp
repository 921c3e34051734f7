#include "cli/command_line.h"

namespace kestrel::cli {

const char* const usage_text =
    "Usage:\tkestrel-cli [switches] source-folder\n"
    "\n"
    "Builds one disc image (.iso) from a folder.\n"
    "\n"
    "  -label TEXT    volume label (default: the folder's name)\n"
    "  -output FILE   image file (default: <folder name>.iso in the current folder)\n"
    "  -fs NAME       iso9660, bridge (ISO 9660 + UDF 1.02, DVD), udf102 or udf250 (default)\n"
    "                 A folder with BDMV or BDAV is always a Blu-ray UDF 2.50 image;\n"
    "                 one with VIDEO_TS or AUDIO_TS always a DVD bridge image.\n"
    "  -map           print where each area of the image would lie, and write nothing\n"
    "  -yes           replace an existing image file\n"
    "  -quiet         no progress and no summary\n"
    "  -help          this text\n"
    "  -version       the program's version\n"
    "\n"
    "Exit codes: 0 done, 1 build failed, 2 usage error, 3 image exists (use -yes), 130 "
    "interrupted.\n";

namespace {

struct LayoutName {
  const char* name;
  LayoutChoice layout;
};
constexpr LayoutName layout_names[] = {
    {"iso9660", LayoutChoice::iso9660},
    {"bridge", LayoutChoice::bridge},
    {"udf102", LayoutChoice::udf102},
    {"udf250", LayoutChoice::udf250},
};

bool is_switch(const NativeString& argument) {
  if (argument.size() < 2) return false;
  if (argument[0] == '-') return true;
#ifdef _WIN32
  if (argument[0] == '/') return true;
#endif
  return false;
}

// The first letter of a switch after its "-", "--" or "/".
NativeChar switch_letter(const NativeString& argument) {
  size_t start = 1;
  if (argument[0] == '-' && argument[1] == '-') start = 2;
  if (start >= argument.size()) return 0;
  NativeChar c = argument[start];
  if (c >= 'A' && c <= 'Z') c = static_cast<NativeChar>(c + ('a' - 'A'));
  return c;
}

}  // namespace

std::optional<LayoutChoice> layout_from_name(const NativeString& name) {
  const std::string text = display_text(name);
  for (const LayoutName& entry : layout_names) {
    if (text == entry.name) return entry.layout;
  }
  return std::nullopt;
}

const char* layout_name(LayoutChoice layout) {
  for (const LayoutName& entry : layout_names) {
    if (entry.layout == layout) return entry.name;
  }
  return "udf250";
}

ParseResult parse_command_line(const std::vector<NativeString>& arguments) {
  ParseResult result;
  CommandLine& command = result.command;
  bool have_source = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const NativeString& argument = arguments[i];
    if (!is_switch(argument)) {
      if (have_source) {
        result.error = "Only one source folder can be given; \"" + display_text(argument) +
                       "\" is a second one (put names with spaces in quotes).";
        return result;
      }
      command.source = argument;
      have_source = true;
      continue;
    }
    const NativeChar letter = switch_letter(argument);
    const bool takes_value = letter == 'l' || letter == 'o' || letter == 'f';
    if (takes_value && i + 1 >= arguments.size()) {
      result.error = "The switch " + display_text(argument) + " needs a value.";
      return result;
    }
    switch (letter) {
      case 'l': command.label = image_name_from_native(arguments[++i]); break;
      case 'o': command.output = arguments[++i]; break;
      case 'f': {
        const NativeString& name = arguments[++i];
        const auto layout = layout_from_name(name);
        if (!layout) {
          result.error = "Unknown layout \"" + display_text(name) +
                         "\"; use iso9660, bridge, udf102 or udf250.";
          return result;
        }
        command.layout = *layout;
        break;
      }
      case 'm': command.show_map = true; break;
      case 'y': command.replace_existing = true; break;
      case 'q': command.quiet = true; break;
      case 'h':
      case '?': command.show_help = true; break;
      case 'v': command.show_version = true; break;
      default:
        result.error = "Unknown switch " + display_text(argument) + "; see kestrel-cli -help.";
        return result;
    }
  }
  if (!have_source && !command.show_help && !command.show_version) {
    result.error = "No source folder given; see kestrel-cli -help.";
    return result;
  }
  result.ok = true;
  return result;
}

}  // namespace kestrel::cli
