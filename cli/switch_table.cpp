#include "cli/switch_table.h"

#include <cstdint>

namespace kestrel::cli {
namespace {

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

bool set_layout(CommandLine& command, const NativeString& value, std::string& error) {
  const std::optional<LayoutChoice> layout = layout_from_name(value);
  if (!layout) {
    error =
        "Unknown layout \"" + display_text(value) + "\"; use iso9660, bridge, udf102 or udf250.";
    return false;
  }
  command.layout = *layout;
  command.layout_given = true;
  return true;
}

bool set_boot_load_size(CommandLine& command, const NativeString& value, std::string& error) {
  command.boot_load_size = load_size_from(value);
  if (!command.boot_load_size) {
    error = "The boot load size \"" + display_text(value) +
            "\" is not a number of 512-byte sectors from 1 to 65535.";
    return false;
  }
  return true;
}

// A platform's boot file (engine/boot_platforms.h): given twice, the last
// one counts, as with every other switch.
bool set_boot_file(CommandLine& command, BootPlatform platform, const NativeString& path) {
  std::erase_if(command.boot_files,
                [&](const BootFile& file) { return file.platform == platform; });
  command.boot_files.push_back(BootFile{platform, path, 0, false});
  return true;
}

// In the order -help and the manual page list them. Descriptions are plain
// text: the manual page sets the switches they name in bold and the row's
// own argument in italics.
constexpr SwitchDefinition switch_table[] = {
    {"label", "l", "TEXT", SwitchValue::text, "the source folder's name",
     "volume label of the image",
     "The volume label of the image, as every file system of it names the volume. Each file "
     "system keeps as much of TEXT as its volume name holds; a label is cut to 127 characters.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       command.label = image_name_from_native(value);
       return true;
     }},
    {"output", "o", "FILE", SwitchValue::path,
     "the source folder's name with .iso, in the current folder", "the image file to write",
     "The image file to write. A name without a dot gets .iso added; a name ending in a "
     "separator is a folder, and the image is named after the source folder in it. Missing "
     "folders are made. An existing file is only replaced with -yes. The image is written to a "
     "temporary file beside FILE and takes its name only when it is complete.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       command.output = value;
       return true;
     }},
    {"fs", "", "NAME", SwitchValue::layout, "udf250",
     "layout: iso9660, bridge (ISO 9660 + UDF 1.02), udf102 or udf250",
     "The layout of the image: iso9660, bridge, udf102 or udf250 (see LAYOUTS). A DVD-video or "
     "Blu-ray folder is written in its own layout whatever NAME is, and a bootable folder gets "
     "an ISO 9660 volume beside a UDF one (see DISC FOLDERS).",
     set_layout},
    {"json", "", "FILE", SwitchValue::path, "", "also write a report of the build to FILE, in JSON",
     "Also write a report of the build to FILE, in JSON, also when the build fails: the "
     "outcome and error, the layout and why, the counts and sizes, the 3D titles interleaved, "
     "the boot files and the warnings (see REPORT). FILE may not be the image or lie in the "
     "source folder, and an existing FILE is replaced only with -yes; the report is written "
     "through a temporary file, so a reader never sees half of it.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       command.json_report = value;
       return true;
     }},
    {"map", "", "", SwitchValue::none, "",
     "print where each area of the image would lie, and write nothing",
     "Scan the source and lay the image out, then print its map instead of writing it: each "
     "area's first sector, its number of sectors and what it holds, with the runs of zero "
     "sectors between them.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.show_map = true;
       return true;
     }},
    {"boot-bios", "", "FILE", SwitchValue::path_in_source, "",
     "BIOS boot file, a path inside the source folder",
     "Make the image bootable with a PC BIOS from FILE, a path inside the source folder with / "
     "between folders, loaded without emulation. The boot files of the folder are then not "
     "looked for.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       return set_boot_file(command, BootPlatform::bios, value);
     }},
    {"boot-efi", "", "FILE", SwitchValue::path_in_source, "",
     "UEFI boot image (a FAT image) inside the source folder",
     "Make the image bootable with UEFI from FILE, a FAT file-system image inside the source "
     "folder. The boot files of the folder are then not looked for.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       return set_boot_file(command, BootPlatform::uefi, value);
     }},
    {"boot-load-size", "", "N", SwitchValue::number, "4, one disc sector",
     "512-byte sectors the BIOS loads, 1 to 65535",
     "The number of 512-byte sectors the BIOS loads from the BIOS boot file, 1 to 65535. It "
     "needs a BIOS boot file, named with -boot-bios or found in the folder.",
     set_boot_load_size},
    {"boot-info-table", "", "", SwitchValue::none, "",
     "write the boot information table into the BIOS boot file",
     "Write the boot information table (where the volume descriptors and the boot file lie, "
     "its length and checksum) into the copy of the BIOS boot file in the image, as GRUB and "
     "ISOLINUX expect. The source file is not changed.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.boot_info_table = true;
       return true;
     }},
    {"dedupe", "", "", SwitchValue::none, "",
     "store equal files of 64 KiB and more once (hard links always are)",
     "Store files whose contents are byte for byte equal once: their names share one copy of "
     "the data. Only files of 64 KiB and more that share their size with another are read for "
     "it, and only as far as it takes to tell them apart, before the build. Hard-linked names "
     "always share one copy, with or without this switch. The files of DVD-video and Blu-ray "
     "folders keep copies of their own, so that a disc's order and its navigation backups stay "
     "as the disc format wants them.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.dedupe = true;
       return true;
     }},
    {"no-boot", "", "", SwitchValue::none, "",
     "write a folder copied from a bootable disc as plain files",
     "Write a folder copied from a bootable disc as plain files, without a boot catalog. It "
     "cannot be given with the other boot switches.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.no_boot = true;
       return true;
     }},
    {"boot-hybrid-mbr", "", "FILE", SwitchValue::path, "the code found beside the BIOS loader",
     "the BIOS loader's MBR boot code (GRUB's boot_hybrid.img, ISOLINUX's isohdpfx.bin)",
     "Install the 432 bytes of MBR boot code that the BIOS loader pairs with, from FILE, a "
     "path on this machine, inside the source folder or not: GRUB's boot_hybrid.img with "
     "GRUB's El Torito image, ISOLINUX's isohdpfx.bin with isolinux.bin. Written to a USB "
     "stick, the image then also starts with a PC BIOS; with UEFI it starts from a stick "
     "without it. Code that does not pair with the BIOS boot file is a usage error. Without "
     "the switch, such code is taken from where the loader's discs keep it, when the folder "
     "has it.",
     [](CommandLine& command, const NativeString& value, std::string&) {
       command.boot_hybrid_mbr = value;
       return true;
     }},
    {"no-hybrid", "", "", SwitchValue::none, "",
     "no partition tables: the image starts from discs only",
     "Write a bootable image without the MBR and GPT partition tables that let it start "
     "from a USB stick: it then starts only as a disc.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.no_hybrid = true;
       return true;
     }},
    {"no-joliet", "", "", SwitchValue::none, "",
     "leave out the Joliet names (Windows' long names) of the ISO 9660 volume",
     "Write the ISO 9660 volume without its Joliet hierarchy, the UCS-2 names of up to 64 "
     "characters that Windows and 7-Zip read. Readers that take Joliet then see Rock Ridge "
     "names or the 8.3 identifiers. A DVD-video image has no Joliet names in any case.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.no_joliet = true;
       return true;
     }},
    {"no-rock-ridge", "", "", SwitchValue::none, "",
     "leave out the Rock Ridge names and attributes (Linux, macOS) of the ISO 9660 volume",
     "Write the ISO 9660 volume without Rock Ridge: the source names of up to 255 bytes, the "
     "modes, times and link counts. Folders deeper than eight levels are then not moved into "
     "rr_moved and stay in their place. With -no-joliet too, the readers of the ISO 9660 "
     "volume see its 8.3 identifiers only.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.no_rock_ridge = true;
       return true;
     }},
    {"yes", "y", "", SwitchValue::none, "", "replace an existing image file",
     "Replace an existing image file. Without it an existing file is kept and kestrel-cli "
     "exits with status 3.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.replace_existing = true;
       return true;
     }},
    {"quiet", "q", "", SwitchValue::none, "", "print no progress and no summary",
     "Print no progress line and no summary. Warnings and errors are still printed.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.quiet = true;
       return true;
     }},
    {"help", "h", "", SwitchValue::none, "", "print this text", "Print the usage text and exit.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.show_help = true;
       return true;
     }},
    {"version", "", "", SwitchValue::none, "", "print the program's version",
     "Print the program's version and exit.",
     [](CommandLine& command, const NativeString&, std::string&) {
       command.show_version = true;
       return true;
     }},
};

}  // namespace

std::span<const SwitchDefinition> switch_definitions() { return switch_table; }

const SwitchDefinition* find_switch(std::string_view name, bool short_forms) {
  if (name.empty()) return nullptr;
  for (const SwitchDefinition& definition : switch_table) {
    if (definition.name == name) return &definition;
    if (short_forms && definition.short_name == name) return &definition;
  }
  return nullptr;
}

}  // namespace kestrel::cli
