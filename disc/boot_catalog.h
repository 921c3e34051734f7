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

// El Torito platform IDs of the firmware an entry is for.
enum class BootPlatform : uint8_t {
  bios = 0x00,  // 80x86 PC firmware
  uefi = 0xEF,  // UEFI: the entry is a FAT image holding the loader
};

// One boot file as asked for.
struct BootFile {
  BootPlatform platform = BootPlatform::bios;
  // The file inside the source folder, its folders separated by '/'.
  NativeString path;
  // 512-byte sectors the firmware loads; 0 takes the platform's convention
  // (boot_load_sectors).
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

// Sectors a BIOS loads when nothing else is asked: 2048 bytes, one disc
// sector, which every BIOS handles.
inline constexpr uint16_t default_bios_load_sectors = 4;

// Bytes of the sectors the catalog counts in.
inline constexpr uint32_t virtual_sector_bytes = 512;

// What the catalog records as the sectors to load: the number asked for; for
// a UEFI image without one, the image's size in 512-byte sectors when that
// fits 16 bits, else 1 (the firmware reads the FAT image's own size then).
inline uint16_t boot_load_sectors(const BootFile& file, uint64_t file_bytes) {
  if (file.load_sectors != 0) return file.load_sectors;
  if (file.platform == BootPlatform::bios) return default_bios_load_sectors;
  const uint64_t sectors = (file_bytes + virtual_sector_bytes - 1) / virtual_sector_bytes;
  return sectors >= 1 && sectors <= 0xFFFF ? static_cast<uint16_t>(sectors) : 1;
}

// One boot file found in the tree.
struct BootImage {
  BootFile file;
  const SourceNode* node = nullptr;
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
