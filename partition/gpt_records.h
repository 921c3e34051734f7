// The GUID partition table, declared once: its header and its partition
// entries (UEFI 2.10 5.3.2 GPT Header, 5.3.3 GPT Partition Entry Array).
// Every number is little-endian; addresses are 512-byte logical blocks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "disc/field_writer.h"

namespace kestrel::partition {

namespace gpt_header {
inline constexpr Field signature{0, 8};
inline constexpr Field revision{8, 4};
inline constexpr Field header_size{12, 4};
inline constexpr Field header_crc32{16, 4};
inline constexpr Field reserved{20, 4};
inline constexpr Field my_lba{24, 8};
inline constexpr Field alternate_lba{32, 8};
inline constexpr Field first_usable_lba{40, 8};
inline constexpr Field last_usable_lba{48, 8};
inline constexpr Field disk_guid{56, 16};
inline constexpr Field partition_entry_lba{72, 8};
inline constexpr Field number_of_partition_entries{80, 4};
inline constexpr Field size_of_partition_entry{84, 4};
inline constexpr Field partition_entry_array_crc32{88, 4};
// The header's own bytes end here; the rest of its block is reserved, zero.
inline constexpr size_t used_bytes = 92;
inline constexpr Field rest_of_block{used_bytes, 420};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({signature, revision, header_size, header_crc32, reserved, my_lba,
                           alternate_lba, first_usable_lba, last_usable_lba, disk_guid,
                           partition_entry_lba, number_of_partition_entries,
                           size_of_partition_entry, partition_entry_array_crc32, rest_of_block},
                          bytes));
inline constexpr char signature_text[] = "EFI PART";
inline constexpr uint32_t revision_1_0 = 0x00010000;
}  // namespace gpt_header

namespace gpt_entry {
inline constexpr Field partition_type_guid{0, 16};
inline constexpr Field unique_partition_guid{16, 16};
inline constexpr Field starting_lba{32, 8};
inline constexpr Field ending_lba{40, 8};  // inclusive
inline constexpr Field attributes{48, 8};
inline constexpr Field partition_name{56, 72};  // UTF-16LE, zero-filled
inline constexpr size_t bytes = 128;
static_assert(fields_fill({partition_type_guid, unique_partition_guid, starting_lba, ending_lba,
                           attributes, partition_name},
                          bytes));

// Attribute bits (UEFI 5.3.3 Table 5-7): bit 0, the platform requires the
// partition; bits 60, 62 and 63 of a basic data partition: read-only,
// hidden, and no drive letter (as Windows reads them).
inline constexpr uint64_t required_partition = uint64_t{1} << 0;
inline constexpr uint64_t basic_data_read_only = uint64_t{1} << 60;
inline constexpr uint64_t basic_data_hidden = uint64_t{1} << 62;
inline constexpr uint64_t basic_data_no_drive_letter = uint64_t{1} << 63;
}  // namespace gpt_entry

}  // namespace kestrel::partition
