// Reader of the Blu-ray index file (BDMV/index.bdmv): the titles of the
// disc and the flag that tells whether it holds stereoscopic (3D) content.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrel::bluray {

// A first-playback, top-menu or title object of the index table.
struct IndexObject {
  uint8_t object_type = 0;  // 1: movie object (HDMV), otherwise a Java object
  uint8_t access_type = 0;  // titles only
  uint8_t playback_type = 0;
  uint16_t object_id = 0;             // movie objects
  std::array<char, 6> object_name{};  // Java objects: five characters
};

// `IndexFile::flags` bits.
inline constexpr uint16_t index_flag_output_mode_preference = 1u << 1;
inline constexpr uint16_t index_flag_stereo_content = 1u << 2;
inline constexpr unsigned index_video_format_shift = 8;  // bits 8 to 11
inline constexpr unsigned index_frame_rate_shift = 12;   // bits 12 to 15

struct IndexFile {
  uint32_t type = 0;  // "INDX"
  uint32_t version = 0;
  uint16_t flags = 0;
  std::array<uint8_t, 32> provider_data{};
  IndexObject first_playback;
  IndexObject top_menu;
  std::vector<IndexObject> titles;
  std::vector<uint8_t> extension_bytes;

  bool stereo_content() const { return (flags & index_flag_stereo_content) != 0; }
};

// Reads an index file. False when the file is shorter than the fixed fields
// it must hold, is not an index file, or names a start address outside
// itself; the record then holds no more than its type and version. A table
// or extension block that runs past the end of the file is left out.
bool read_index_file(const uint8_t* bytes, size_t count, IndexFile& index);

}  // namespace kestrel::bluray
