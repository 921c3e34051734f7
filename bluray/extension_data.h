// Readers of the extension-data structure that may end a Blu-ray movie
// playlist (.mpls) or clip information file (.clpi), and of the sub-paths
// that both a playlist's own sub-path list and its sub-path extension block
// hold.
//
// Extension data, offsets from its length field:
//   0  length (bytes that follow)      4  data block start address
//   8  3 bytes not used               11  number of entries
//  12  entry table, 12 bytes an entry: ID1, ID2 (16-bit), block start address
//      and block length (32-bit)
// followed by the data blocks. The blocks are taken to follow the table and
// one another without gaps, in table order; the start addresses are read but
// never used to position.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bluray/byte_reader.h"

namespace kestrel::bluray {

// A five-character clip name or a four-character codec identifier, kept
// with a terminating zero.
using ClipName = std::array<char, 6>;
using CodecId = std::array<char, 5>;

// One further clip of a multi-clip sub-play-item.
struct SubPlayItemClip {
  ClipName clip_name{};
  CodecId codec_id{};
  uint8_t stc_id = 0;
};

struct SubPlayItem {
  ClipName clip_name{};
  uint8_t connection_condition = 0;  // 4 bits
  uint8_t multi_clip = 0;            // 1 bit
  uint8_t stc_id = 0;
  uint32_t in_time = 0;
  uint32_t out_time = 0;
  uint16_t sync_play_item_id = 0;
  uint32_t sync_start_time = 0;
  std::vector<SubPlayItemClip> clips;  // the clips after the first
};

struct SubPath {
  uint8_t type = 0;
  uint16_t repeat = 0;  // 0 or 1
  std::vector<SubPlayItem> items;
};

struct ExtensionEntry {
  uint16_t id1 = 0;
  uint16_t id2 = 0;
  uint32_t start_address = 0;
  uint32_t length = 0;
};

struct ExtensionData {
  uint32_t byte_count = 0;
  std::vector<ExtensionEntry> entries;
  // ID1 = 2, ID2 = 1 (stereoscopic stream number tables): the 16-bit length
  // of every table in the block.
  std::vector<uint32_t> stereo_stream_table_lengths;
  // ID1 = 2, ID2 = 2 (sub-path extension): the block's length field and its
  // sub-paths, which name the dependent-view clips.
  uint32_t sub_path_ext_length = 0;
  std::vector<SubPath> sub_paths;
  // ID1 = 2, ID2 = 4 (extent start points of a clip): the block's length
  // field and the source packet numbers at which the stream's extents begin.
  uint32_t extent_start_length = 0;
  std::vector<uint32_t> extent_start_points;
  // Kept as read; nothing in the program uses them.
  uint32_t id1_block_length = 0;  // ID1 = 1, ID2 = 1 or 2
  uint16_t id1_block_value = 0;
  uint32_t id2_3_value = 0;  // ID1 = 2, ID2 = 3
};

// The extension data of a navigation file at `address` (from the start of
// the file that `file` spans): the bytes after its 32-bit length field, as
// many as that field gives. Empty when they run past the end of the file.
std::vector<uint8_t> copy_extension_bytes(const ByteReader& file, uint32_t address);

// Reads the extension data from the bytes after its length field (the
// owning file's reader hands over exactly as many bytes as that field
// gives) into `data`, which the caller has cleared. A block that would run
// past the end of the bytes is left out and ends the walk. Returns the bytes
// walked, from the first byte handed in to where the walk stopped.
size_t read_extension_data(const uint8_t* bytes, size_t count, ExtensionData& data);

// Reads one sub-path from the start of `reader`, which spans the sub-path
// and everything after it. Returns the sub-path's length field plus 4, the
// distance to the next sub-path however much its items used, or 0 when the
// sub-path runs past the end of the bytes (it is then to be treated as
// absent).
uint64_t read_sub_path(ByteReader reader, SubPath& sub_path);

// Reads one sub-play-item from the start of `reader`. Returns its length
// field plus 2, or 0 when it runs past the end of the bytes.
uint64_t read_sub_play_item(ByteReader reader, SubPlayItem& item);

}  // namespace kestrel::bluray
