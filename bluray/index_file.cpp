// Blu-ray index file reader.
#include "bluray/index_file.h"

#include "bluray/byte_reader.h"
#include "bluray/extension_data.h"

namespace kestrel::bluray {
namespace {

constexpr uint32_t index_type_indicator = 0x494E4458;  // "INDX"

// Header fields, offsets from the start of the file.
constexpr size_t type_offset = 0;
constexpr size_t index_table_address_offset = 8;
constexpr size_t extension_address_offset = 12;
constexpr size_t playback_flags_offset = 44;  // application info: output mode and 3D flags
constexpr size_t provider_data_offset = 46;
// The reader reads every byte up to the end of the provider data.
constexpr size_t index_header_bytes = provider_data_offset + 32;

// Bits of the byte at offset 44.
constexpr uint8_t output_mode_preference_bit = 0x40;
constexpr uint8_t stereo_content_bit = 0x20;

// The index table: a length, the first-playback and top-menu objects, the
// title count and the titles.
constexpr uint64_t index_object_bytes = 12;
constexpr uint8_t movie_object_type = 1;
constexpr size_t object_name_chars = 5;

IndexObject read_object(ByteReader object, bool is_title) {
  IndexObject result;
  const uint32_t head = object.u32();
  result.object_type = static_cast<uint8_t>(head >> 30);
  if (is_title) result.access_type = static_cast<uint8_t>((head >> 28) & 3);
  if (result.object_type == movie_object_type) {
    const uint32_t reference = object.u32();
    result.playback_type = static_cast<uint8_t>(reference >> 30);
    result.object_id = static_cast<uint16_t>(reference);
  } else {
    result.playback_type = static_cast<uint8_t>(object.u16() >> 14);
    object.text(result.object_name.data(), object_name_chars);
  }
  return result;
}

void read_index_table(ByteReader reader, IndexFile& index) {
  reader.skip(4);  // length
  ByteReader first_playback = reader.block(index_object_bytes);
  ByteReader top_menu = reader.block(index_object_bytes);
  const uint16_t title_count = reader.u16();
  if (reader.overrun()) return;
  index.first_playback = read_object(first_playback, false);
  index.top_menu = read_object(top_menu, false);
  if (!reader.has_records(title_count, index_object_bytes)) return;
  index.titles.reserve(title_count);
  for (uint16_t i = 0; i < title_count; ++i)
    index.titles.push_back(read_object(reader.block(index_object_bytes), true));
}

}  // namespace

bool read_index_file(const uint8_t* bytes, size_t count, IndexFile& index) {
  ByteReader reader(bytes, count);
  if (count < index_header_bytes) return false;

  reader.seek(type_offset);
  index.type = reader.u32();
  index.version = reader.u32();
  reader.seek(index_table_address_offset);
  const uint32_t table_address = reader.u32();
  reader.seek(extension_address_offset);
  const uint32_t extension_address = reader.u32();
  if (index.type != index_type_indicator || table_address >= count || extension_address >= count)
    return false;

  reader.seek(playback_flags_offset);
  const uint8_t playback_flags = reader.u8();
  const uint8_t video = reader.u8();  // video format (high 4 bits), frame rate (low 4 bits)
  uint16_t flags = 0;
  if (playback_flags & output_mode_preference_bit) flags |= index_flag_output_mode_preference;
  if (playback_flags & stereo_content_bit) flags |= index_flag_stereo_content;
  flags = static_cast<uint16_t>(flags | ((video >> 4) << index_video_format_shift) |
                                ((video & 0xF) << index_frame_rate_shift));
  index.flags = flags;
  reader.bytes(index.provider_data.data(), index.provider_data.size());

  read_index_table(reader.from(table_address), index);

  if (extension_address != 0)
    index.extension_bytes = copy_extension_bytes(reader, extension_address);
  return true;
}

}  // namespace kestrel::bluray
