// Reader of a Blu-ray clip information file (BDMV/CLIPINF/xxxxx.clpi): the
// description of one stream file, among it the number of 192-byte source
// packets the stream holds and, for stereoscopic streams, the extension data
// with the start points of its extents.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bluray/extension_data.h"

namespace kestrel::bluray {

struct StcSequence {
  uint16_t pcr_pid = 0;
  uint32_t spn_stc_start = 0;
  uint32_t presentation_start_time = 0;
  uint32_t presentation_end_time = 0;
};

struct AtcSequence {
  uint32_t spn_atc_start = 0;
  uint8_t offset_stc_id = 0;
  std::vector<StcSequence> stc_sequences;
};

struct ProgramStream {
  uint16_t pid = 0;
  std::vector<uint8_t> coding_info;  // the stream coding information, raw
};

struct ClipProgram {
  uint32_t spn_program_sequence_start = 0;
  uint16_t program_map_pid = 0;
  uint8_t group_count = 0;
  std::vector<ProgramStream> streams;
};

// One stream of the entry point map of the characteristic point information.
struct EntryPointStream {
  uint16_t pid = 0;
  uint8_t stream_type = 0;
  uint16_t coarse_count = 0;
  uint32_t fine_count = 0;
  uint32_t start_address = 0;
};

struct ArrivalTimeDelta {
  uint32_t delta = 0;
  ClipName following_clip{};
  CodecId codec_id{};
};

// `ClipInfoFile::flags` bit: arrival time delta entries follow the type info.
inline constexpr uint32_t clip_flag_atc_delta = 1;

struct ClipInfoFile {
  uint32_t type = 0;
  uint32_t version = 0;
  uint8_t clip_stream_type = 0;
  uint8_t application_type = 0;
  uint32_t flags = 0;
  uint32_t recording_rate = 0;
  uint32_t source_packet_count = 0;
  uint8_t validity_flags = 0;
  uint32_t format_id = 0;
  std::array<uint8_t, 9> network_info{};
  std::array<uint8_t, 16> stream_format_name{};
  std::vector<ArrivalTimeDelta> atc_deltas;
  std::vector<ClipName> font_files;
  std::vector<AtcSequence> atc_sequences;
  std::vector<ClipProgram> programs;
  uint8_t cpi_type = 0;
  std::vector<EntryPointStream> entry_point_streams;
  bool has_clip_marks = false;
  std::vector<uint8_t> clip_mark_bytes;
  std::vector<uint8_t> extension_bytes;
};

// Reads a clip information file. No signature or address is tested; a
// section whose start address is 0 is skipped, and one that runs past the
// end of the file is left out whole. False only when the file is too short
// for its header, in which case nothing is read.
bool read_clip_info_file(const uint8_t* bytes, size_t count, ClipInfoFile& clip);

}  // namespace kestrel::bluray
