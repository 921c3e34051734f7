// The command line of kestrel-cli.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disc/volume_settings.h"
#include "engine/boot_platforms.h"
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
  bool dedupe = false;    // store files of equal contents once
  bool show_help = false;
  bool show_version = false;
  // Boot files given on the command line ('/'-separated paths inside the
  // source), one per platform at most, in the order given, and the BIOS
  // entry's options. Without any, the files of a folder copied from a
  // bootable disc are recognised; -no-boot turns that off.
  std::vector<BootFile> boot_files;
  std::optional<uint16_t> boot_load_size;
  bool boot_info_table = false;
  bool no_boot = false;
  // Name extensions of the ISO 9660 volume left out: -no-joliet,
  // -no-rock-ridge.
  bool no_joliet = false;
  bool no_rock_ridge = false;

  // The BIOS loader's hybrid MBR boot code (-boot-hybrid-mbr FILE, a path on
  // this machine, in the source or not), and -no-hybrid: no partition tables.
  std::optional<NativeString> boot_hybrid_mbr;
  bool no_hybrid = false;

  NameExtensions name_extensions() const { return NameExtensions{!no_joliet, !no_rock_ridge}; }
  const NativeString* boot_file(BootPlatform platform) const {
    for (const BootFile& file : boot_files) {
      if (file.platform == platform) return &file.path;
    }
    return nullptr;
  }
  bool has_boot_switches() const {
    return !boot_files.empty() || boot_load_size || boot_info_table || boot_hybrid_mbr;
  }
};

struct ParseResult {
  bool ok = false;
  std::string error;  // a sentence for the user when !ok
  CommandLine command;
};

// The switches of cli/switch_table.cpp, each known by its whole name or its
// one short form, exactly as written after "-" or "--" (or "/" on Windows,
// where it cannot start an absolute path). Any other word that starts like a
// switch is a usage error naming it; after "--" every word is the source.
ParseResult parse_command_line(const std::vector<NativeString>& arguments);

// "iso9660", "bridge", "udf102" or "udf250".
std::optional<LayoutChoice> layout_from_name(const NativeString& name);
const char* layout_name(LayoutChoice layout);
// The names -fs takes, in the order they are shown.
std::span<const std::string_view> layout_names();

}  // namespace kestrel::cli
