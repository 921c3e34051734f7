// The records of a bootable ISO 9660 volume, declared once: the boot record
// volume descriptor (ECMA-119 8.2, with the El Torito boot system), the
// entries of the El Torito boot catalog, and the boot information table that
// loaders such as GRUB's and ISOLINUX's El Torito images expect in their
// bytes 8 to 63. Each with a check at compile time that its fields fill it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/boot_catalog.h"
#include "disc/disc_image.h"
#include "disc/field_writer.h"
#include "iso9660/iso_records.h"

namespace kestrel::iso9660 {

// ECMA-119 8.2 Boot Record; El Torito names the boot system and gives the
// boot system use its first four bytes: the sector of the boot catalog.
namespace boot_record {
inline constexpr Field type{0, 1};
inline constexpr Field standard_identifier{1, 5};
inline constexpr Field version{6, 1};
inline constexpr Field boot_system_identifier{7, 32};
inline constexpr Field boot_identifier{39, 32};
inline constexpr Field catalog_sector{71, 4};  // little-endian
inline constexpr Field boot_system_use{75, 1973};
inline constexpr size_t bytes = 2048;
static_assert(fields_fill({type, standard_identifier, version, boot_system_identifier,
                           boot_identifier, catalog_sector, boot_system_use},
                          bytes));
static_assert(type.offset == volume_descriptor::type.offset &&
              standard_identifier.offset == volume_descriptor::standard_identifier.offset &&
              version.offset == volume_descriptor::version.offset);
}  // namespace boot_record

// Every entry of the boot catalog takes 32 bytes.
inline constexpr size_t catalog_entry_bytes = 32;

// El Torito 2.1 Validation Entry, the catalog's first entry. Its 16-bit
// little-endian words sum to zero.
namespace validation_entry {
inline constexpr Field header_id{0, 1};
inline constexpr Field platform_id{1, 1};
inline constexpr Field reserved{2, 2};
inline constexpr Field id_string{4, 24};
inline constexpr Field checksum{28, 2};  // little-endian
inline constexpr Field key_55{30, 1};
inline constexpr Field key_aa{31, 1};
static_assert(fields_fill({header_id, platform_id, reserved, id_string, checksum, key_55, key_aa},
                          catalog_entry_bytes));
}  // namespace validation_entry

// El Torito 2.2 Initial/Default Entry and 2.4 Section Entry: the same fields
// up to the load address; a section entry adds a selection criteria type
// (none here) in what the initial entry leaves unused.
namespace boot_entry {
inline constexpr Field boot_indicator{0, 1};
inline constexpr Field media_type{1, 1};
inline constexpr Field load_segment{2, 2};  // little-endian; 0 means the traditional 0x7C0
inline constexpr Field system_type{4, 1};
inline constexpr Field unused_1{5, 1};
inline constexpr Field sector_count{6, 2};  // little-endian, 512-byte sectors to load
inline constexpr Field load_sector{8, 4};   // little-endian, the boot file's first sector
inline constexpr Field selection_criteria{12, 20};
static_assert(fields_fill({boot_indicator, media_type, load_segment, system_type, unused_1,
                           sector_count, load_sector, selection_criteria},
                          catalog_entry_bytes));
}  // namespace boot_entry

// El Torito 2.3 Section Header Entry: the entries of one more platform follow.
namespace section_header {
inline constexpr Field header_indicator{0, 1};
inline constexpr Field platform_id{1, 1};
inline constexpr Field entry_count{2, 2};  // little-endian
inline constexpr Field id_string{4, 28};
static_assert(fields_fill({header_indicator, platform_id, entry_count, id_string},
                          catalog_entry_bytes));
}  // namespace section_header

// The boot information table: 56 bytes at offset 8 of the boot file as the
// image holds it, so that a loader learns where it lies on the disc.
namespace boot_info_table {
inline constexpr size_t offset_in_file = 8;
inline constexpr Field primary_descriptor_sector{0, 4};  // little-endian
inline constexpr Field file_sector{4, 4};
inline constexpr Field file_length{8, 4};
inline constexpr Field checksum{12, 4};
inline constexpr Field reserved{16, 40};
inline constexpr size_t bytes = 56;
static_assert(fields_fill({primary_descriptor_sector, file_sector, file_length, checksum, reserved},
                          bytes));
// The checksum covers the file from the end of the table on.
inline constexpr size_t checksum_start = offset_in_file + bytes;
static_assert(checksum_start == 64);
}  // namespace boot_info_table

// Fills the boot record volume descriptor sector.
void fill_boot_record(const DiscImage& image, uint8_t* sector);

// Fills the boot catalog sector from image.boot.
void fill_boot_catalog(const DiscImage& image, uint8_t* sector);

// Fills the boot information table of `boot` into the first sector of its
// file's data, as the image holds it.
void fill_boot_info_table(const DiscImage& image, const BootImage& boot, uint8_t* file_sector);

// Adds the 32-bit little-endian words of `bytes`, which lie at `file_offset`
// in the boot file (a multiple of 4), to `sum`, counting from byte 64 of the
// file; a last partial word counts as if padded with zero bytes.
uint32_t add_boot_checksum(uint32_t sum, const uint8_t* bytes, size_t count, uint64_t file_offset);

}  // namespace kestrel::iso9660
