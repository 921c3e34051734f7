// Builders of Blu-ray navigation files for the tests: big-endian byte
// writers and well-formed index, playlist, clip information and
// extension-data structures laid out as a movie folder holds them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::test {

using Bytes = std::vector<uint8_t>;

class BigEndianWriter {
 public:
  BigEndianWriter& u8(uint32_t value) { return put(value, 1); }
  BigEndianWriter& u16(uint32_t value) { return put(value, 2); }
  BigEndianWriter& u32(uint32_t value) { return put(value, 4); }
  BigEndianWriter& u64(uint64_t value) { return put(value, 8); }
  BigEndianWriter& text(std::string_view value) {
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    return *this;
  }
  BigEndianWriter& zeros(size_t count) {
    bytes_.insert(bytes_.end(), count, 0);
    return *this;
  }
  BigEndianWriter& append(const Bytes& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
    return *this;
  }
  // Overwrites a 32-bit (or 16-bit) number written earlier.
  void set_u32(size_t offset, uint32_t value) { set(offset, value, 4); }
  void set_u16(size_t offset, uint32_t value) { set(offset, value, 2); }
  size_t size() const { return bytes_.size(); }
  const Bytes& bytes() const { return bytes_; }

 private:
  BigEndianWriter& put(uint64_t value, int width) {
    for (int i = width - 1; i >= 0; --i) bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  void set(size_t offset, uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
      bytes_[offset + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
  }
  Bytes bytes_;
};

// One block of an extension-data structure.
struct ExtensionBlock {
  uint16_t id1 = 0;
  uint16_t id2 = 0;
  Bytes data;
};

// An extension-data structure with its length field; the blocks follow the
// entry table back to back and the start addresses say so.
inline Bytes extension_data(const std::vector<ExtensionBlock>& blocks) {
  BigEndianWriter out;
  const uint32_t table_end = 12 + 12 * static_cast<uint32_t>(blocks.size());
  uint32_t body = 0;
  for (const auto& block : blocks) body += static_cast<uint32_t>(block.data.size());
  out.u32(table_end - 4 + body).u32(table_end).zeros(3).u8(static_cast<uint32_t>(blocks.size()));
  uint32_t address = table_end;
  for (const auto& block : blocks) {
    out.u16(block.id1).u16(block.id2).u32(address).u32(static_cast<uint32_t>(block.data.size()));
    address += static_cast<uint32_t>(block.data.size());
  }
  for (const auto& block : blocks) out.append(block.data);
  return out.bytes();
}

// The bytes after an extension-data structure's length field, as the file
// readers hand them to read_extension_data.
inline Bytes extension_body(const std::vector<ExtensionBlock>& blocks) {
  Bytes all = extension_data(blocks);
  return Bytes(all.begin() + 4, all.end());
}

inline Bytes sub_play_item(std::string_view clip_name) {
  BigEndianWriter out;
  out.u16(28).text(clip_name).text("M2TS").u32(1u << 1).u8(0).u32(0).u32(900000).u16(0).u32(0);
  return out.bytes();
}

// A sub-path of the stereoscopic dependent-view type (8) with one
// sub-play-item per clip; `length` replaces the length field when not 0.
inline Bytes sub_path(const std::vector<std::string>& clips, uint32_t length = 0) {
  BigEndianWriter items;
  for (const auto& clip : clips) items.append(sub_play_item(clip));
  BigEndianWriter out;
  out.u32(length != 0 ? length : 6 + static_cast<uint32_t>(items.size()));
  out.u8(0).u8(8).u16(0).u8(0).u8(static_cast<uint32_t>(clips.size())).append(items.bytes());
  return out.bytes();
}

// Data of the ID1 = 2, ID2 = 2 sub-path extension block.
inline Bytes sub_path_block(const std::vector<Bytes>& sub_paths) {
  BigEndianWriter body;
  body.u16(static_cast<uint32_t>(sub_paths.size()));
  for (const auto& path : sub_paths) body.append(path);
  BigEndianWriter out;
  out.u32(static_cast<uint32_t>(body.size())).append(body.bytes());
  return out.bytes();
}

// Data of the ID1 = 2, ID2 = 1 block: one small stereoscopic stream number
// table per play item.
inline Bytes stereo_stream_tables(size_t play_items) {
  BigEndianWriter out;
  for (size_t i = 0; i < play_items; ++i) out.u16(4).u16(0).u16(0);
  return out.bytes();
}

// Data of the ID1 = 2, ID2 = 4 extent start point block.
inline Bytes extent_start_block(const std::vector<uint32_t>& points) {
  BigEndianWriter out;
  out.u32(4 + 4 * static_cast<uint32_t>(points.size())).u32(static_cast<uint32_t>(points.size()));
  for (uint32_t point : points) out.u32(point);
  return out.bytes();
}

// A play item with one primary video stream; `length` replaces the length
// field (the item is padded to it) when not 0.
inline Bytes play_item(std::string_view clip_name, uint16_t length = 0) {
  BigEndianWriter out;
  out.u16(0).text(clip_name).text("M2TS").u16(1).u8(0).u32(0).u32(900000).u64(0).u32(0);
  // Stream number table: length, 2 bytes, eight counts, 4 bytes, streams.
  out.u16(30).u16(0).u8(1).zeros(7).zeros(4);
  out.u8(9).u8(1).u16(0x1011).zeros(6);  // stream entry: a stream of the main path
  out.u8(5).u8(0x1B).u8(0x61).zeros(3);  // attributes: video, 1080p, 23.976 Hz
  const size_t natural = out.size() - 2;
  if (length > natural) out.zeros(length - natural);
  out.set_u16(0, length != 0 ? length : static_cast<uint32_t>(natural));
  return out.bytes();
}

inline Bytes playlist_file(const std::vector<Bytes>& items, const Bytes& extension) {
  constexpr uint32_t header = 58;
  BigEndianWriter body;
  body.u16(0).u16(static_cast<uint32_t>(items.size())).u16(0);
  for (const auto& item : items) body.append(item);
  BigEndianWriter out;
  out.text("MPLS").text("0200").u32(header).u32(0).u32(0).zeros(20);
  out.u32(14).u8(0).u8(1).u16(0).u64(0).u16(0x4000);  // application info
  out.u32(static_cast<uint32_t>(body.size())).append(body.bytes());
  out.set_u32(12, static_cast<uint32_t>(out.size()));
  out.u32(16).u16(1).u8(0).u8(1).u16(0).u32(0).u16(0xFFFF).u32(0);  // one entry mark
  if (!extension.empty()) {
    out.set_u32(16, static_cast<uint32_t>(out.size()));
    out.append(extension);
  }
  return out.bytes();
}

inline Bytes playlist_file(const std::vector<std::string>& clips, const Bytes& extension) {
  std::vector<Bytes> items;
  for (const auto& clip : clips) items.push_back(play_item(clip));
  return playlist_file(items, extension);
}

// A 3D playlist: base clips in the play items, dependent clips in the first
// sub-path of the sub-path extension block.
inline Bytes stereo_playlist(const std::vector<std::string>& base,
                             const std::vector<std::string>& dependent) {
  return playlist_file(base, extension_data({{2, 1, stereo_stream_tables(base.size())},
                                             {2, 2, sub_path_block({sub_path(dependent)})}}));
}

inline Bytes clip_info_file(uint32_t packets, const Bytes& extension) {
  BigEndianWriter out;
  out.text("HDMV").text("0200").zeros(20).zeros(12);
  out.u32(176).u16(0).u8(1).u8(1).u32(0).u32(48000000).u32(packets).zeros(128);
  out.u16(30).u8(0x80).text("HDMV").zeros(9).zeros(16);  // transport stream type info
  out.set_u32(8, static_cast<uint32_t>(out.size()));     // sequence information
  out.u32(22).u8(0).u8(1).u32(0).u8(1).u8(0).u16(0x1001).u32(0).u32(0).u32(900000);
  out.set_u32(12, static_cast<uint32_t>(out.size()));  // program information
  out.u32(16).u8(0).u8(1).u32(0).u16(0x0100).u8(1).u8(0).u16(0x1011).u8(3).u8(0x1B).u8(0x61).u8(
      0x30);
  out.set_u32(16, static_cast<uint32_t>(out.size()));  // characteristic point information
  out.u32(0);
  out.set_u32(20, static_cast<uint32_t>(out.size()));  // clip marks
  out.u32(0);
  if (!extension.empty()) {
    out.set_u32(24, static_cast<uint32_t>(out.size()));
    out.append(extension);
  }
  return out.bytes();
}

inline Bytes stereo_clip_info(uint32_t packets, const std::vector<uint32_t>& points) {
  return clip_info_file(packets, extension_data({{2, 4, extent_start_block(points)}}));
}

// An index file with one movie-object title; `playback_flags` is the byte
// at offset 44 (0x20: stereoscopic content).
inline Bytes index_file(uint8_t playback_flags, const Bytes& extension = {}) {
  BigEndianWriter out;
  out.text("INDX").text("0200").u32(78).u32(0).zeros(24);
  out.u32(34).u8(playback_flags).u8(0x61).zeros(32);  // application info
  out.u32(12 + 12 + 2 + 12);
  out.u32(1u << 30).u32(0x40000000 | 0).u32(0);         // first playback: movie object 0
  out.u32(2u << 30).u16(0).text("00000").u8(0);         // top menu: a Java object
  out.u16(1).u32(1u << 30).u32(0x40000000 | 1).u32(0);  // one title: movie object 1
  if (!extension.empty()) {
    out.set_u32(12, static_cast<uint32_t>(out.size()));
    out.append(extension);
  }
  return out.bytes();
}

}  // namespace kestrel::test
