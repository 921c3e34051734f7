// Reader of a Blu-ray movie playlist file (BDMV/PLAYLIST/xxxxx.mpls): its
// play items (the clips it plays), sub-paths, marks and extension data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bluray/extension_data.h"

namespace kestrel::bluray {

// The kinds of the stream number table, in the order of its count bytes.
enum StreamKind : size_t {
  stream_primary_video,
  stream_primary_audio,
  stream_presentation_graphics,
  stream_interactive_graphics,
  stream_secondary_audio,
  stream_secondary_video,
  stream_picture_in_picture_graphics,
  stream_further_video,
  stream_kind_count
};

// One stream of a play item's stream number table, kept as raw bytes: its
// stream entry and attributes and, for secondary audio and video, the
// reference lists that follow them.
struct StreamRecord {
  std::vector<uint8_t> entry;
  std::vector<uint8_t> attributes;
  std::vector<uint8_t> references;         // secondary audio: audio; secondary video: audio
  std::vector<uint8_t> second_references;  // secondary video: presentation graphics
};

// One further angle of a multi-angle play item.
struct PlayItemAngle {
  ClipName clip_name{};
  CodecId codec_id{};
  uint8_t stc_id = 0;
};

struct PlayItem {
  ClipName clip_name{};
  CodecId codec_id{};
  uint8_t multi_angle = 0;
  uint8_t connection_condition = 0;
  uint8_t stc_id = 0;
  uint32_t in_time = 0;
  uint32_t out_time = 0;
  uint64_t user_operation_mask = 0;
  uint8_t random_access = 0;
  uint8_t still_mode = 0;
  uint16_t still_time = 0;
  uint8_t angle_count = 0;
  uint8_t different_audios = 0;
  uint8_t seamless_angle_change = 0;
  std::vector<PlayItemAngle> angles;  // the angles after the first
  std::array<std::vector<StreamRecord>, stream_kind_count> streams;
};

struct PlayListMark {
  uint8_t leading_byte = 0;
  uint8_t mark_type = 0;
  uint16_t play_item_ref = 0;
  uint32_t time = 0;
  uint16_t stream_id = 0;
  uint32_t duration = 0;
};

struct PlayListFile {
  uint32_t type = 0;
  uint32_t version = 0;
  uint8_t playback_type = 0;
  uint16_t playback_count = 0;
  uint64_t user_operation_mask = 0;
  uint8_t flags = 0;  // bits 0 to 3: the top four bits of the flags word at offset 56
  std::vector<PlayItem> play_items;
  std::vector<SubPath> sub_paths;
  std::vector<PlayListMark> marks;
  std::vector<uint8_t> extension_bytes;
};

// Reads a playlist file. No signature or address is tested; a section that
// runs past the end of the file (the play items with the sub-paths, the
// marks, the extension data) is left out whole. False only when the file is
// too short for its header, in which case nothing is read.
bool read_playlist_file(const uint8_t* bytes, size_t count, PlayListFile& playlist);

// Reads one play item from the start of `reader`; returns its length field
// plus 2, or 0 when it runs past the end of the bytes.
uint64_t read_play_item(ByteReader reader, PlayItem& item);

}  // namespace kestrel::bluray
