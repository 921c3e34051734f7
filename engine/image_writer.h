// The object that carries one build. What the ISO 9660 and UDF code reads of
// it is its DiscImage (disc/disc_image.h): `settings` (what the image is to
// be), `tree` (the source folder as the scan read it), `layout` (the sectors
// the layout fixed) and `report` (how the build went). Besides, it holds the
// `map` of the image's areas and the output: it is the SectorEmitter
// (disc/sector_emitter.h) through which every structure is written,
// strictly front to back.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "bluray/stereo_pair.h"
#include "disc/disc_image.h"
#include "disc/sector_emitter.h"
#include "engine/disc_map.h"
#include "engine/fs_detection.h"
#include "engine/hybrid_tables.h"
#include "engine/sector_output.h"
#include "iso9660/iso_volume.h"
#include "platform/temporary_file.h"

namespace kestrel {

// Every image is a whole number of these 32-sector units.
inline constexpr uint32_t image_alignment_sectors = 32;

// Sectors of the system area before the first volume descriptor (ECMA-119 6.2.1).
inline constexpr uint32_t system_area_sectors = 16;
// The ISO 9660 path tables and directories of a bridge image start after
// the UDF anchor.
inline constexpr uint32_t bridge_area_start = 257;
// UDF 2.50: the physical partition starts here, with the metadata file entry.
inline constexpr uint32_t udf250_partition_start = 288;

// Reads the files' contents ahead of the writing (file_contents.cpp).
class ContentReader;
struct BatchNotes;
struct ContentReaderStop {
  void operator()(ContentReader* reader) const;
};

// A file of the source with more than one name (hard links), as the scan
// found it.
struct LinkedFile {
  uint64_t volume = 0;
  uint64_t index = 0;
  SourceNode* node = nullptr;
};

// Called after every batch of sectors with (sectors emitted, image sectors);
// returns false to stop the build.
using ProgressHook = bool (*)(uint32_t done, uint32_t total, void* context);

// What a layout is for: a map of the image only, or an image to be written.
enum class LayoutPurpose : uint8_t { map, image };

class ImageWriter final : public DiscImage, public SectorEmitter {
 public:
  // `build_time`: seconds since 1970, the time every volume date derives from.
  explicit ImageWriter(int64_t build_time);
  ~ImageWriter();
  ImageWriter(const ImageWriter&) = delete;
  ImageWriter& operator=(const ImageWriter&) = delete;

  // Inputs of the scan besides the settings.
  std::unique_ptr<bluray::StereoPairList> stereo_pairs;  // only after a successful analysis
  // The disc folders of the source (describe_source): the front end's,
  // else as the worker or the scan found them.
  std::shared_ptr<const SourceDescription> source_description;
  void describe_source();
  // The boot files asked for; the layout finds them in the tree (`boot`).
  // A bootable image needs the ISO 9660 flag among the settings.
  BootSetup boot_request;
  // The build job's cancel flag, when there is a job: the scan looks at it
  // before each entry, so that a cancel during a long scan ends the build at
  // once instead of after the scan (the write sees it through the hook).
  const std::atomic<bool>* cancel_requested = nullptr;
  bool cancel_seen() const {
    return cancel_requested != nullptr && cancel_requested->load(std::memory_order_relaxed);
  }

  // The ISO 9660 volume, when the image has one: its hierarchy, sizes and
  // places, laid out by lay_out().
  iso9660::IsoVolume iso;
  // Files stored once (shared_data.h). Equal files share one copy only
  // when asked (-dedupe); hard links always do. The scan notes the files
  // with more than one name, and whether the listing could tell.
  bool store_equal_files_once = false;
  std::vector<LinkedFile> linked_files;
  bool link_counts_unknown = false;
  // Set by the layout: every file whose data lies in another's copy.
  std::vector<SourceNode*> sharing_files;
  SharedDataCounts shared;

  // The areas of the image in sector order, planned by lay_out().
  DiscMap map;
  // The partition tables of a bootable image, planned by lay_out().
  HybridPlan hybrid;

  // Output state during write_image().
  uint64_t emitted_sectors = 0;
  bool write_failed = false;  // latched: once a batch fails the build has failed

  // Runs the layout passes and plans the map; returns image_sectors (0 when
  // the layout failed). For an image that is to be written the files are
  // read from the moment their places are known, while the rest of the
  // layout is done; for a map they are not read.
  uint32_t lay_out(LayoutPurpose purpose = LayoutPurpose::map);

  // Writes the image to `output_path`. The image is first written beside the
  // target into a temporary file of its own (platform/temporary_file.h) and
  // moved over the target only when it is complete, so a failed build never
  // leaves a truncated image, nor destroys an earlier one, and two builds to
  // one target leave one whole image. A target that exists when the image is
  // complete is replaced only by the rule `existing_target`; with `keep` the
  // build fails with output_rename_failed and the system's "file exists".
  bool write_image(const NativeString& path, ProgressHook hook, void* context);
  ExistingTarget existing_target = ExistingTarget::replace;

  // Emits the whole image into `sink`: every area of the map at its place,
  // zero sectors between them.
  bool write_sequence(SectorOutput& sink, ProgressHook hook, void* context);

  // Sector emitter interface. The buffer grows when more sectors are asked
  // for and never shrinks.
  uint8_t* get_sector_buffer(uint32_t count) override;
  bool emit_sectors(const uint8_t* buffer, uint32_t count) override;
  bool emit_zero_sectors(uint64_t count) override;
  uint64_t position() const override { return emitted_sectors; }
  bool expect_position(uint64_t sector) override;
  bool stopped() const override { return write_failed; }
  // Emits zero sectors up to (not including) `sector`; a position already
  // past it fails the build.
  bool pad_to(uint64_t sector);

  // Bytes of file content handed to the output so far.
  uint64_t content_bytes_copied = 0;
  // What reached the image file (not merely a buffer on the way): the file
  // contents, and the image's bytes as a whole. For a complete image the
  // whole contents and the whole image; a failed build reports these.
  uint64_t content_bytes_written = 0;
  uint64_t image_bytes_written = 0;

  // The data area: every file's contents at its data_offset. Their reading
  // starts earlier, in lay_out() or write_sequence(), so that the files are
  // read while the structures in front of them are laid out and written.
  bool write_file_contents();

 private:
  // The layout passes after the data placement: the UDF and ISO 9660
  // structures and the disc map.
  uint32_t lay_out_structures();
  // Starts reading the files' contents, so that they are read while the
  // structures in front of them are laid out and written; false when memory
  // is short.
  bool start_reading_contents();
  // Writes one batch of the data area; false, with the build failed, when
  // a file or the output fails.
  bool write_batch(uint64_t batch, BatchNotes& notes);
  bool emit_raw(const uint8_t* buffer, uint64_t count);
  // Counts as written the contents of every batch whose last byte the output
  // has written, up to `confirmed` bytes of the image.
  void settle_content_written(uint64_t confirmed);

  // A batch of file contents handed to the output: the image's byte after
  // it, and the contents handed over up to then.
  struct ContentMark {
    uint64_t end_byte;
    uint64_t content_bytes;
  };
  std::deque<ContentMark> unsettled_content_;

  BulkBuffer buffer_;
  uint32_t buffer_sectors_ = 0;
  SectorOutput* sink_ = nullptr;
  ProgressHook hook_ = nullptr;
  void* hook_context_ = nullptr;
  std::unique_ptr<ContentReader, ContentReaderStop> content_reader_;
};

}  // namespace kestrel
