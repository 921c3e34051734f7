// Blu-ray clip information reader.
#include "bluray/clip_info_file.h"

#include <utility>

namespace kestrel::bluray {
namespace {

// Header: type, version and the start addresses of the sections.
constexpr size_t sequence_address_offset = 8;
// Clip info: stream type, application type, flags, recording rate, packets.
constexpr size_t clip_stream_type_offset = 46;
// Transport stream type info: validity, format identifier, network
// information and stream format name.
constexpr size_t validity_flags_offset = 190;
constexpr size_t type_info_end = 220;

constexpr uint8_t text_subtitle_application = 6;  // carries font files

constexpr size_t clip_name_chars = 5;
constexpr size_t codec_id_chars = 4;
// Least sizes of the records whose counts come from the file.
constexpr uint64_t atc_delta_bytes = 14;  // delta, clip name, codec identifier, 1 byte
constexpr uint64_t font_entry_bytes = 6;  // file name, 1 byte
constexpr uint64_t atc_sequence_minimum_bytes = 6;
constexpr uint64_t stc_sequence_bytes = 14;
constexpr uint64_t program_minimum_bytes = 8;
constexpr uint64_t program_stream_minimum_bytes = 3;
constexpr uint64_t entry_point_stream_bytes = 12;

void read_type_info_lists(ByteReader reader, ClipInfoFile& clip) {
  std::vector<ArrivalTimeDelta> deltas;
  if ((clip.flags & clip_flag_atc_delta) != 0) {
    reader.skip(1);
    const uint8_t count = reader.u8();
    if (!reader.has_records(count, atc_delta_bytes)) return;
    for (uint8_t i = 0; i < count; ++i) {
      ArrivalTimeDelta delta;
      delta.delta = reader.u32();
      reader.text(delta.following_clip.data(), clip_name_chars);
      reader.text(delta.codec_id.data(), codec_id_chars);
      reader.skip(1);
      deltas.push_back(delta);
    }
  }
  std::vector<ClipName> fonts;
  if (clip.application_type == text_subtitle_application) {
    reader.skip(1);
    const uint8_t count = reader.u8();
    if (!reader.has_records(count, font_entry_bytes)) return;
    for (uint8_t i = 0; i < count; ++i) {
      ClipName name{};
      reader.text(name.data(), clip_name_chars);
      reader.skip(1);
      fonts.push_back(name);
    }
  }
  if (reader.overrun()) return;
  clip.atc_deltas = std::move(deltas);
  clip.font_files = std::move(fonts);
}

void read_sequence_info(ByteReader reader, ClipInfoFile& clip) {
  reader.skip(5);  // length, 1 byte
  const uint8_t atc_count = reader.u8();
  if (!reader.has_records(atc_count, atc_sequence_minimum_bytes)) return;
  std::vector<AtcSequence> sequences;
  for (uint8_t i = 0; i < atc_count && !reader.overrun(); ++i) {
    AtcSequence atc;
    atc.spn_atc_start = reader.u32();
    const uint8_t stc_count = reader.u8();
    atc.offset_stc_id = reader.u8();
    if (!reader.has_records(stc_count, stc_sequence_bytes)) return;
    for (uint8_t j = 0; j < stc_count; ++j) {
      StcSequence stc;
      stc.pcr_pid = reader.u16();
      stc.spn_stc_start = reader.u32();
      stc.presentation_start_time = reader.u32();
      stc.presentation_end_time = reader.u32();
      atc.stc_sequences.push_back(stc);
    }
    sequences.push_back(std::move(atc));
  }
  if (!reader.overrun()) clip.atc_sequences = std::move(sequences);
}

void read_program_info(ByteReader reader, ClipInfoFile& clip) {
  reader.skip(5);  // length, 1 byte
  const uint8_t program_count = reader.u8();
  if (!reader.has_records(program_count, program_minimum_bytes)) return;
  std::vector<ClipProgram> programs;
  for (uint8_t i = 0; i < program_count && !reader.overrun(); ++i) {
    ClipProgram program;
    program.spn_program_sequence_start = reader.u32();
    program.program_map_pid = reader.u16();
    const uint8_t stream_count = reader.u8();
    program.group_count = reader.u8();
    if (!reader.has_records(stream_count, program_stream_minimum_bytes)) return;
    for (uint8_t j = 0; j < stream_count; ++j) {
      ProgramStream stream;
      stream.pid = reader.u16();
      const ByteReader info = reader.block(reader.u8());
      stream.coding_info.assign(info.current(), info.current() + info.size());
      program.streams.push_back(std::move(stream));
    }
    programs.push_back(std::move(program));
  }
  if (!reader.overrun()) clip.programs = std::move(programs);
}

// Characteristic point information: its type and the entry point map's
// stream table (the coarse and fine entry tables are not kept).
void read_cpi(ByteReader reader, ClipInfoFile& clip) {
  const uint32_t length = reader.u32();
  if (length == 0 || reader.overrun()) return;
  const uint8_t type = reader.u16() & 0xF;
  reader.skip(1);
  const uint8_t stream_count = reader.u8();
  if (reader.overrun() || !reader.has_records(stream_count, entry_point_stream_bytes)) return;
  std::vector<EntryPointStream> streams;
  for (uint8_t i = 0; i < stream_count; ++i) {
    // pid (16), 10 bits not used, stream type (4), coarse entries (16),
    // fine entries (18), start address (32).
    EntryPointStream stream;
    stream.pid = reader.u16();
    const uint64_t bits = reader.u64();
    stream.stream_type = static_cast<uint8_t>((bits >> 50) & 0xF);
    stream.coarse_count = static_cast<uint16_t>(bits >> 34);
    stream.fine_count = static_cast<uint32_t>((bits >> 16) & 0x3FFFF);
    stream.start_address = static_cast<uint32_t>(((bits & 0xFFFF) << 16) | reader.u16());
    streams.push_back(stream);
  }
  clip.cpi_type = type;
  clip.entry_point_streams = std::move(streams);
}

void read_clip_marks(ByteReader reader, ClipInfoFile& clip) {
  const uint32_t length = reader.u32();
  const ByteReader body = reader.block(length);
  if (!reader.overrun()) clip.clip_mark_bytes.assign(body.current(), body.current() + body.size());
}

}  // namespace

bool read_clip_info_file(const uint8_t* bytes, size_t count, ClipInfoFile& clip) {
  if (count < type_info_end) return false;
  ByteReader reader(bytes, count);
  clip.type = reader.u32();
  clip.version = reader.u32();
  reader.seek(sequence_address_offset);
  const uint32_t sequence_address = reader.u32();
  const uint32_t program_address = reader.u32();
  const uint32_t cpi_address = reader.u32();
  const uint32_t clip_mark_address = reader.u32();
  const uint32_t extension_address = reader.u32();
  clip.has_clip_marks = clip_mark_address != 0;

  reader.seek(clip_stream_type_offset);
  clip.clip_stream_type = reader.u8();
  clip.application_type = reader.u8();
  clip.flags = reader.u32();
  clip.recording_rate = reader.u32();
  clip.source_packet_count = reader.u32();
  reader.seek(validity_flags_offset);
  clip.validity_flags = reader.u8();
  clip.format_id = reader.u32();
  reader.bytes(clip.network_info.data(), clip.network_info.size());
  reader.bytes(clip.stream_format_name.data(), clip.stream_format_name.size());
  read_type_info_lists(reader.from(type_info_end), clip);

  if (sequence_address != 0) read_sequence_info(reader.from(sequence_address), clip);
  if (program_address != 0) read_program_info(reader.from(program_address), clip);
  if (cpi_address != 0) read_cpi(reader.from(cpi_address), clip);
  if (clip_mark_address != 0) read_clip_marks(reader.from(clip_mark_address), clip);
  if (extension_address != 0)
    clip.extension_bytes = copy_extension_bytes(reader, extension_address);
  return true;
}

}  // namespace kestrel::bluray
