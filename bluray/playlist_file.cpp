// Blu-ray movie playlist reader.
#include "bluray/playlist_file.h"

#include <utility>

namespace kestrel::bluray {
namespace {

// Header fields, offsets from the start of the file.
constexpr size_t playlist_address_offset = 8;
constexpr size_t marks_address_offset = 12;
constexpr size_t extension_address_offset = 16;
constexpr size_t playback_type_offset = 45;  // application info
constexpr size_t playlist_flags_offset = 56;
constexpr size_t playlist_header_bytes = playlist_flags_offset + 2;

// The playlist proper: length (4), 2 bytes, play item count, sub-path count.
constexpr size_t play_item_count_offset = 6;
constexpr size_t play_items_offset = 10;
// A play item's fields up to its angle fields (34 bytes) and the stream
// number table's fixed part (16 bytes): the least a play item can occupy.
constexpr uint64_t play_item_minimum_bytes = 50;
// A sub-path's fixed fields.
constexpr uint64_t sub_path_minimum_bytes = 10;

// The marks: 4 bytes, the mark count, then the marks.
constexpr size_t mark_count_offset = 4;
constexpr uint64_t mark_bytes = 14;

constexpr size_t clip_name_chars = 5;
constexpr size_t codec_id_chars = 4;
constexpr uint16_t multi_angle_bit = 0x10;  // in the 16-bit word at offset 11
constexpr uint64_t angle_bytes = 10;
// A stream entry and its attributes: two length bytes at the least.
constexpr uint64_t stream_minimum_bytes = 2;

// The order in which the streams follow the counts of the stream number table.
constexpr StreamKind stream_read_order[stream_kind_count] = {
    stream_primary_video,         stream_primary_audio,
    stream_presentation_graphics, stream_picture_in_picture_graphics,
    stream_interactive_graphics,  stream_secondary_audio,
    stream_secondary_video,       stream_further_video};

// A length byte and that many bytes.
std::vector<uint8_t> read_counted_bytes(ByteReader& reader) {
  const uint8_t length = reader.u8();
  ByteReader body = reader.block(length);
  return std::vector<uint8_t>(body.current(), body.current() + body.size());
}

// A reference list of a secondary stream: a count, a byte not read, the
// references and a padding byte when the count is odd.
std::vector<uint8_t> read_reference_list(ByteReader& reader) {
  const uint8_t count = reader.u8();
  reader.skip(1);
  ByteReader body = reader.block(count);
  if (count % 2 != 0) reader.skip(1);
  return std::vector<uint8_t>(body.current(), body.current() + body.size());
}

bool read_stream_table(ByteReader& reader, PlayItem& item) {
  reader.skip(4);  // length and 2 bytes
  uint8_t counts[stream_kind_count] = {};
  for (uint8_t& count : counts) count = reader.u8();
  reader.skip(4);
  for (StreamKind kind : stream_read_order) {
    if (reader.overrun() || !reader.has_records(counts[kind], stream_minimum_bytes)) return false;
    auto& streams = item.streams[kind];
    for (uint8_t i = 0; i < counts[kind]; ++i) {
      StreamRecord stream;
      stream.entry = read_counted_bytes(reader);
      stream.attributes = read_counted_bytes(reader);
      if (kind == stream_secondary_audio || kind == stream_secondary_video) {
        stream.references = read_reference_list(reader);
      }
      if (kind == stream_secondary_video) stream.second_references = read_reference_list(reader);
      streams.push_back(std::move(stream));
    }
  }
  return !reader.overrun();
}

// The play items and after them the sub-paths. Either list is left out
// whole when one of its records runs past the end.
void read_playlist_proper(ByteReader reader, PlayListFile& playlist) {
  reader.seek(play_item_count_offset);
  const uint16_t item_count = reader.u16();
  const uint16_t sub_path_count = reader.u16();
  if (reader.overrun() || !reader.has_records(item_count, play_item_minimum_bytes)) return;

  std::vector<PlayItem> items;
  uint64_t position = play_items_offset;
  for (uint16_t i = 0; i < item_count; ++i) {
    PlayItem item;
    const uint64_t size = read_play_item(reader.from(position), item);
    if (size == 0 || size > reader.size() - position) return;
    position += size;
    items.push_back(std::move(item));
  }
  playlist.play_items = std::move(items);

  if (!reader.from(position).has_records(sub_path_count, sub_path_minimum_bytes)) return;
  std::vector<SubPath> sub_paths;
  for (uint16_t i = 0; i < sub_path_count; ++i) {
    SubPath sub_path;
    const uint64_t size = read_sub_path(reader.from(position), sub_path);
    if (size == 0 || size > reader.size() - position) return;
    position += size;
    sub_paths.push_back(std::move(sub_path));
  }
  playlist.sub_paths = std::move(sub_paths);
}

void read_marks(ByteReader reader, PlayListFile& playlist) {
  reader.seek(mark_count_offset);
  const uint16_t count = reader.u16();
  if (reader.overrun() || !reader.has_records(count, mark_bytes)) return;
  playlist.marks.reserve(count);
  for (uint16_t i = 0; i < count; ++i) {
    PlayListMark mark;
    mark.leading_byte = reader.u8();
    mark.mark_type = reader.u8();
    mark.play_item_ref = reader.u16();
    mark.time = reader.u32();
    mark.stream_id = reader.u16();
    mark.duration = reader.u32();
    playlist.marks.push_back(mark);
  }
}

}  // namespace

uint64_t read_play_item(ByteReader reader, PlayItem& item) {
  item = PlayItem{};
  const uint16_t length = reader.u16();
  reader.text(item.clip_name.data(), clip_name_chars);
  reader.text(item.codec_id.data(), codec_id_chars);
  const uint16_t connection = reader.u16();
  item.multi_angle = (connection & multi_angle_bit) != 0 ? 1 : 0;
  item.connection_condition = connection & 0xF;
  item.stc_id = reader.u8();
  item.in_time = reader.u32();
  item.out_time = reader.u32();
  item.user_operation_mask = reader.u64();
  const uint32_t still = reader.u32();
  item.random_access = static_cast<uint8_t>(still >> 31);
  item.still_mode = static_cast<uint8_t>(still >> 16);
  item.still_time = static_cast<uint16_t>(still);
  if (item.multi_angle != 0) {
    item.angle_count = reader.u8();
    const uint8_t angle_flags = reader.u8();
    item.different_audios = (angle_flags >> 1) & 1;
    item.seamless_angle_change = angle_flags & 1;
    if (item.angle_count > 1) {
      if (!reader.has_records(item.angle_count - 1u, angle_bytes)) return 0;
      for (unsigned i = 1; i < item.angle_count; ++i) {
        PlayItemAngle angle;
        reader.text(angle.clip_name.data(), clip_name_chars);
        reader.text(angle.codec_id.data(), codec_id_chars);
        angle.stc_id = reader.u8();
        item.angles.push_back(angle);
      }
    }
  }
  if (!read_stream_table(reader, item)) return 0;
  const uint64_t size = uint64_t{length} + 2;
  if (size > reader.size()) return 0;
  return size;
}

bool read_playlist_file(const uint8_t* bytes, size_t count, PlayListFile& playlist) {
  if (count < playlist_header_bytes) return false;
  ByteReader reader(bytes, count);
  playlist.type = reader.u32();
  playlist.version = reader.u32();
  reader.seek(playlist_address_offset);
  const uint32_t playlist_address = reader.u32();
  reader.seek(marks_address_offset);
  const uint32_t marks_address = reader.u32();
  reader.seek(extension_address_offset);
  const uint32_t extension_address = reader.u32();
  reader.seek(playback_type_offset);
  playlist.playback_type = reader.u8();
  playlist.playback_count = reader.u16();
  playlist.user_operation_mask = reader.u64();
  // The flags word's bits 15, 14, 13 and 12 become record bits 0 to 3.
  const unsigned top = reader.u16() >> 12u;
  playlist.flags = static_cast<uint8_t>(((top >> 3) & 1u) | ((top >> 1) & 2u) | ((top << 1) & 4u) |
                                        ((top << 3) & 8u));

  read_playlist_proper(reader.from(playlist_address), playlist);
  read_marks(reader.from(marks_address), playlist);
  if (extension_address != 0)
    playlist.extension_bytes = copy_extension_bytes(reader, extension_address);
  return true;
}

}  // namespace kestrel::bluray
