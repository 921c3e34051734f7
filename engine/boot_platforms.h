// Boot, in one place: every firmware an image can start with, and for each
// what the El Torito catalog records of its boot file, how it starts from a
// disk (a USB stick), and where its loaders lie in a folder copied from a
// bootable disc. The command line, the window and the reports list the
// platforms from here, so that a platform is added in this table alone.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "disc/boot_catalog.h"
#include "engine/fs_detection.h"

namespace kestrel {

// The loaders the recognition knows by their first bytes.
enum class BootLoaderKind : uint8_t { grub_core, isolinux, boot_sector, fat_image };

// Where a loader's boot file lies in a folder copied from its disc
// ('/'-separated, matched without regard to case), what its first bytes must
// show, and the catalog entry it wants.
struct BootCandidate {
  const NativeChar* path;
  BootLoaderKind kind;
  uint16_t load_sectors;
  bool info_table;
};

// How a platform's firmware starts an image written to a disk.
enum class DiskBoot : uint8_t {
  // It runs the boot code of the master boot record, which must be the code
  // the BIOS loader pairs with (-boot-hybrid-mbr, or found beside the loader).
  mbr_boot_code,
  // It starts the loader of the GPT's EFI system partition, which is the
  // platform's boot image itself: no extra file is needed.
  efi_system_partition,
};

struct BootPlatformInfo {
  BootPlatform platform;
  // The firmware as every report names it (not translated: these are names).
  std::string_view name;
  // The kestrel-cli switch (without its "-") that names the boot file.
  std::string_view file_switch;
  uint8_t el_torito_platform_id;  // El Torito 2.1
  // 512-byte sectors the firmware loads when nothing else is asked; 0: the
  // whole boot image.
  uint16_t default_load_sectors;
  DiskBoot disk_boot;
  // The loaders recognised for it, in the order in which they are looked for.
  std::span<const BootCandidate> candidates;
};

// Every platform, in the order in which the catalog and the reports list them.
std::span<const BootPlatformInfo> boot_platforms();
const BootPlatformInfo& boot_platform_info(BootPlatform platform);

// What the catalog records as the sectors to load: the number asked for, the
// platform's convention, or for a whole boot image its size in 512-byte
// sectors when that fits 16 bits, else 1 (UEFI then reads the FAT image's
// own size).
uint16_t boot_load_sectors(const BootFile& file, uint64_t file_bytes);

// The boot files of a folder copied from a bootable disc, recognised by their
// places and names (without regard to case) and checked by their contents,
// so that a file that merely has the name makes nothing bootable: for each
// platform the first found of its candidates. Nothing for a Blu-ray or DVD
// folder, whose layout is fixed. The source folder's own listing is the one
// in `source` (describe_source), so it is listed once; the folders below it
// are listed at most once each.
BootSetup recognise_boot_files(const NativeString& source_folder, const SourceDescription& source);

// The content checks of recognise_boot_files, given the first bytes of a
// file (up to 64 KiB) and its size.
bool looks_like(BootLoaderKind kind, const uint8_t* head, size_t head_bytes, uint64_t size);

}  // namespace kestrel
