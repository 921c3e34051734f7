// The object that carries one build: settings, identifiers, label, the source
// tree, the layout values and the sector output. Every on-disc structure is
// written through its sector emitter interface (get_sector_buffer,
// emit_sectors, emit_zero_sectors), strictly front to back.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "bluray/stereo_pair.h"
#include "engine/build_result.h"
#include "engine/sector_output.h"
#include "engine/source_node.h"
#include "platform/node_arena.h"

namespace kestrel {

inline constexpr uint32_t sector_bytes = 2048;

// `fs_flags` bits.
inline constexpr uint32_t fs_iso9660 = 1;
inline constexpr uint32_t fs_udf = 4;

inline constexpr uint16_t udf_revision_102 = 0x0102;
inline constexpr uint16_t udf_revision_250 = 0x0250;

// Every image is a whole number of these 32-sector units.
inline constexpr uint32_t image_alignment_sectors = 32;

// Sectors of the system area before the first volume descriptor (ECMA-119 6.2.1).
inline constexpr uint32_t system_area_sectors = 16;
// First ISO 9660 path table sector: after the primary descriptor and the
// terminator when only ISO 9660 is written, after the UDF anchor otherwise.
inline constexpr uint32_t iso_only_area_start = 18;
inline constexpr uint32_t bridge_area_start = 257;
// UDF 2.50: the physical partition starts here, with the metadata file entry.
inline constexpr uint32_t udf250_partition_start = 288;

// Reads the files' contents ahead of the writing (file_contents.cpp).
class ContentReader;
struct ContentReaderStop {
  void operator()(ContentReader* reader) const;
};

// Called after every batch of sectors with (sectors emitted, image sectors);
// returns false to stop the build.
using ProgressHook = bool (*)(uint32_t done, uint32_t total, void* context);

class ImageWriter {
 public:
  // `build_time`: seconds since 1970, the time every volume date derives from.
  explicit ImageWriter(int64_t build_time);
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Settings, set by the worker before the scan.
  uint32_t fs_flags = 0;
  uint32_t sector_size = sector_bytes;
  uint16_t udf_revision = udf_revision_102;
  uint8_t application_id[23] = {};     // "*" and up to 22 characters, or zeros
  uint8_t implementation_id[23] = {};  // "*" and up to 22 characters, or zeros
  uint8_t volume_label[128] = {};      // d-string (ECMA-167 1/7.2.12)
  int64_t build_time = 0;
  uint8_t build_timestamp[12] = {};              // UDF timestamp of build_time
  std::unique_ptr<StereoPairList> stereo_pairs;  // only after a successful analysis
  // The build job's cancel flag, when there is a job: the scan looks at it
  // before each entry, so that a cancel during a long scan ends the build at
  // once instead of after the scan (the write sees it through the hook).
  const std::atomic<bool>* cancel_requested = nullptr;
  bool cancel_seen() const {
    return cancel_requested != nullptr && cancel_requested->load(std::memory_order_relaxed);
  }

  // The source tree, filled by the scan.
  NativeString source_folder;  // canonical, ending in a separator
  // The image being built, when it lies inside the source folder: the scan
  // leaves it (and its temporary file) out, so an image never holds itself.
  NativeString output_path;
  SourceNode* root = nullptr;
  uint32_t directory_count = 0;  // root excluded
  uint32_t file_count = 0;
  NodeArena* arena = nullptr;
  bool dvd_video_mode = false;
  uint32_t extra_icb_sectors = 0;
  SourceNode* stereo_folder = nullptr;

  // Layout values, valid after lay_out().
  uint32_t image_sectors = 0;
  uint32_t data_sectors = 0;
  uint32_t iso_area_start = 0;
  uint32_t path_table_bytes = 0;
  uint32_t path_table_sectors = 0;
  uint32_t iso_dir_sectors = 0;
  uint32_t data_start = 0;  // first data sector, counted from data_base
  uint32_t data_base = 0;   // ISO only: iso_area_start; with UDF: the partition start
  uint32_t partition_length = 0;
  uint32_t metadata_blocks = 0;
  uint32_t mirror_entry_sector = 0;
  uint32_t mirror_data_sector = 0;

  // Output state during write_image().
  uint64_t emitted_sectors = 0;
  bool write_failed = false;  // latched: once a batch fails the build has failed

  // How the build went. The first error is kept; later ones are consequences.
  BuildErrorInfo error;
  std::vector<BuildWarningEntry> warnings;
  void fail(BuildError code, const NativeString& path = {}, SystemError system_error = 0);
  bool failed() const { return error.error != BuildError::none; }
  void warn(BuildWarning warning, NativeString path);

  // Runs the layout passes; returns image_sectors (0 when the layout failed).
  uint32_t lay_out();

  // Writes the image to `output_path`. The image is first written beside the
  // target under a temporary name and moved over the target only when it is
  // complete, so a failed build never leaves a truncated image, nor destroys
  // an earlier one.
  bool write_image(const NativeString& path, ProgressHook hook, void* context);

  // The name under which the image is written until it is complete.
  static NativeString temporary_path_for(const NativeString& path) {
    return path + KESTREL_NATIVE(".kestrel-part");
  }

  // Emits the whole image into `sink`.
  bool write_sequence(SectorOutput& sink, ProgressHook hook, void* context);

  // Sector emitter interface. The buffer is zero-filled and valid until the
  // next call; it grows when more sectors are asked for and never shrinks.
  uint8_t* get_sector_buffer(uint32_t count);
  bool emit_sectors(const uint8_t* buffer, uint32_t count);
  bool emit_zero_sectors(uint64_t count);
  // Checks that the next sector emitted is `sector`, the place the layout gave
  // the structure about to be written; a mismatch fails the build.
  bool expect_position(uint64_t sector);
  // Emits zero sectors up to (not including) `sector`; a position already
  // past it fails the build.
  bool pad_to(uint64_t sector);

  // Absolute sector of a file's data.
  uint64_t file_data_sector(const SourceNode& node) const {
    return static_cast<uint64_t>(data_base) + data_start + node.data_offset;
  }

  // First sector of the data area.
  uint64_t file_data_sector_start() const { return static_cast<uint64_t>(data_base) + data_start; }

  // Number of bytes of file content copied so far (for the front ends' summary).
  uint64_t content_bytes_copied = 0;

 private:
  bool write_iso_only();
  bool write_udf102();
  bool write_udf250();
  // Starts reading the files' contents, so that they are read while the
  // structures in front of them are written; false when memory is short.
  bool start_reading_contents();
  bool write_file_contents();
  bool emit_raw(const uint8_t* buffer, uint64_t count);

  BulkBuffer buffer_;
  uint32_t buffer_sectors_ = 0;
  SectorOutput* sink_ = nullptr;
  ProgressHook hook_ = nullptr;
  void* hook_context_ = nullptr;
  std::unique_ptr<ContentReader, ContentReaderStop> content_reader_;
};

}  // namespace kestrel
