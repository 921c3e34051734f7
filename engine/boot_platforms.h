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
  // Where the loader's discs keep the hybrid MBR boot code it pairs with, if
  // they do, and which code that is.
  const NativeChar* mbr_code_path = nullptr;
  MbrCodeKind mbr_code = MbrCodeKind::none;
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

// --- Hybrid MBR boot code ------------------------------------------------------------
//
// What each hybrid MBR boot code expects. Both read, at byte 432 of the MBR,
// the 512-byte block from which they load the next stage of their loader:
//   GRUB      boot_hybrid.img loads the block after the El Torito core
//             image's 2048-byte CD boot sector, the core's disk boot sector,
//             whose block list must then start one block later: the core's
//             bytes 2548 to 2555 get that block (64-bit little-endian).
//   ISOLINUX  isohdpfx.bin loads isolinux.bin from its first block and
//             starts it only when isolinux.bin carries its hybrid signature
//             at byte 64; isolinux.bin then reads itself through its boot
//             information table.
struct MbrCodeLoader {
  MbrCodeKind kind;
  std::string_view loader_name;  // as the reports name it
  // Blocks from the boot file's first block to the one the MBR loads.
  uint64_t loaded_block_offset;
  // The patch of the boot file's copy, when the loader wants one: the
  // offset, and the blocks from the boot file's first block to the one it
  // records.
  bool patches_boot_file;
  uint32_t patch_offset;
  uint64_t patched_block_offset;
};
const MbrCodeLoader& mbr_code_loader(MbrCodeKind kind);

// Bytes of MBR boot code an image takes from the file (partition/mbr_records.h).
inline constexpr size_t mbr_boot_code_bytes = 432;
// Bytes of a BIOS boot file read to see whether it is the loader a code
// pairs with.
inline constexpr size_t mbr_pairing_head_bytes = 64 * 1024;

// Which hybrid MBR boot code `bytes` (a whole file of `size` bytes) is;
// none when it is neither GRUB's nor ISOLINUX's.
MbrCodeKind identify_mbr_code(const uint8_t* bytes, size_t size);

// Whether a BIOS boot file, of which `head` holds the first bytes, is the
// loader that `kind`'s code starts.
bool pairs_with(MbrCodeKind kind, const uint8_t* head, size_t head_bytes, uint64_t size);

enum class MbrCodeCheck : uint8_t {
  ok,
  unreadable,          // the code file cannot be read
  unknown_code,        // it is no hybrid MBR code this program knows
  boot_file_mismatch,  // the BIOS boot file is not the loader the code starts
};

// Reads the code file at `code_path` and the BIOS boot file at
// `bios_file_path` (native paths) and checks that they pair; `kind` is the
// code's kind when it is known.
MbrCodeCheck check_mbr_code(const NativeString& code_path, const NativeString& bios_file_path,
                            MbrCodeKind& kind);

}  // namespace kestrel
