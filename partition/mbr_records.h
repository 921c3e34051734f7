// The master boot record at the start of a PC disk, declared once: boot
// code, the disk signature, four partition records and the boot signature
// (UEFI 2.10 5.2.1 Legacy MBR, 5.2.3 Protective MBR), with the field in which
// the hybrid boot code of the loaders this program pairs with (GRUB's
// boot_hybrid.img, ISOLINUX's isohdpfx.bin) finds its loader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/field_writer.h"

namespace kestrel::partition {

namespace mbr {
// The boot code as the hybrid loaders ship it: the first 432 bytes.
inline constexpr Field boot_code{0, 432};
// Both loaders read here, as a 64-bit little-endian number, the 512-byte
// block of the disk from which they load the next stage of their loader;
// UEFI counts these bytes to the boot code.
inline constexpr Field loader_block{432, 8};
inline constexpr Field disk_signature{440, 4};  // little-endian
inline constexpr Field unknown{444, 2};
inline constexpr Field partition_records{446, 64};
inline constexpr Field boot_signature{510, 2};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({boot_code, loader_block, disk_signature, unknown, partition_records,
                           boot_signature},
                          bytes));
inline constexpr uint8_t boot_signature_bytes[2] = {0x55, 0xAA};
inline constexpr size_t partition_record_count = 4;
}  // namespace mbr

// One of the four partition records (UEFI 2.10 Table 5-2).
namespace mbr_partition {
inline constexpr Field boot_indicator{0, 1};  // 0x80: the active (bootable) partition
inline constexpr Field starting_chs{1, 3};
inline constexpr Field os_type{4, 1};
inline constexpr Field ending_chs{5, 3};
inline constexpr Field starting_lba{8, 4};  // little-endian
inline constexpr Field size_in_lba{12, 4};  // little-endian
inline constexpr size_t bytes = 16;
static_assert(fields_fill({boot_indicator, starting_chs, os_type, ending_chs, starting_lba,
                           size_in_lba},
                          bytes));
static_assert(mbr::partition_records.width == mbr::partition_record_count * bytes);

inline constexpr uint8_t active = 0x80;
inline constexpr uint8_t inactive = 0x00;
// OS types: an empty record's, the GPT protective partition's (UEFI 5.2.3)
// and an EFI system partition's in an MBR (UEFI 5.2.2).
inline constexpr uint8_t type_empty = 0x00;
inline constexpr uint8_t type_gpt_protective = 0xEE;
inline constexpr uint8_t type_efi_system = 0xEF;
}  // namespace mbr_partition

}  // namespace kestrel::partition
