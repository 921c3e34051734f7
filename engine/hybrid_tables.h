// The partition tables of a bootable image that also starts from a disk (a
// USB stick): the MBR and primary GPT in the system area, the backup GPT at
// the image's end (partition/hybrid_disk.h). The layout decides on them
// before it plans the map, since they take sectors of it, and completes them
// once the map has placed the boot files.
//
// The image's end: the backup GPT's entries take 8 sectors after the image's
// last structure, and its header the last 512 bytes of the last sector. A
// UDF volume keeps its closing anchor at the start of that sector (an anchor
// volume descriptor pointer is 512 bytes, ECMA-167 3/10.2), so UDF readers
// find anchors at sector 256 and at the last sector, where they look for
// them, and GPT readers find the backup header in the disk's last block.
// Readers that take the end of the UDF volume's last extent for its end
// (7-Zip) must find nothing but zeros between that end and the closing
// anchor: the entries lie inside the UDF 1.02 partition, and before the
// reserve sequence of a UDF 2.50 image (disc_map.cpp).
#pragma once

#include <array>
#include <cstdint>

#include "disc/boot_catalog.h"
#include "engine/boot_platforms.h"
#include "partition/hybrid_disk.h"

namespace kestrel {

class ImageWriter;
struct DiscArea;

struct HybridPlan {
  // The image gets the tables: it is bootable, the tables were not turned
  // off, and it has a UEFI boot image or the BIOS loader's MBR boot code.
  bool wanted = false;
  MbrBootCode mbr_code;  // kind none when the image starts from a disk with UEFI only
  std::array<uint8_t, mbr_boot_code_bytes> boot_code{};
  uint64_t backup_entries_sector = 0;  // where the map put the backup GPT's entries
  partition::HybridDisk disk;          // complete once the map is planned

  // The platforms that start the image from a disk.
  bool starts_from_disk(BootPlatform platform) const {
    if (!wanted) return false;
    return platform == BootPlatform::uefi ? disk.has_efi_system_partition()
                                          : disk.boot_code != nullptr;
  }
};

// Sectors of the system area the tables take (ECMA-119 6.2.1: all of it),
// and the sectors the backup GPT adds in front of the image's last one.
inline constexpr uint64_t hybrid_system_area_sectors = partition::system_area_bytes / 2048;
inline constexpr uint64_t backup_gpt_entry_sectors = partition::backup_entry_sectors;

// Reads the MBR boot code asked for, checks that it pairs with the BIOS boot
// image, records in that image the patch its loader wants, and decides
// whether the image gets the tables. False, with the build failed, when the
// code cannot be read or does not pair with the BIOS boot file.
bool resolve_hybrid_tables(ImageWriter& writer);

// Once the map is planned: where the EFI system partition and the BIOS
// loader lie, the patch's block, and the disk's GUID, made from the image's
// time, label and size, so that the same tree built at the same time gets
// the same tables. False, with the build failed, when the tables cannot
// describe the image.
bool place_hybrid_tables(ImageWriter& writer);

// Writers of the map's areas.
bool write_hybrid_system_area(ImageWriter& writer, const DiscArea& area);
bool write_backup_gpt_entries(ImageWriter& writer, const DiscArea& area);
bool write_backup_gpt_header(ImageWriter& writer, const DiscArea& area);
bool write_udf_anchor_and_backup_gpt_header(ImageWriter& writer, const DiscArea& area);

}  // namespace kestrel
