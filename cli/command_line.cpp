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
    "  -json FILE     also write a report of the build to FILE, in JSON: outcome,\n"
    "                 layout and why, counts, 3D titles interleaved, warnings\n"
    "  -map           print where each area of the image would lie, and write nothing\n"
    "  -no-boot       write a folder copied from a bootable disc as plain files;\n"
    "                 GRUB, ISOLINUX and installer disc folders are recognised and\n"
    "                 stay bootable, or the boot files are named with:\n"
    "  -boot-bios FILE       BIOS boot file, a path inside the source folder\n"
    "  -boot-efi FILE        UEFI boot image (a FAT image) inside the source folder\n"
    "  -boot-load-size N     512-byte sectors the BIOS loads, 1 to 65535 (default 4)\n"
    "  -boot-info-table      write the boot information table into the BIOS boot file\n"
    "  -no-joliet     leave out the Joliet names (Windows' long names) of the ISO 9660 volume\n"
    "  -no-rock-ridge leave out the Rock Ridge names and attributes (Linux, macOS) of the\n"
    "                 ISO 9660 volume; without both, its readers see 8.3 names only\n"
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

// A switch's name after its "-", "--" or "/", in lower case.
std::string switch_name(const NativeString& argument) {
  size_t start = 1;
  if (argument[0] == '-' && argument[1] == '-') start = 2;
  std::string name = display_text(NativeStringView(argument).substr(start));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
  }
  return name;
}

// Switches known by their whole name; the rest by their first letter.
enum class NamedSwitch {
  none,
  boot_bios,
  boot_efi,
  boot_load_size,
  boot_info_table,
  no_boot,
  no_joliet,
  no_rock_ridge,
};

NamedSwitch named_switch(const std::string& name) {
  if (name == "boot-bios") return NamedSwitch::boot_bios;
  if (name == "boot-efi") return NamedSwitch::boot_efi;
  if (name == "boot-load-size") return NamedSwitch::boot_load_size;
  if (name == "boot-info-table") return NamedSwitch::boot_info_table;
  if (name == "no-boot") return NamedSwitch::no_boot;
  if (name == "no-joliet") return NamedSwitch::no_joliet;
  if (name == "no-rock-ridge") return NamedSwitch::no_rock_ridge;
  return NamedSwitch::none;
}

// 1 to 65535, in decimal digits only.
std::optional<uint16_t> load_size_from(const NativeString& text) {
  const std::string digits = display_text(text);
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value < 1 || value > 0xFFFF) return std::nullopt;
  return static_cast<uint16_t>(value);
}

// Applies a switch known by its whole name; false with `error` set on a mistake.
bool apply_named_switch(NamedSwitch which, const std::vector<NativeString>& arguments, size_t& i,
                        CommandLine& command, std::string& error) {
  const bool takes_value = which == NamedSwitch::boot_bios || which == NamedSwitch::boot_efi ||
                           which == NamedSwitch::boot_load_size;
  if (takes_value && i + 1 >= arguments.size()) {
    error = "The switch " + display_text(arguments[i]) + " needs a value.";
    return false;
  }
  switch (which) {
    case NamedSwitch::boot_bios: command.boot_bios = arguments[++i]; break;
    case NamedSwitch::boot_efi: command.boot_efi = arguments[++i]; break;
    case NamedSwitch::boot_load_size: {
      const NativeString& value = arguments[++i];
      command.boot_load_size = load_size_from(value);
      if (!command.boot_load_size) {
        error = "The boot load size \"" + display_text(value) +
                "\" is not a number of 512-byte sectors from 1 to 65535.";
        return false;
      }
      break;
    }
    case NamedSwitch::boot_info_table: command.boot_info_table = true; break;
    case NamedSwitch::no_boot: command.no_boot = true; break;
    case NamedSwitch::no_joliet: command.no_joliet = true; break;
    case NamedSwitch::no_rock_ridge: command.no_rock_ridge = true; break;
    case NamedSwitch::none: break;
  }
  return true;
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
    const std::string switch_text = switch_name(argument);
    if (const NamedSwitch which = named_switch(switch_text); which != NamedSwitch::none) {
      if (!apply_named_switch(which, arguments, i, command, result.error)) return result;
      continue;
    }
    const char letter = switch_text.empty() ? '\0' : switch_text[0];
    const bool takes_value = letter == 'l' || letter == 'o' || letter == 'f' || letter == 'j';
    if (takes_value && i + 1 >= arguments.size()) {
      result.error = "The switch " + display_text(argument) + " needs a value.";
      return result;
    }
    switch (letter) {
      case 'l': command.label = image_name_from_native(arguments[++i]); break;
      case 'o': command.output = arguments[++i]; break;
      case 'j': command.json_report = arguments[++i]; break;
      case 'f': {
        const NativeString& name = arguments[++i];
        const auto layout = layout_from_name(name);
        if (!layout) {
          result.error = "Unknown layout \"" + display_text(name) +
                         "\"; use iso9660, bridge, udf102 or udf250.";
          return result;
        }
        command.layout = *layout;
        command.layout_given = true;
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
  if (command.no_boot && command.has_boot_switches()) {
    result.error = "-no-boot cannot be given with the other boot switches.";
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
