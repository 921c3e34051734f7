// The partition tables that let a disc image start from a disk (a USB
// stick) as well as from a disc: a hybrid MBR and a GPT whose EFI system
// partition is the image's own UEFI boot image, laid over an ISO 9660 image
// without moving anything in it. The primary GPT fills the system area (the
// image's first 32 KiB, which ECMA-119 leaves to the system); the backup GPT
// ends the image. Everything here is counted in 512-byte blocks.
//
// The layout is the one that peers' hybrid images have proven:
//   MBR        the BIOS boot code and its loader's block, or code that hands
//              the boot back to the BIOS; partition records: the GPT
//              protective partition from block 1 up to the EFI system
//              partition, the EFI system partition (type 0xEF) for firmware
//              that reads the MBR only, and, where the disk boots with a
//              BIOS, an active record of type 0 over block 0 alone for
//              BIOSes that start only a disk with an active partition
//   GPT        header at block 1, 128 entries from block 2, first usable
//              block 34; partitions: the EFI system partition, and the rest
//              of the image before and after it as basic data partitions,
//              hidden and read-only, so that no tool takes the image's data
//              for free space
//   backup     the entries after the image's last data, the header in the
//              image's last block; the first 1536 bytes of the last 2048-byte
//              sector stay free for a UDF anchor
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "partition/guid.h"

namespace kestrel::partition {

inline constexpr uint32_t block_bytes = 512;
// ECMA-119 6.2.1: the system area, 16 sectors of 2048 bytes.
inline constexpr size_t system_area_bytes = 16 * 2048;
inline constexpr uint64_t system_area_blocks = system_area_bytes / block_bytes;
// UEFI 5.3.2: at least 16 KiB of partition entries, 128 of 128 bytes, from
// block 2; the first usable block follows them.
inline constexpr uint32_t entry_count = 128;
inline constexpr size_t entry_array_bytes = size_t{entry_count} * 128;
inline constexpr uint64_t entry_array_blocks = entry_array_bytes / block_bytes;
inline constexpr uint64_t first_usable_block = 2 + entry_array_blocks;
// The backup GPT: its entries take 8 sectors of 2048 bytes wherever the
// image has room after the last partition, its header the last 512 bytes of
// the image's last sector.
inline constexpr uint64_t backup_entry_sectors = entry_array_bytes / 2048;
inline constexpr size_t backup_header_offset_in_sector = 2048 - block_bytes;

struct HybridDisk {
  uint64_t total_blocks = 0;
  // The first block of the backup entries; every partition ends before it.
  uint64_t backup_entries_block = 0;
  // The EFI system partition, the UEFI boot image; none when efi_blocks is 0.
  uint64_t efi_first_block = 0;
  uint64_t efi_blocks = 0;
  // The BIOS boot code (432 bytes) and the block its loader starts at; the
  // image does not boot from a disk with a BIOS when it is null.
  const uint8_t* boot_code = nullptr;
  uint64_t loader_block = 0;
  Guid disk_guid;

  uint64_t backup_header_block() const { return total_blocks - 1; }
  uint64_t last_usable_block() const { return backup_entries_block - 1; }
  bool has_efi_system_partition() const { return efi_blocks != 0; }
};

// True when the tables can describe the disk: whole 2048-byte sectors, the
// backup entries after the system area and before the last sector, and an
// EFI system partition after the system area and before the backup entries.
bool can_describe(const HybridDisk& disk);

struct GptPartition {
  Guid type;
  Guid unique;
  uint64_t first_block = 0;
  uint64_t last_block = 0;  // inclusive
  uint64_t attributes = 0;
  std::u16string_view name;
};

// The GPT's partitions in block order; each gets a GUID derived from the
// disk's and its position.
std::vector<GptPartition> gpt_partitions(const HybridDisk& disk);

// The image's first 32 KiB: the MBR, the primary GPT header and its entries.
void fill_system_area(const HybridDisk& disk, uint8_t* area);
// The backup entries (entry_array_bytes) and the backup header (one block).
void fill_backup_entries(const HybridDisk& disk, uint8_t* entries);
void fill_backup_header(const HybridDisk& disk, uint8_t* block);

}  // namespace kestrel::partition
