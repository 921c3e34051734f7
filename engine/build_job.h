// A build job: the record through which a front end hands one build to the
// engine and follows it. The worker runs on a thread of its own; the fields
// that both threads touch are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "disc/boot_catalog.h"
#include "disc/build_result.h"
#include "disc/volume_settings.h"
#include "engine/disc_map.h"
#include "platform/native_text.h"
#include "platform/temporary_file.h"

namespace kestrel {

struct SourceDescription;

// Values of BuildJob::state.
inline constexpr int32_t build_state_preparing = 0;  // scanning and laying out
inline constexpr int32_t build_state_writing = 3;
inline constexpr int32_t build_state_finished = 5;

// File-system codes.
inline constexpr int32_t fs_code_iso9660 = 1;
inline constexpr int32_t fs_code_bridge = 2;  // ISO 9660 + UDF 1.02 (DVD)
inline constexpr int32_t fs_code_bluray = 3;  // UDF 2.50 with the stereoscopic analysis
inline constexpr int32_t fs_code_udf102 = 4;
inline constexpr int32_t fs_code_udf250 = 5;

// Called from the worker with (sectors done, sectors total) after each batch.
using ProgressFn = void (*)(uint32_t done, uint32_t total);

// A 3D title: the clip numbers of its base and dependent views.
struct StereoTitle {
  uint16_t base_clip = 0;
  uint16_t dependent_clip = 0;
};

// Identifiers hold "*" and at most this many characters.
inline constexpr size_t identifier_text_limit = 22;

// The name extensions of the ISO 9660 volume a build writes unless told
// otherwise: both.
inline constexpr NameExtensions default_name_extensions{true, true};

// What a build is asked for beyond its source, label, layout and target.
struct BuildOptions {
  // The files the firmware starts; none for a plain image.
  BootSetup boot;
  // Whether the image may replace a file that has its name by the time it
  // is complete (ImageWriter::write_image).
  ExistingTarget existing_target = ExistingTarget::replace;
  // Files of equal contents are stored once (-dedupe); hard links always are.
  bool store_equal_files_once = false;
  // What the ISO 9660 volume carries beside its primary hierarchy.
  NameExtensions name_extensions = default_name_extensions;
  // The caller's description of the source folder (describe_source), from
  // which it chose the layout and the boot files: the build takes it rather
  // than listing the folder again, and so sees the disc folders the choice
  // was made from. Without one the build describes the folder itself.
  std::shared_ptr<const SourceDescription> source_description = nullptr;
};

struct BuildJob {
  std::atomic<int32_t> state{build_state_preparing};
  std::atomic<uint32_t> sectors_done{0};
  std::atomic<uint32_t> sectors_total{0};
  std::atomic<bool> cancel_requested{false};
  std::thread thread;  // not joinable when the worker ran on the caller's thread
  ProgressFn progress_fn = nullptr;

  std::string implementation_name;  // at most 22 characters
  std::string application_name;     // at most 22 characters
  int32_t fs_code = 0;
  NativeString source_folder;  // canonical, ending in a separator
  std::u16string label_text;
  NativeString output_path;
  // Whether the image may replace a file that has its name when it is
  // complete: `keep` unless the user agreed to replace one.
  ExistingTarget existing_target = ExistingTarget::replace;
  // Scan and lay out only: `map` is filled and nothing is written.
  bool map_only = false;
  // Files of equal contents are stored once (hard links always are).
  bool store_equal_files_once = false;
  // The files the firmware starts; none for a plain image. A bootable image
  // always carries an ISO 9660 volume: UDF 1.02 becomes the bridge, and
  // UDF 2.50 gets an ISO 9660 volume of the same tree beside it.
  BootSetup boot;
  // What the ISO 9660 volume carries beside its primary hierarchy, when the
  // image has one.
  NameExtensions name_extensions = default_name_extensions;
  // The front end's description of the source (BuildOptions), or null.
  std::shared_ptr<const SourceDescription> source_description;

  // The result, valid once `state` is build_state_finished (the store of
  // `state` publishes it). A build that did not start (bad code) stays
  // `running` with state 0.
  BuildOutcome outcome = BuildOutcome::running;
  BuildErrorInfo error;
  std::vector<BuildWarningEntry> warnings;
  // What was built, for the front ends' summary.
  uint32_t file_count = 0;
  uint32_t directory_count = 0;
  uint32_t image_sectors = 0;  // as laid out
  // What the image file took before the build ended: file contents, and
  // bytes of the image as a whole. A failed build's file is removed.
  uint64_t content_bytes = 0;
  uint64_t written_bytes = 0;
  SharedDataCounts shared;  // files stored once, and what that saved
  bool dvd_video_mode = false;
  uint32_t effective_fs_flags = 0;
  uint16_t effective_udf_revision = 0;
  // The name extensions the ISO 9660 volume carries (none without one, and
  // none in a DVD-video image), and how many names Joliet could not record
  // as the source has them.
  NameExtensions effective_name_extensions;
  uint32_t joliet_names_altered = 0;
  // The 3D titles whose two views were laid out interleaved.
  std::vector<StereoTitle> interleaved_titles;
  std::vector<BootFile> boot_files;  // in catalog order, as the image records them
  // How the image starts from a disk (a USB stick): the firmware that start
  // it so, in the order of the platforms; none without partition tables.
  std::vector<BootPlatform> disk_boot_platforms;
  MbrBootCode mbr_code;  // the MBR boot code it carries; kind none without
  // Its EFI system partition, in 512-byte blocks; 0 blocks without.
  uint64_t efi_partition_first_block = 0;
  uint64_t efi_partition_blocks = 0;
  DiscMap map;  // the areas of the image, once laid out
};

// Starts a build. The source folder is put into canonical form with a
// trailing separator. With `run_on_thread` the worker runs on a new thread
// and the job returns at once; otherwise the job is finished on return. A
// thread that the system will not start gives a job that is finished and
// failed with worker_start_failed and the system's reason.
std::unique_ptr<BuildJob> start_build(const NativeString& source_folder, std::u16string_view label,
                                      int32_t fs_code, const NativeString& output_path,
                                      const char* implementation_name, const char* application_name,
                                      bool run_on_thread, ProgressFn progress_fn = nullptr,
                                      const BuildOptions& options = BuildOptions{});

// Scans the source folder and lays the image out without writing it, on the
// caller's thread; the finished job's `map` holds the image's areas.
std::unique_ptr<BuildJob> map_build(const NativeString& source_folder, std::u16string_view label,
                                    int32_t fs_code, const BuildOptions& options = BuildOptions{});

// The worker body.
void run_build(BuildJob& job);

// Waits for a threaded worker to end.
void wait_for_build(BuildJob& job);

// The time every volume date of a build derives from: now, or the value of
// the SOURCE_DATE_EPOCH environment variable when it is set, so that the same
// tree gives the same image (reproducible builds).
int64_t build_clock();

}  // namespace kestrel
