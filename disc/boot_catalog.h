// Bootable images: which files of the source the firmware starts, as the
// front ends ask for them (BootSetup), and the same files found in the tree
// with what the El Torito boot catalog and the boot information table record
// of them (BootCatalog). The boot files stay ordinary files of the tree; the
// catalog only points at their data.
#pragma once

#include <cstdint>
#include <vector>

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

// The boot files of an image: none for a plain image; the first is the
// catalog's initial entry.
struct BootSetup {
  std::vector<BootFile> files;

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

// One boot file found in the tree.
struct BootImage {
  BootFile file;
  const SourceNode* node = nullptr;
  uint8_t platform_id = 0;    // El Torito 2.1: the firmware the entry is for
  uint16_t load_sectors = 0;  // as the catalog records it
  // The boot information table's checksum: the sum of the file's 32-bit
  // little-endian words from byte 64 on, computed from the source when the
  // image is laid out.
  uint32_t checksum = 0;
};

struct BootCatalog {
  std::vector<BootImage> images;  // in catalog order; empty for a plain image
  // From the layout: the catalog's sector, and the primary volume
  // descriptor's, which the boot information table records.
  uint32_t catalog_sector = 0;
  uint32_t primary_descriptor_sector = 0;

  bool present() const { return !images.empty(); }
  // The image whose boot information table belongs to `node`, if any.
  const BootImage* info_table_of(const SourceNode& node) const {
    for (const BootImage& image : images) {
      if (image.node == &node && image.file.info_table) return &image;
    }
    return nullptr;
  }
};

}  // namespace kestrel
