// Bootable images: which files of the source the firmware starts, as the
// front ends ask for them (BootSetup), and the same files found in the tree
// with what the El Torito boot catalog and the boot information table record
// of them (BootCatalog). The boot files stay ordinary files of the tree; the
// catalog only points at their data.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "disc/field_writer.h"
#include "disc/source_node.h"
#include "platform/native_text.h"

namespace kestrel {

// The firmware a boot file is for. Everything else the program knows of a
// platform (its name, its catalog entry, how it starts from a disk, where its
// loaders lie) is in the engine's table of platforms (engine/boot_platforms.h).
enum class BootPlatform : uint8_t {
  bios,  // 80x86 PC firmware
  uefi,  // UEFI: the boot file is a FAT image holding the loader
};

// One boot file as asked for.
struct BootFile {
  BootPlatform platform = BootPlatform::bios;
  // The file inside the source folder, its folders separated by '/'.
  NativeString path;
  // 512-byte sectors the firmware loads; 0 takes the platform's convention
  // (boot_load_sectors, engine/boot_platforms.h).
  uint16_t load_sectors = 0;
  // The loader expects the boot information table in its bytes 8 to 63.
  bool info_table = false;
};

// The BIOS loaders whose hybrid MBR boot code an image can carry, so that it
// also starts from a disk (engine/boot_platforms.h knows each one's code and
// what its loader expects).
enum class MbrCodeKind : uint8_t {
  none,
  grub,      // GRUB's boot_hybrid.img, with GRUB's El Torito core image
  isolinux,  // ISOLINUX's isohdpfx.bin (or a variant), with isolinux.bin
};

// The file that holds the MBR boot code.
struct MbrBootCode {
  MbrCodeKind kind = MbrCodeKind::none;
  // Found beside the loader in the source: '/'-separated inside the source
  // folder; else the file as the user named it, outside the source or not.
  NativeString path;
  bool in_source = false;

  bool present() const { return kind != MbrCodeKind::none; }
};

// The boot files of an image: none for a plain image; the first is the
// catalog's initial entry.
struct BootSetup {
  BootSetup() = default;
  explicit BootSetup(std::vector<BootFile> boot_files) : files(std::move(boot_files)) {}

  std::vector<BootFile> files;
  // A bootable image also starts from a disk (a USB stick): its system area
  // holds an MBR and a GPT, and its end the backup GPT. Off with -no-hybrid.
  bool disk_tables = true;
  // The BIOS loader's MBR boot code; without it the image starts from a
  // disk with UEFI only.
  MbrBootCode mbr_code;

  bool bootable() const { return !files.empty(); }
  const BootFile* find(BootPlatform platform) const {
    for (const BootFile& file : files) {
      if (file.platform == platform) return &file;
    }
    return nullptr;
  }
};

// Bytes of the sectors the catalog counts in.
inline constexpr uint32_t virtual_sector_bytes = 512;

// Bytes of a boot file's copy that differ from the source besides the boot
// information table: GRUB's El Torito core image records there, for its
// hybrid MBR, where its next stage lies on the disk. `bytes` replace
// `original` at `offset`, a multiple of 4 from byte 64 on.
struct BootFilePatch {
  bool present = false;
  uint32_t offset = 0;
  uint8_t bytes[8] = {};
  uint8_t original[8] = {};
};

// One boot file found in the tree.
struct BootImage {
  BootFile file;
  const SourceNode* node = nullptr;
  uint8_t platform_id = 0;    // El Torito 2.1: the firmware the entry is for
  uint16_t load_sectors = 0;  // as the catalog records it
  // The sum of the source file's 32-bit little-endian words from byte 64 on,
  // computed when the image is laid out: the copy is checked against it.
  uint32_t checksum = 0;
  BootFilePatch patch;

  // Whether the copy differs from the source.
  bool patched() const { return file.info_table || patch.present; }
  // The boot information table's checksum: the same sum over the copy, as
  // the loader reads it.
  uint32_t copy_checksum() const {
    if (!patch.present) return checksum;
    uint32_t sum = checksum;
    for (size_t at = 0; at < sizeof patch.bytes; at += 4) {
      sum -= read_le32(patch.original + at);
      sum += read_le32(patch.bytes + at);
    }
    return sum;
  }
};

struct BootCatalog {
  std::vector<BootImage> images;  // in catalog order; empty for a plain image
  // From the layout: the catalog's sector, and the primary volume
  // descriptor's, which the boot information table records.
  uint32_t catalog_sector = 0;
  uint32_t primary_descriptor_sector = 0;

  bool present() const { return !images.empty(); }
  // The image whose copy of `node` differs from the source (a boot
  // information table or a patch), if any.
  const BootImage* patched_copy_of(const SourceNode& node) const {
    for (const BootImage& image : images) {
      if (image.node == &node && image.patched()) return &image;
    }
    return nullptr;
  }
};

}  // namespace kestrel
