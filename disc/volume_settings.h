// What the image is to be: which file systems it carries, the UDF revision,
// the identifiers and the label every volume name derives from, and the time
// every volume date derives from. The worker sets them before the scan.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// The label of a volume whose user gave none: upper-case letters and an
// underscore, so that every file system records it as it is.
inline constexpr std::u16string_view default_volume_label = u"NEW_DISC";

// The extensions of an ISO 9660 volume that carry the whole names: Joliet
// (a supplementary hierarchy in UCS-2) and Rock Ridge (POSIX names and
// attributes in the system use of the primary records). A DVD-video image
// has neither, whatever is asked.
struct NameExtensions {
  bool joliet = false;
  bool rock_ridge = false;

  bool operator==(const NameExtensions&) const = default;
};

struct VolumeSettings {
  uint32_t fs_flags = 0;
  uint16_t udf_revision = udf_revision_102;
  uint8_t application_id[23] = {};     // "*" and up to 22 characters, or zeros
  uint8_t implementation_id[23] = {};  // "*" and up to 22 characters, or zeros
  // The volume label as the user gave it. Each file system records it in
  // its own character set: UDF as a d-string, the ISO 9660 primary volume
  // in 8-bit characters.
  std::u16string volume_label{default_volume_label};
  // What the ISO 9660 volume is asked to carry beside its primary hierarchy.
  NameExtensions name_extensions;
  int64_t build_time = 0;            // seconds since 1970
  uint8_t build_timestamp[12] = {};  // UDF timestamp of build_time
};

// Stores the label: the text up to its first U+0000; an empty text keeps
// the current label.
void set_volume_label(VolumeSettings& settings, std::u16string_view text);

}  // namespace kestrel
