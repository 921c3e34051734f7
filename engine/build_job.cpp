// The build job and its worker: from a source folder to a finished image.
#include "engine/build_job.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <system_error>

#include "bluray/stereo_analysis.h"
#include "engine/boot_platforms.h"
#include "engine/fs_detection.h"
#include "engine/image_writer.h"
#include "engine/source_tree.h"
#include "engine/stereo_arrangement.h"
#include "udf/udf_volume.h"
#ifdef KESTREL_FAULT_INJECTION
#include "platform/fault_injection.h"
#endif

namespace kestrel {
namespace {

struct FsChoice {
  uint32_t fs_flags;
  uint16_t udf_revision;
};

bool fs_choice_for(int32_t code, FsChoice& choice) {
  switch (code) {
    case fs_code_iso9660: choice = {fs_iso9660, udf_revision_102}; return true;
    case fs_code_bridge: choice = {fs_iso9660 | fs_udf, udf_revision_102}; return true;
    case fs_code_bluray: choice = {fs_udf, udf_revision_250}; return true;
    case fs_code_udf102: choice = {fs_udf, udf_revision_102}; return true;
    case fs_code_udf250: choice = {fs_udf, udf_revision_250}; return true;
    default: return false;
  }
}

// "*" and at most 22 characters of the text, the rest zero; all zero for an
// empty text.
void set_identifier(uint8_t (&identifier)[23], const std::string& text) {
  std::memset(identifier, 0, sizeof identifier);
  if (text.empty()) return;
  identifier[0] = '*';
  std::memcpy(identifier + 1, text.data(), std::min(text.size(), identifier_text_limit));
}

bool report_progress(uint32_t done, uint32_t total, void* context) {
  auto& job = *static_cast<BuildJob*>(context);
  if (job.cancel_requested.load(std::memory_order_relaxed)) return false;
  job.sectors_total.store(total, std::memory_order_relaxed);
  job.sectors_done.store(done, std::memory_order_relaxed);
  job.state.store(build_state_writing, std::memory_order_relaxed);
  if (job.progress_fn != nullptr) job.progress_fn(done, total);
  return true;
}

void finish(BuildJob& job, ImageWriter& writer, bool done) {
  job.error = writer.report.error;
  job.warnings = writer.report.warnings;
  job.file_count = writer.tree.file_count;
  job.directory_count = writer.tree.directory_count;
  job.image_sectors = writer.layout.image_sectors;
  job.content_bytes = writer.content_bytes_written;
  job.written_bytes = writer.image_bytes_written;
  job.shared = writer.shared;
  job.dvd_video_mode = writer.tree.dvd_video_mode;
  job.effective_fs_flags = writer.settings.fs_flags;
  job.effective_udf_revision = writer.settings.udf_revision;
  if (writer.settings.fs_flags & fs_iso9660) {
    job.effective_name_extensions = writer.iso.extensions();
    job.joliet_names_altered = writer.iso.joliet_names_altered();
  }
  // The arrangement interleaves every title or none; its folder shows which.
  if (writer.tree.stereo_folder != nullptr && writer.stereo_pairs) {
    for (const bluray::StereoPair& pair : *writer.stereo_pairs)
      job.interleaved_titles.push_back(StereoTitle{pair.base_clip, pair.dependent_clip});
  }
  job.boot_files.clear();
  for (const BootImage& image : writer.boot.images) {
    job.boot_files.push_back(image.file);
    job.boot_files.back().load_sectors = image.load_sectors;
  }
  job.disk_boot_platforms.clear();
  for (const BootPlatformInfo& platform : boot_platforms()) {
    if (writer.hybrid.starts_from_disk(platform.platform))
      job.disk_boot_platforms.push_back(platform.platform);
  }
  job.mbr_code = writer.hybrid.mbr_code;
  job.efi_partition_first_block = writer.hybrid.disk.efi_first_block;
  job.efi_partition_blocks = writer.hybrid.disk.efi_blocks;
  job.map = writer.map;
  if (done && !writer.report.failed()) {
    job.outcome = BuildOutcome::succeeded;
  } else if (writer.report.error.error == BuildError::cancelled || job.cancel_requested.load()) {
    job.outcome = BuildOutcome::cancelled;
    job.error.error = BuildError::cancelled;
  } else {
    job.outcome = BuildOutcome::failed;
    if (job.error.error == BuildError::none) job.error.error = BuildError::output_write_failed;
  }
  // Publishes everything above to the thread that sees state 5.
  job.state.store(build_state_finished, std::memory_order_release);
}

// A stereoscopic movie folder gets its two views interleaved; any other
// Blu-ray folder is built as a plain UDF 2.50 image, and a 3D one whose
// titles cannot be interleaved says why.
void analyze_movie_folder(const BuildJob& job, ImageWriter& writer) {
  const NativeString& movie_folder = writer.source_description->folder(DiscFolder::bdmv);
  if (movie_folder.empty()) return;
  auto pairs = std::make_unique<bluray::StereoPairList>();
  if (bluray::analyze_stereo_disc(job.source_folder, *pairs, movie_folder)) {
    writer.stereo_pairs = std::move(pairs);
  } else {
    warn_titles_not_interleaved(writer, *pairs, movie_folder);
  }
}

void finish_without_worker(BuildJob& job, SystemError reason) {
  job.outcome = BuildOutcome::failed;
  job.error.error = BuildError::worker_start_failed;
  job.error.system_error = reason;
  job.state.store(build_state_finished, std::memory_order_release);
}

// Starts the worker on a thread of its own. The standard library reports a
// thread the system will not start by throwing; that is caught here, so the
// caller gets a failed job instead of an ended process.
void start_worker_thread(BuildJob& job) {
  try {
#ifdef KESTREL_FAULT_INJECTION
    // A refused thread, reported the way the standard library reports it.
    if (const auto fault = fault_injection::next_call(fault_injection::FileOperation::start_thread);
        fault.active) {
      throw std::system_error(fault.error, std::generic_category());
    }
#endif
    BuildJob* raw = &job;
    job.thread = std::thread([raw] { run_build(*raw); });
  } catch (const std::system_error& failure) {
    finish_without_worker(job, failure.code().value());
  }
}

}  // namespace

int64_t build_clock() {
  if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch != '\0') {
    int64_t value = 0;
    const char* end = epoch + std::strlen(epoch);
    const auto [position, error] = std::from_chars(epoch, end, value);
    if (error == std::errc() && position == end) return value;
  }
  return static_cast<int64_t>(std::time(nullptr));
}

void run_build(BuildJob& job) {
  FsChoice choice{};
  if (!fs_choice_for(job.fs_code, choice)) {
    job.error.error = BuildError::invalid_fs_code;
    return;
  }
  ImageWriter writer(build_clock());
  writer.settings.fs_flags = choice.fs_flags;
  writer.settings.udf_revision = choice.udf_revision;
  writer.settings.name_extensions = job.name_extensions;
  // A boot catalog lives in an ISO 9660 volume (El Torito).
  writer.boot_request = job.boot;
  if (job.boot.bootable()) writer.settings.fs_flags |= fs_iso9660;
  writer.tree.source_folder = job.source_folder;
  writer.tree.output_path = canonical_path(job.output_path);
  writer.cancel_requested = &job.cancel_requested;
  writer.existing_target = job.existing_target;
  writer.store_equal_files_once = job.store_equal_files_once;
  writer.source_description = job.source_description;
  if (job.fs_code == fs_code_bluray) {
    if (!writer.source_description) writer.describe_source();
    analyze_movie_folder(job, writer);
  }
  set_identifier(writer.settings.implementation_id, job.implementation_name);
  set_identifier(writer.settings.application_id, job.application_name);
  set_volume_label(writer.settings, job.label_text);

  const bool laid_out =
      scan_source(writer) &&
      writer.lay_out(job.map_only ? LayoutPurpose::map : LayoutPurpose::image) != 0;
  bool done = laid_out && job.map_only;
  if (laid_out && !job.map_only) {
    job.sectors_total.store(writer.layout.image_sectors, std::memory_order_relaxed);
    job.state.store(build_state_writing, std::memory_order_relaxed);
    done = writer.write_image(job.output_path, report_progress, &job);
  }
  finish(job, writer, done);
}

namespace {

std::unique_ptr<BuildJob> new_job(const NativeString& source_folder, std::u16string_view label,
                                  int32_t fs_code, const NativeString& output_path) {
  auto job = std::make_unique<BuildJob>();
  NativeString canonical = canonical_path(source_folder);
  if (!canonical.empty() && !is_path_separator(canonical.back())) canonical += native_separator;
  job->source_folder = canonical;
  job->label_text = label;
  job->output_path = output_path;
  job->fs_code = fs_code;
  return job;
}

void apply_options(BuildJob& job, const BuildOptions& options) {
  job.boot = options.boot;
  job.existing_target = options.existing_target;
  job.store_equal_files_once = options.store_equal_files_once;
  job.name_extensions = options.name_extensions;
  job.source_description = options.source_description;
}

}  // namespace

std::unique_ptr<BuildJob> start_build(const NativeString& source_folder, std::u16string_view label,
                                      int32_t fs_code, const NativeString& output_path,
                                      const char* implementation_name, const char* application_name,
                                      bool run_on_thread, ProgressFn progress_fn,
                                      const BuildOptions& options) {
  auto job = new_job(source_folder, label, fs_code, output_path);
  apply_options(*job, options);
  if (implementation_name != nullptr) {
    job->implementation_name = std::string(implementation_name).substr(0, identifier_text_limit);
  }
  if (application_name != nullptr) {
    job->application_name = std::string(application_name).substr(0, identifier_text_limit);
  }
  job->progress_fn = progress_fn;
  if (run_on_thread) {
    start_worker_thread(*job);
  } else {
    run_build(*job);
  }
  return job;
}

std::unique_ptr<BuildJob> map_build(const NativeString& source_folder, std::u16string_view label,
                                    int32_t fs_code, const BuildOptions& options) {
  auto job = new_job(source_folder, label, fs_code, NativeString());
  apply_options(*job, options);
  job->map_only = true;
  run_build(*job);
  return job;
}

void wait_for_build(BuildJob& job) {
  if (job.thread.joinable()) job.thread.join();
}

}  // namespace kestrel
