// The command line of kestrel-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disc/volume_settings.h"
#include "engine/fs_detection.h"
#include "platform/native_text.h"

namespace kestrel::cli {

struct CommandLine {
  NativeString source;
  std::optional<std::u16string> label;
  std::optional<NativeString> output;
  std::optional<NativeString> json_report;  // -json FILE
  LayoutChoice layout = LayoutChoice::udf250;
  bool layout_given = false;  // -fs was on the command line
  bool replace_existing = false;
  bool quiet = false;
  bool show_map = false;  // print the image's areas instead of writing it
  bool show_help = false;
  bool show_version = false;
  // Boot files given on the command line ('/'-separated paths inside the
  // source), and the BIOS entry's options. Without any, the files of a
  // folder copied from a bootable disc are recognised; -no-boot turns that off.
  std::optional<NativeString> boot_bios;
  std::optional<NativeString> boot_efi;
  std::optional<uint16_t> boot_load_size;
  bool boot_info_table = false;
  bool no_boot = false;
  // Name extensions of the ISO 9660 volume left out: -no-joliet,
  // -no-rock-ridge.
  bool no_joliet = false;
  bool no_rock_ridge = false;

  NameExtensions name_extensions() const { return NameExtensions{!no_joliet, !no_rock_ridge}; }

  bool has_boot_switches() const {
    return boot_bios || boot_efi || boot_load_size || boot_info_table;
  }
};

struct ParseResult {
  bool ok = false;
  std::string error;  // a sentence for the user when !ok
  CommandLine command;
};

// Switches start with "-" or "--" (and "/" on Windows, where it cannot start
// an absolute path) and are known by the first letter after that:
// -label TEXT, -output FILE, -fs NAME, -json FILE, -map, -yes, -quiet, -help,
// -version. The boot switches are known by their whole names: -boot-bios FILE,
// -boot-efi FILE, -boot-load-size N, -boot-info-table and -no-boot; so are
// -no-joliet and -no-rock-ridge.
ParseResult parse_command_line(const std::vector<NativeString>& arguments);

// "iso9660", "bridge", "udf102" or "udf250".
std::optional<LayoutChoice> layout_from_name(const NativeString& name);
const char* layout_name(LayoutChoice layout);

extern const char* const usage_text;

}  // namespace kestrel::cli
