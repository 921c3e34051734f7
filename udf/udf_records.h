// Every UDF record this program writes, declared once: the offset and width
// of each field, in the order of the clause of ECMA-167 (or of the UDF
// standard) that defines it, with a check at compile time that the
// fields fill the record. Reserved fields are named too, so that the tables
// have no gaps.
#pragma once

#include <cstddef>

#include "disc/field_writer.h"

namespace kestrel::udf {

// ECMA-167 3/7.2 Descriptor Tag, the first 16 bytes of every descriptor.
namespace descriptor_tag {
inline constexpr Field identifier{0, 2};
inline constexpr Field version{2, 2};
inline constexpr Field checksum{4, 1};
inline constexpr Field reserved{5, 1};
inline constexpr Field serial_number{6, 2};
inline constexpr Field crc{8, 2};
inline constexpr Field crc_length{10, 2};
inline constexpr Field location{12, 4};
inline constexpr size_t bytes = 16;
static_assert(fields_fill({identifier, version, checksum, reserved, serial_number, crc, crc_length,
                           location},
                          bytes));
}  // namespace descriptor_tag

// ECMA-167 1/7.3 Timestamp.
namespace timestamp {
inline constexpr Field type_and_time_zone{0, 2};
inline constexpr Field year{2, 2};
inline constexpr Field month{4, 1};
inline constexpr Field day{5, 1};
inline constexpr Field hour{6, 1};
inline constexpr Field minute{7, 1};
inline constexpr Field second{8, 1};
inline constexpr Field centiseconds{9, 1};
inline constexpr Field hundreds_of_microseconds{10, 1};
inline constexpr Field microseconds{11, 1};
inline constexpr size_t bytes = 12;
static_assert(fields_fill({type_and_time_zone, year, month, day, hour, minute, second, centiseconds,
                           hundreds_of_microseconds, microseconds},
                          bytes));
}  // namespace timestamp

// ECMA-167 1/7.4 Entity Identifier (regid).
namespace regid {
inline constexpr Field flags{0, 1};
inline constexpr Field identifier{1, 23};
inline constexpr Field suffix{24, 8};
// UDF 2.1.5.3: the suffix of a domain identifier holds the UDF revision,
// then the domain flags; the others hold the revision alone.
inline constexpr Field suffix_revision{24, 2};
inline constexpr Field suffix_domain_flags{26, 1};
inline constexpr size_t bytes = 32;
static_assert(fields_fill({flags, identifier, suffix}, bytes));
}  // namespace regid

// ECMA-167 1/7.2.1 Character Set Specification (charspec).
namespace charspec {
inline constexpr Field type{0, 1};
inline constexpr Field information{1, 63};
inline constexpr size_t bytes = 64;
static_assert(fields_fill({type, information}, bytes));
}  // namespace charspec

// ECMA-167 3/7.1 Extent Descriptor (extent_ad).
namespace extent_ad {
inline constexpr Field length{0, 4};
inline constexpr Field location{4, 4};
inline constexpr size_t bytes = 8;
static_assert(fields_fill({length, location}, bytes));
}  // namespace extent_ad

// ECMA-167 4/14.14.1 Short Allocation Descriptor (short_ad).
namespace short_ad {
inline constexpr Field length{0, 4};  // the top two bits are the extent type
inline constexpr Field position{4, 4};
inline constexpr size_t bytes = 8;
static_assert(fields_fill({length, position}, bytes));
}  // namespace short_ad

// ECMA-167 4/14.14.2 Long Allocation Descriptor (long_ad), its location an
// lb_addr (4/7.1); UDF 2.3.4.3 keeps the unique ID in its implementation use.
namespace long_ad {
inline constexpr Field length{0, 4};  // the top two bits are the extent type
inline constexpr Field block{4, 4};
inline constexpr Field partition{8, 2};
inline constexpr Field implementation_flags{10, 2};
inline constexpr Field unique_id{12, 4};
inline constexpr size_t bytes = 16;
static_assert(fields_fill({length, block, partition, implementation_flags, unique_id}, bytes));
}  // namespace long_ad

// ECMA-167 2/9.1 Volume Structure Descriptor (BEA01, NSR02/NSR03, TEA01).
namespace volume_structure_descriptor {
inline constexpr Field structure_type{0, 1};
inline constexpr Field standard_identifier{1, 5};
inline constexpr Field structure_version{6, 1};
inline constexpr Field structure_data{7, 2041};
inline constexpr size_t bytes = 2048;
static_assert(fields_fill({structure_type, standard_identifier, structure_version, structure_data},
                          bytes));
}  // namespace volume_structure_descriptor

// ECMA-167 3/10.1 Primary Volume Descriptor.
namespace primary_volume_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field sequence_number{16, 4};
inline constexpr Field number{20, 4};
inline constexpr Field volume_identifier{24, 32};
inline constexpr Field volume_sequence_number{56, 2};
inline constexpr Field max_volume_sequence_number{58, 2};
inline constexpr Field interchange_level{60, 2};
inline constexpr Field max_interchange_level{62, 2};
inline constexpr Field character_set_list{64, 4};
inline constexpr Field max_character_set_list{68, 4};
inline constexpr Field volume_set_identifier{72, 128};
inline constexpr Field descriptor_character_set{200, 64};
inline constexpr Field explanatory_character_set{264, 64};
inline constexpr Field volume_abstract{328, 8};
inline constexpr Field volume_copyright_notice{336, 8};
inline constexpr Field application_identifier{344, 32};
inline constexpr Field recording_time{376, 12};
inline constexpr Field implementation_identifier{388, 32};
inline constexpr Field implementation_use{420, 64};
inline constexpr Field predecessor_location{484, 4};
inline constexpr Field flags{488, 2};
inline constexpr Field reserved{490, 22};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag,
                           sequence_number,
                           number,
                           volume_identifier,
                           volume_sequence_number,
                           max_volume_sequence_number,
                           interchange_level,
                           max_interchange_level,
                           character_set_list,
                           max_character_set_list,
                           volume_set_identifier,
                           descriptor_character_set,
                           explanatory_character_set,
                           volume_abstract,
                           volume_copyright_notice,
                           application_identifier,
                           recording_time,
                           implementation_identifier,
                           implementation_use,
                           predecessor_location,
                           flags,
                           reserved},
                          bytes));
}  // namespace primary_volume_descriptor

// ECMA-167 3/10.2 Anchor Volume Descriptor Pointer.
namespace anchor_pointer {
inline constexpr Field tag{0, 16};
inline constexpr Field main_sequence{16, 8};     // extent_ad
inline constexpr Field reserve_sequence{24, 8};  // extent_ad
inline constexpr Field reserved{32, 480};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag, main_sequence, reserve_sequence, reserved}, bytes));
}  // namespace anchor_pointer

// ECMA-167 3/10.4 Implementation Use Volume Descriptor, with the logical
// volume information of UDF 2.2.7.2 as its implementation use.
namespace implementation_use_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field sequence_number{16, 4};
inline constexpr Field implementation_identifier{20, 32};
inline constexpr Field lvi_character_set{52, 64};
inline constexpr Field logical_volume_identifier{116, 128};
inline constexpr Field lv_info1{244, 36};
inline constexpr Field lv_info2{280, 36};
inline constexpr Field lv_info3{316, 36};
inline constexpr Field lvi_implementation_identifier{352, 32};
inline constexpr Field lvi_implementation_use{384, 128};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag, sequence_number, implementation_identifier, lvi_character_set,
                           logical_volume_identifier, lv_info1, lv_info2, lv_info3,
                           lvi_implementation_identifier, lvi_implementation_use},
                          bytes));
}  // namespace implementation_use_descriptor

// ECMA-167 3/10.5 Partition Descriptor.
namespace partition_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field sequence_number{16, 4};
inline constexpr Field flags{20, 2};
inline constexpr Field number{22, 2};
inline constexpr Field contents{24, 32};
inline constexpr Field contents_use{56, 128};
inline constexpr Field access_type{184, 4};
inline constexpr Field starting_location{188, 4};
inline constexpr Field length{192, 4};
inline constexpr Field implementation_identifier{196, 32};
inline constexpr Field implementation_use{228, 128};
inline constexpr Field reserved{356, 156};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag, sequence_number, flags, number, contents, contents_use, access_type,
                           starting_location, length, implementation_identifier, implementation_use,
                           reserved},
                          bytes));
}  // namespace partition_descriptor

// ECMA-167 3/10.6 Logical Volume Descriptor; the partition maps follow the
// fixed part.
namespace logical_volume_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field sequence_number{16, 4};
inline constexpr Field descriptor_character_set{20, 64};
inline constexpr Field logical_volume_identifier{84, 128};
inline constexpr Field logical_block_size{212, 4};
inline constexpr Field domain_identifier{216, 32};
inline constexpr Field file_set_location{248, 16};  // contents use: a long_ad (UDF 2.2.4.4)
inline constexpr Field map_table_length{264, 4};
inline constexpr Field partition_map_count{268, 4};
inline constexpr Field implementation_identifier{272, 32};
inline constexpr Field implementation_use{304, 128};
inline constexpr Field integrity_sequence{432, 8};  // extent_ad
inline constexpr size_t bytes = 440;
static_assert(fields_fill({tag, sequence_number, descriptor_character_set,
                           logical_volume_identifier, logical_block_size, domain_identifier,
                           file_set_location, map_table_length, partition_map_count,
                           implementation_identifier, implementation_use, integrity_sequence},
                          bytes));
}  // namespace logical_volume_descriptor

// ECMA-167 3/10.7.2 Type 1 Partition Map.
namespace type1_partition_map {
inline constexpr Field type{0, 1};
inline constexpr Field length{1, 1};
inline constexpr Field volume_sequence_number{2, 2};
inline constexpr Field partition_number{4, 2};
inline constexpr size_t bytes = 6;
static_assert(fields_fill({type, length, volume_sequence_number, partition_number}, bytes));
}  // namespace type1_partition_map

// UDF 2.2.10 Metadata Partition Map, a type 2 map (ECMA-167 3/10.7.3).
namespace metadata_partition_map {
inline constexpr Field type{0, 1};
inline constexpr Field length{1, 1};
inline constexpr Field reserved{2, 2};
inline constexpr Field partition_type_identifier{4, 32};
inline constexpr Field volume_sequence_number{36, 2};
inline constexpr Field partition_number{38, 2};
inline constexpr Field metadata_file_location{40, 4};
inline constexpr Field metadata_mirror_file_location{44, 4};
inline constexpr Field metadata_bitmap_file_location{48, 4};
inline constexpr Field allocation_unit_size{52, 4};
inline constexpr Field alignment_unit_size{56, 2};
inline constexpr Field flags{58, 1};
inline constexpr Field reserved_end{59, 5};
inline constexpr size_t bytes = 64;
static_assert(fields_fill({type, length, reserved, partition_type_identifier,
                           volume_sequence_number, partition_number, metadata_file_location,
                           metadata_mirror_file_location, metadata_bitmap_file_location,
                           allocation_unit_size, alignment_unit_size, flags, reserved_end},
                          bytes));
}  // namespace metadata_partition_map

// ECMA-167 3/10.8 Unallocated Space Descriptor; its allocation descriptors
// follow the fixed part.
namespace unallocated_space_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field sequence_number{16, 4};
inline constexpr Field allocation_descriptor_count{20, 4};
inline constexpr size_t bytes = 24;
static_assert(fields_fill({tag, sequence_number, allocation_descriptor_count}, bytes));
}  // namespace unallocated_space_descriptor

// ECMA-167 3/10.9 Terminating Descriptor.
namespace terminating_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field reserved{16, 496};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag, reserved}, bytes));
}  // namespace terminating_descriptor

// ECMA-167 3/10.10 Logical Volume Integrity Descriptor; the free space and
// size tables (4 bytes per partition each) and the implementation use follow.
namespace integrity_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field recording_time{16, 12};
inline constexpr Field integrity_type{28, 4};
inline constexpr Field next_integrity_extent{32, 8};  // extent_ad
inline constexpr Field next_unique_id{40, 8};         // contents use (UDF 2.2.6.3)
inline constexpr Field contents_use_reserved{48, 24};
inline constexpr Field partition_count{72, 4};
inline constexpr Field implementation_use_length{76, 4};
inline constexpr size_t bytes = 80;
static_assert(fields_fill({tag, recording_time, integrity_type, next_integrity_extent,
                           next_unique_id, contents_use_reserved, partition_count,
                           implementation_use_length},
                          bytes));
}  // namespace integrity_descriptor

// UDF 2.2.6.4 Implementation Use of the Logical Volume Integrity Descriptor.
namespace integrity_implementation_use {
inline constexpr Field implementation_identifier{0, 32};
inline constexpr Field file_count{32, 4};
inline constexpr Field directory_count{36, 4};
inline constexpr Field min_read_revision{40, 2};
inline constexpr Field min_write_revision{42, 2};
inline constexpr Field max_write_revision{44, 2};
inline constexpr size_t bytes = 46;
static_assert(fields_fill({implementation_identifier, file_count, directory_count,
                           min_read_revision, min_write_revision, max_write_revision},
                          bytes));
}  // namespace integrity_implementation_use

// ECMA-167 4/14.1 File Set Descriptor.
namespace file_set_descriptor {
inline constexpr Field tag{0, 16};
inline constexpr Field recording_time{16, 12};
inline constexpr Field interchange_level{28, 2};
inline constexpr Field max_interchange_level{30, 2};
inline constexpr Field character_set_list{32, 4};
inline constexpr Field max_character_set_list{36, 4};
inline constexpr Field file_set_number{40, 4};
inline constexpr Field file_set_descriptor_number{44, 4};
inline constexpr Field lv_identifier_character_set{48, 64};
inline constexpr Field logical_volume_identifier{112, 128};
inline constexpr Field file_set_character_set{240, 64};
inline constexpr Field file_set_identifier{304, 32};
inline constexpr Field copyright_file_identifier{336, 32};
inline constexpr Field abstract_file_identifier{368, 32};
inline constexpr Field root_directory_icb{400, 16};  // long_ad
inline constexpr Field domain_identifier{416, 32};
inline constexpr Field next_extent{448, 16};                  // long_ad
inline constexpr Field system_stream_directory_icb{464, 16};  // long_ad
inline constexpr Field reserved{480, 32};
inline constexpr size_t bytes = 512;
static_assert(fields_fill({tag, recording_time, interchange_level, max_interchange_level,
                           character_set_list, max_character_set_list, file_set_number,
                           file_set_descriptor_number, lv_identifier_character_set,
                           logical_volume_identifier, file_set_character_set, file_set_identifier,
                           copyright_file_identifier, abstract_file_identifier, root_directory_icb,
                           domain_identifier, next_extent, system_stream_directory_icb, reserved},
                          bytes));
}  // namespace file_set_descriptor

// ECMA-167 4/14.4 File Identifier Descriptor; the implementation use, the
// identifier and the padding to a multiple of 4 bytes follow.
namespace file_identifier {
inline constexpr Field tag{0, 16};
inline constexpr Field version{16, 2};
inline constexpr Field characteristics{18, 1};
inline constexpr Field identifier_length{19, 1};
inline constexpr Field icb{20, 16};  // long_ad
inline constexpr Field implementation_use_length{36, 2};
inline constexpr size_t bytes = 38;
static_assert(fields_fill({tag, version, characteristics, identifier_length, icb,
                           implementation_use_length},
                          bytes));
}  // namespace file_identifier

// ECMA-167 4/14.5 Allocation Extent Descriptor; the allocation descriptors
// follow the fixed part.
namespace allocation_extent {
inline constexpr Field tag{0, 16};
inline constexpr Field previous_location{16, 4};
inline constexpr Field descriptors_length{20, 4};
inline constexpr size_t bytes = 24;
static_assert(fields_fill({tag, previous_location, descriptors_length}, bytes));
}  // namespace allocation_extent

// ECMA-167 4/14.6 ICB Tag, at offset 16 of every entry.
namespace icb_tag {
inline constexpr Field prior_recorded_entries{0, 4};
inline constexpr Field strategy_type{4, 2};
inline constexpr Field strategy_parameter{6, 2};
inline constexpr Field maximum_entries{8, 2};
inline constexpr Field reserved{10, 1};
inline constexpr Field file_type{11, 1};
inline constexpr Field parent_location{12, 6};  // lb_addr
inline constexpr Field flags{18, 2};
inline constexpr size_t bytes = 20;
static_assert(fields_fill({prior_recorded_entries, strategy_type, strategy_parameter,
                           maximum_entries, reserved, file_type, parent_location, flags},
                          bytes));
}  // namespace icb_tag

// ECMA-167 4/14.9 File Entry (UDF 1.02); the extended attributes and the
// allocation descriptors follow the fixed part.
namespace file_entry {
inline constexpr Field tag{0, 16};
inline constexpr Field icb_tag{16, 20};
inline constexpr Field uid{36, 4};
inline constexpr Field gid{40, 4};
inline constexpr Field permissions{44, 4};
inline constexpr Field link_count{48, 2};
inline constexpr Field record_format{50, 1};
inline constexpr Field record_display_attributes{51, 1};
inline constexpr Field record_length{52, 4};
inline constexpr Field information_length{56, 8};
inline constexpr Field logical_blocks_recorded{64, 8};
inline constexpr Field access_time{72, 12};
inline constexpr Field modification_time{84, 12};
inline constexpr Field attribute_time{96, 12};
inline constexpr Field checkpoint{108, 4};
inline constexpr Field extended_attribute_icb{112, 16};  // long_ad
inline constexpr Field implementation_identifier{128, 32};
inline constexpr Field unique_id{160, 8};
inline constexpr Field extended_attributes_length{168, 4};
inline constexpr Field allocation_descriptors_length{172, 4};
inline constexpr size_t bytes = 176;
static_assert(fields_fill({tag,
                           icb_tag,
                           uid,
                           gid,
                           permissions,
                           link_count,
                           record_format,
                           record_display_attributes,
                           record_length,
                           information_length,
                           logical_blocks_recorded,
                           access_time,
                           modification_time,
                           attribute_time,
                           checkpoint,
                           extended_attribute_icb,
                           implementation_identifier,
                           unique_id,
                           extended_attributes_length,
                           allocation_descriptors_length},
                          bytes));
}  // namespace file_entry

// ECMA-167 4/14.17 Extended File Entry (UDF 2.50); the extended attributes
// and the allocation descriptors follow the fixed part. It begins as the file
// entry does, so one writer fills those fields for either.
namespace extended_file_entry {
// The fields up to the information length are those of the file entry.
using file_entry::gid;
using file_entry::icb_tag;
using file_entry::information_length;
using file_entry::link_count;
using file_entry::permissions;
using file_entry::record_display_attributes;
using file_entry::record_format;
using file_entry::record_length;
using file_entry::tag;
using file_entry::uid;
inline constexpr Field object_size{64, 8};
inline constexpr Field logical_blocks_recorded{72, 8};
inline constexpr Field access_time{80, 12};
inline constexpr Field modification_time{92, 12};
inline constexpr Field creation_time{104, 12};
inline constexpr Field attribute_time{116, 12};
inline constexpr Field checkpoint{128, 4};
inline constexpr Field reserved{132, 4};
inline constexpr Field extended_attribute_icb{136, 16};  // long_ad
inline constexpr Field stream_directory_icb{152, 16};    // long_ad
inline constexpr Field implementation_identifier{168, 32};
inline constexpr Field unique_id{200, 8};
inline constexpr Field extended_attributes_length{208, 4};
inline constexpr Field allocation_descriptors_length{212, 4};
inline constexpr size_t bytes = 216;
static_assert(fields_fill({tag,
                           icb_tag,
                           uid,
                           gid,
                           permissions,
                           link_count,
                           record_format,
                           record_display_attributes,
                           record_length,
                           information_length,
                           object_size,
                           logical_blocks_recorded,
                           access_time,
                           modification_time,
                           creation_time,
                           attribute_time,
                           checkpoint,
                           reserved,
                           extended_attribute_icb,
                           stream_directory_icb,
                           implementation_identifier,
                           unique_id,
                           extended_attributes_length,
                           allocation_descriptors_length},
                          bytes));
}  // namespace extended_file_entry

// ECMA-167 4/14.10.1 Extended Attribute Header Descriptor.
namespace extended_attribute_header {
inline constexpr Field tag{0, 16};
inline constexpr Field implementation_attributes_location{16, 4};
inline constexpr Field application_attributes_location{20, 4};
inline constexpr size_t bytes = 24;
static_assert(
    fields_fill({tag, implementation_attributes_location, application_attributes_location}, bytes));
}  // namespace extended_attribute_header

// ECMA-167 4/14.10.8 Implementation Use Extended Attribute; its
// implementation use starts with the header checksum of UDF 3.3.4.5.1.
namespace implementation_attribute {
inline constexpr Field attribute_type{0, 4};
inline constexpr Field attribute_subtype{4, 1};
inline constexpr Field reserved{5, 3};
inline constexpr Field attribute_length{8, 4};
inline constexpr Field implementation_use_length{12, 4};
inline constexpr Field implementation_identifier{16, 32};
inline constexpr Field header_checksum{48, 2};
inline constexpr size_t bytes = 50;
static_assert(fields_fill({attribute_type, attribute_subtype, reserved, attribute_length,
                           implementation_use_length, implementation_identifier, header_checksum},
                          bytes));
}  // namespace implementation_attribute

}  // namespace kestrel::udf
