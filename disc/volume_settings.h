// What the image is to be: which file systems it carries, the UDF revision,
// the identifiers and the label every volume name derives from, and the time
// every volume date derives from. The worker sets them before the scan.
#pragma once

#include <cstdint>

namespace kestrel {

// Every address and size of an image is counted in sectors of this many
// bytes; UDF logical blocks have the same size.
inline constexpr uint32_t sector_bytes = 2048;

// Sectors that `bytes` bytes take, the last one partly filled.
constexpr uint64_t sectors_for_bytes(uint64_t bytes) {
  return bytes / sector_bytes + (bytes % sector_bytes != 0 ? 1 : 0);
}

// `fs_flags` bits.
inline constexpr uint32_t fs_iso9660 = 1;
inline constexpr uint32_t fs_udf = 4;

inline constexpr uint16_t udf_revision_102 = 0x0102;
inline constexpr uint16_t udf_revision_250 = 0x0250;

struct VolumeSettings {
  uint32_t fs_flags = 0;
  uint16_t udf_revision = udf_revision_102;
  uint8_t application_id[23] = {};     // "*" and up to 22 characters, or zeros
  uint8_t implementation_id[23] = {};  // "*" and up to 22 characters, or zeros
  uint8_t volume_label[128] = {};      // d-string (ECMA-167 1/7.2.12)
  int64_t build_time = 0;              // seconds since 1970
  uint8_t build_timestamp[12] = {};    // UDF timestamp of build_time
};

}  // namespace kestrel
