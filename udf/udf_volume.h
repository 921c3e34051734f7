// The UDF side of an image: the volume label, the volume-level descriptors
// (recognition sequence, volume descriptor sequences, integrity sequence,
// anchors), UDF names and order, the file structure sizing and writing, and
// the metadata file entries of revision 2.50.
#pragma once

#include <cstdint>
#include <string_view>

#include "disc/disc_image.h"
#include "disc/sector_emitter.h"

namespace kestrel::udf {

// Stores the UDF timestamp of build_time in build_timestamp, which every UDF
// volume date copies; the engine calls it once, as a build starts.
void set_build_timestamp(DiscImage& image);

// The bytes of the logical volume identifier's d-string.
inline constexpr size_t label_dstring_bytes = 128;
// The volume label as that d-string: 8-bit when every character is below
// U+0100, else 16-bit (UDF 2.1.1).
void make_label_dstring(const DiscImage& image, uint8_t (&dstring)[label_dstring_bytes]);

// Gives one node its UDF name (udf_name, udf_name_length, udf_name_8bit).
void make_udf_name(DiscImage& image, SourceNode& node);
// Makes the UDF names of a directory's children unique and, unless
// `keep_order`, sorts its primary child list into UDF order.
void sort_udf_children(DiscImage& image, SourceNode& directory, bool keep_order);

struct UdfLayoutCounters {
  uint64_t next_block = 3;  // after the file set descriptor, its terminator and the root entry
  uint64_t identifier_blocks = 0;
};

// Layout visitor, run breadth first in primary order over the directories:
// fills fid_block and fid_bytes of the directory and icb_block of its children.
void size_udf_directory(DiscImage& image, SourceNode& directory, UdfLayoutCounters& counters);

// The extent each anchor gives each volume descriptor sequence, in sectors
// (UDF 2.2.3: at least 16), of which the sequence itself takes 6.
inline constexpr uint32_t volume_sequence_extent_sectors = 16;

// Volume structure writers, each at the sector the layout gave it.
void write_recognition_sequence(const DiscImage& image, SectorEmitter& out);
void write_volume_sequence(const DiscImage& image, SectorEmitter& out, uint32_t first_sector);
void write_anchor(const DiscImage& image, SectorEmitter& out, uint32_t sector);
// The anchor alone, into a zero-filled sector that holds more than the
// anchor: the descriptor takes its first 512 bytes (ECMA-167 3/10.2), and a
// bootable image's last sector ends with the backup GPT header.
void fill_anchor(const DiscImage& image, uint8_t* sector, uint32_t location);
void write_integrity(const DiscImage& image, SectorEmitter& out, uint32_t sector);
void write_terminating_descriptor(const DiscImage& image, SectorEmitter& out, uint32_t sector);

// Emits the whole file structure (file set descriptor, its terminator, the
// root entry, every directory's identifiers and its children's entries);
// returns the number of blocks emitted.
uint64_t write_file_set(const DiscImage& image, SectorEmitter& out);

// UDF 2.50: the metadata file entry (mirror clear) or the metadata mirror
// file entry (mirror set), one sector. False when the metadata has more
// extents than one entry lists.
bool write_metadata_file_entry(const DiscImage& image, SectorEmitter& out, uint32_t sector,
                               bool mirror);

}  // namespace kestrel::udf
