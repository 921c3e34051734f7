// Extension data and sub-path readers for Blu-ray playlists and clip
// information files.
#include "bluray/extension_data.h"

#include <utility>

namespace kestrel::bluray {
namespace {

// Within the bytes after the extension data's length field.
constexpr size_t entry_count_offset = 7;  // low byte of the 32-bit number at 4
constexpr size_t entry_table_offset = 8;
constexpr uint64_t entry_bytes = 12;

// Bytes that one sub-path's fixed fields take (length, type, flags, item
// count); its sub-play-items begin at this offset.
constexpr uint64_t sub_path_items_offset = 10;
// Bytes that a sub-play-item's fixed fields take, up to the clip-entry count.
constexpr uint64_t sub_play_item_fixed_bytes = 30;
// One further clip entry of a multi-clip sub-play-item: clip name (5), codec
// identifier (4), STC identifier (1).
constexpr uint64_t sub_play_item_clip_bytes = 10;
constexpr uint64_t extent_start_point_bytes = 4;

constexpr size_t clip_name_chars = 5;
constexpr size_t codec_id_chars = 4;

// The block identifiers that are walked.
constexpr uint16_t id1_playlist_metadata = 1;
constexpr uint16_t id1_stereoscopic = 2;
constexpr uint16_t id2_stereo_stream_tables = 1;
constexpr uint16_t id2_sub_path_extension = 2;
constexpr uint16_t id2_fixed_four_bytes = 3;
constexpr uint16_t id2_extent_start_points = 4;
// Two further length-prefixed blocks that are stepped over.
constexpr uint16_t id2_length_prefixed_first = 5;
constexpr uint16_t id2_length_prefixed_second = 6;

// Reads the data block of one entry at the start of `block` (which runs to
// the end of the extension data) and sets `advance` to how far the walk
// moves. False when the block runs past the end; nothing is stored then.
bool read_block(const ExtensionEntry& entry, ByteReader block, ExtensionData& data,
                uint64_t& advance) {
  advance = 0;
  if (entry.id1 == id1_playlist_metadata) {
    if (entry.id2 != 1 && entry.id2 != 2) return true;
    const uint32_t length = block.u32();
    const uint16_t value = block.u16();
    advance = uint64_t{4} + length;
    if (block.overrun() || advance > block.size()) return false;
    data.id1_block_length = length;
    data.id1_block_value = value;
    return true;
  }
  if (entry.id1 != id1_stereoscopic) return true;

  switch (entry.id2) {
    case id2_stereo_stream_tables: {
      // One table for each play item, each a 16-bit length and that many
      // bytes, until the entry's length is used up.
      std::vector<uint32_t> lengths;
      uint64_t used = 0;
      while (used < entry.length) {
        const uint16_t table_length = block.u16();
        if (block.overrun() || !block.skip(table_length)) return false;
        lengths.push_back(table_length);
        used += uint64_t{table_length} + 2;
      }
      data.stereo_stream_table_lengths.insert(data.stereo_stream_table_lengths.end(),
                                              lengths.begin(), lengths.end());
      advance = used;
      return true;
    }
    case id2_sub_path_extension: {
      const uint32_t length = block.u32();
      const uint16_t count = block.u16();
      if (block.overrun() || !block.has_records(count, sub_path_items_offset)) return false;
      std::vector<SubPath> sub_paths;
      uint64_t position = block.position();
      for (uint16_t i = 0; i < count; ++i) {
        SubPath sub_path;
        const uint64_t size = read_sub_path(block.from(position), sub_path);
        if (size == 0 || size > block.size() - position) return false;
        position += size;
        sub_paths.push_back(std::move(sub_path));
      }
      data.sub_path_ext_length = length;
      for (auto& sub_path : sub_paths) data.sub_paths.push_back(std::move(sub_path));
      advance = position;
      return true;
    }
    case id2_fixed_four_bytes: {
      const uint32_t value = block.u32();
      advance = 8;
      if (block.overrun() || advance > block.size()) return false;
      data.id2_3_value = value;
      return true;
    }
    case id2_extent_start_points: {
      const uint32_t length = block.u32();
      const uint32_t count = block.u32();
      if (block.overrun() || !block.has_records(count, extent_start_point_bytes)) return false;
      data.extent_start_length = length;
      data.extent_start_points.reserve(data.extent_start_points.size() + count);
      for (uint32_t i = 0; i < count; ++i) data.extent_start_points.push_back(block.u32());
      advance = block.position();
      return true;
    }
    case id2_length_prefixed_first:
    case id2_length_prefixed_second: {
      const uint32_t length = block.u32();
      advance = uint64_t{4} + length;
      return !block.overrun() && advance <= block.size();
    }
    default: return true;
  }
}

}  // namespace

std::vector<uint8_t> copy_extension_bytes(const ByteReader& file, uint32_t address) {
  ByteReader extension = file.from(address);
  const uint32_t length = extension.u32();
  const ByteReader body = extension.block(length);
  if (extension.overrun()) return {};
  return std::vector<uint8_t>(body.current(), body.current() + body.size());
}

size_t read_extension_data(const uint8_t* bytes, size_t count, ExtensionData& data) {
  ByteReader reader(bytes, count);
  data.byte_count = static_cast<uint32_t>(count);
  reader.seek(entry_count_offset);
  const uint8_t entry_count = reader.u8();
  if (reader.overrun() || !reader.has_records(entry_count, entry_bytes)) return 0;

  data.entries.reserve(entry_count);
  for (uint8_t i = 0; i < entry_count; ++i) {
    ExtensionEntry entry;
    entry.id1 = reader.u16();
    entry.id2 = reader.u16();
    entry.start_address = reader.u32();
    entry.length = reader.u32();
    data.entries.push_back(entry);
  }

  size_t cursor = entry_table_offset + static_cast<size_t>(entry_count * entry_bytes);
  for (const ExtensionEntry& entry : data.entries) {
    uint64_t advance = 0;
    if (!read_block(entry, reader.from(cursor), data, advance) || advance > count - cursor) break;
    cursor += static_cast<size_t>(advance);
  }
  return cursor;
}

uint64_t read_sub_path(ByteReader reader, SubPath& sub_path) {
  sub_path = SubPath{};
  const uint32_t length = reader.u32();
  reader.skip(1);
  sub_path.type = reader.u8();
  sub_path.repeat = reader.u16() & 1;
  reader.skip(1);
  const uint8_t item_count = reader.u8();
  const uint64_t size = uint64_t{length} + 4;
  if (reader.overrun() || size > reader.size() ||
      !reader.has_records(item_count, sub_play_item_fixed_bytes)) {
    return 0;
  }

  uint64_t position = sub_path_items_offset;
  for (uint8_t i = 0; i < item_count; ++i) {
    SubPlayItem item;
    const uint64_t item_size = read_sub_play_item(reader.from(position), item);
    if (item_size == 0 || item_size > reader.size() - position) return 0;
    position += item_size;
    sub_path.items.push_back(std::move(item));
  }
  return size;
}

uint64_t read_sub_play_item(ByteReader reader, SubPlayItem& item) {
  item = SubPlayItem{};
  const uint16_t length = reader.u16();
  reader.text(item.clip_name.data(), clip_name_chars);
  reader.skip(codec_id_chars);  // codec identifier, not kept
  const uint32_t flags = reader.u32();
  item.multi_clip = flags & 1;
  item.connection_condition = static_cast<uint8_t>((flags >> 1) & 0xF);
  item.stc_id = reader.u8();
  item.in_time = reader.u32();
  item.out_time = reader.u32();
  item.sync_play_item_id = reader.u16();
  item.sync_start_time = reader.u32();
  if (item.multi_clip != 0) {
    const uint8_t clip_count = reader.u8();
    reader.skip(1);
    if (clip_count >= 2) {
      if (!reader.has_records(clip_count - 1u, sub_play_item_clip_bytes)) return 0;
      for (unsigned i = 1; i < clip_count; ++i) {
        SubPlayItemClip clip;
        reader.text(clip.clip_name.data(), clip_name_chars);
        reader.text(clip.codec_id.data(), codec_id_chars);
        clip.stc_id = reader.u8();
        item.clips.push_back(clip);
      }
    }
  }
  const uint64_t size = uint64_t{length} + 2;
  if (reader.overrun() || size > reader.size()) return 0;
  return size;
}

}  // namespace kestrel::bluray
