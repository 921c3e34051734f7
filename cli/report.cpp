#include "cli/report.h"

#include <algorithm>
#include <cstdio>

#include "cli/command_line.h"
#include "cli/messages.h"
#include "engine/boot_platforms.h"

namespace kestrel::cli {
namespace {

double megabytes(uint64_t sectors) { return static_cast<double>(sectors) * 2048.0 / 1e6; }

// A file name for the report: always valid UTF-8, even where the name on
// disk is not.
std::string name_text(NativeStringView name) {
  return utf8_from_utf16(image_name_from_native(name));
}

}  // namespace

// "default" for a layout that no -fs chose, as the summary says.
const char* layout_reason_code(LayoutReason reason, bool requested) {
  switch (reason) {
    case LayoutReason::chosen: return requested ? "chosen" : "default";
    case LayoutReason::bluray_folder: return "bluray_folder";
    case LayoutReason::dvd_folder: return "dvd_folder";
  }
  return "unknown";
}

const char* outcome_code(BuildOutcome outcome) {
  switch (outcome) {
    case BuildOutcome::running: return "not_started";
    case BuildOutcome::succeeded: return "succeeded";
    case BuildOutcome::failed: return "failed";
    case BuildOutcome::cancelled: return "cancelled";
  }
  return "unknown";
}

const char* error_code(BuildError error) {
  switch (error) {
    case BuildError::none: return "none";
    case BuildError::invalid_fs_code: return "invalid_fs_code";
    case BuildError::source_not_found: return "source_not_found";
    case BuildError::source_list_failed: return "source_list_failed";
    case BuildError::source_unreadable: return "source_unreadable";
    case BuildError::source_open_failed: return "source_open_failed";
    case BuildError::source_read_failed: return "source_read_failed";
    case BuildError::source_shrunk: return "source_shrunk";
    case BuildError::output_create_failed: return "output_create_failed";
    case BuildError::output_write_failed: return "output_write_failed";
    case BuildError::output_rename_failed: return "output_rename_failed";
    case BuildError::out_of_memory: return "out_of_memory";
    case BuildError::too_many_directories: return "too_many_directories";
    case BuildError::file_too_large: return "file_too_large";
    case BuildError::image_too_large: return "image_too_large";
    case BuildError::layout_mismatch: return "layout_mismatch";
    case BuildError::cancelled: return "cancelled";
    case BuildError::worker_start_failed: return "worker_start_failed";
    case BuildError::boot_file_unusable: return "boot_file_unusable";
    case BuildError::source_changed: return "source_changed";
  }
  return "unknown";
}

const char* warning_code(BuildWarning warning) {
  switch (warning) {
    case BuildWarning::source_grew: return "source_grew";
    case BuildWarning::name_shortened: return "name_shortened";
    case BuildWarning::name_made_unique: return "name_made_unique";
    case BuildWarning::special_file_skipped: return "special_file_skipped";
    case BuildWarning::broken_link_skipped: return "broken_link_skipped";
    case BuildWarning::link_loop_skipped: return "link_loop_skipped";
    case BuildWarning::thumbnail_cache_skipped: return "thumbnail_cache_skipped";
    case BuildWarning::dvd_entry_skipped: return "dvd_entry_skipped";
    case BuildWarning::image_file_skipped: return "image_file_skipped";
    case BuildWarning::stereo_folder_replaced: return "stereo_folder_replaced";
    case BuildWarning::stereo_title_not_interleaved: return "stereo_title_not_interleaved";
    case BuildWarning::dvd_too_large: return "dvd_too_large";
    case BuildWarning::bluray_too_large: return "bluray_too_large";
  }
  return "unknown";
}

const char* stereo_failure_code(StereoFailure failure) {
  switch (failure) {
    case StereoFailure::none: return "none";
    case StereoFailure::clip_info_missing: return "clip_info_missing";
    case StereoFailure::start_points_unusable: return "start_points_unusable";
    case StereoFailure::clip_in_two_pairs: return "clip_in_two_pairs";
    case StereoFailure::stream_missing: return "stream_missing";
    case StereoFailure::stream_size_mismatch: return "stream_size_mismatch";
    case StereoFailure::other_title_failed: return "other_title_failed";
  }
  return "unknown";
}

const char* file_system_code(NamingFileSystem file_system) {
  switch (file_system) {
    case NamingFileSystem::none: return "none";
    case NamingFileSystem::iso9660: return "iso9660";
    case NamingFileSystem::joliet: return "joliet";
    case NamingFileSystem::udf: return "udf";
  }
  return "unknown";
}

namespace {

// The folder that forced the layout, as found on disk; empty when the
// layout was chosen.
NativeString deciding_folder(const RunRecord& record) {
  if (record.decision.reason == LayoutReason::chosen) return {};
  return record.source.folder(record.source.deciding_folder);
}

// Builds one JSON object, member by member, in the order given.
class JsonObject {
 public:
  JsonObject& text(std::string_view key, std::string_view value) {
    return raw(key, json_string(value));
  }
  JsonObject& number(std::string_view key, uint64_t value) {
    return raw(key, std::to_string(value));
  }
  JsonObject& boolean(std::string_view key, bool value) {
    return raw(key, value ? "true" : "false");
  }
  JsonObject& raw(std::string_view key, std::string_view json) {
    body_ += body_.empty() ? "{" : ", ";
    body_ += json_string(key);
    body_ += ": ";
    body_ += json;
    return *this;
  }
  std::string done() const { return body_.empty() ? "{}" : body_ + "}"; }

 private:
  std::string body_;
};

std::string stereo_json(const StereoTitleNote& note) {
  JsonObject detail;
  detail.text("reason", stereo_failure_code(note.reason))
      .number("base_clip", note.base_clip)
      .number("dependent_clip", note.dependent_clip);
  if (note.reason != StereoFailure::other_title_failed)
    detail.number("faulty_clip", note.faulty_clip);
  if (note.reason == StereoFailure::stream_size_mismatch) {
    detail.number("stated_sectors", note.stated_sectors)
        .number("found_sectors", note.found_sectors);
  }
  return detail.done();
}

std::string warnings_json(const BuildJob& job) {
  std::string list = "[";
  for (const BuildWarningEntry& warning : job.warnings) {
    if (list.size() > 1) list += ",\n    ";
    JsonObject entry;
    entry.text("code", warning_code(warning.warning))
        .text("path", name_text(warning.path))
        .text("message", describe_warning(warning));
    if (warning.warning == BuildWarning::stereo_title_not_interleaved)
      entry.raw("detail", stereo_json(warning.stereo));
    if (warning.warning == BuildWarning::name_shortened ||
        warning.warning == BuildWarning::name_made_unique) {
      entry.text("file_system", file_system_code(warning.renamed.file_system))
          .text("new_name", utf8_from_utf16(warning.renamed.new_name));
    }
    list += entry.done();
  }
  return list + "]";
}

std::string titles_json(const BuildJob& job) {
  std::string list = "[";
  for (const StereoTitle& title : job.interleaved_titles) {
    if (list.size() > 1) list += ", ";
    list += JsonObject()
                .number("base_clip", title.base_clip)
                .number("dependent_clip", title.dependent_clip)
                .done();
  }
  return list + "]";
}

std::string_view firmware_name(BootPlatform platform) { return boot_platform_info(platform).name; }

// The MBR boot code as the reports name its file: as given, or inside the
// source ('/'-separated).
std::string mbr_code_json(const MbrBootCode& code) {
  if (!code.present()) return "null";
  return JsonObject()
      .text("path", name_text(code.path))
      .text("loader", mbr_code_loader(code.kind).loader_name)
      .boolean("found_in_source", code.in_source)
      .done();
}

const BootFile* boot_file_for(const BuildJob& job, BootPlatform platform) {
  for (const BootFile& file : job.boot_files) {
    if (file.platform == platform) return &file;
  }
  return nullptr;
}

// How the image starts from a disk; null without partition tables.
std::string disk_json(const BuildJob& job) {
  if (job.disk_boot_platforms.empty()) return "null";
  std::string firmware = "[";
  for (const BootPlatform platform : job.disk_boot_platforms) {
    if (firmware.size() > 1) firmware += ", ";
    firmware += json_string(firmware_name(platform));
  }
  std::string efi = "null";
  if (job.efi_partition_blocks != 0) {
    const BootFile* file = boot_file_for(job, BootPlatform::uefi);
    efi = JsonObject()
              .text("path", file != nullptr ? name_text(file->path) : std::string())
              .number("first_block", job.efi_partition_first_block)
              .number("blocks", job.efi_partition_blocks)
              .done();
  }
  return JsonObject()
      .raw("firmware", firmware + "]")
      .raw("mbr_code", mbr_code_json(job.mbr_code))
      .raw("efi_system_partition", efi)
      .done();
}

// The boot files and the firmware they start with, and how the image starts
// from a disk; null for an image that does not boot.
std::string boot_json(const BuildJob& job) {
  if (job.boot_files.empty()) return "null";
  std::string firmware = "[";
  std::string files = "[";
  for (const BootFile& file : job.boot_files) {
    if (firmware.size() > 1) firmware += ", ";
    firmware += json_string(firmware_name(file.platform));
    if (files.size() > 1) files += ", ";
    files += JsonObject()
                 .text("firmware", firmware_name(file.platform))
                 .text("path", name_text(file.path))
                 .number("load_sectors", file.load_sectors)
                 .boolean("info_table", file.info_table)
                 .done();
  }
  return JsonObject()
      .raw("firmware", firmware + "]")
      .raw("files", files + "]")
      .raw("disk", disk_json(job))
      .done();
}

std::string layout_json(const RunRecord& record) {
  const BuildJob& job = record.job;
  JsonObject layout;
  layout.text("description", layout_description(job))
      .raw("requested",
           record.requested ? json_string(layout_name(*record.requested)) : std::string("null"))
      .text("reason", layout_reason_code(record.decision.reason, record.requested.has_value()));
  const NativeString folder = deciding_folder(record);
  layout.raw("deciding_folder", folder.empty() ? "null" : json_string(name_text(folder)));
  layout.boolean("iso9660", (job.effective_fs_flags & 1) != 0);
  const bool udf = (job.effective_fs_flags & 4) != 0;
  layout.raw("udf", !udf ? "null" : job.effective_udf_revision >= 0x0250 ? "\"2.50\"" : "\"1.02\"");
  return layout.done();
}

// The name extensions of the ISO 9660 volume; null for an image without one.
std::string name_extensions_json(const BuildJob& job) {
  if ((job.effective_fs_flags & fs_iso9660) == 0) return "null";
  return JsonObject()
      .boolean("joliet", job.effective_name_extensions.joliet)
      .boolean("rock_ridge", job.effective_name_extensions.rock_ridge)
      .number("joliet_names_altered", job.joliet_names_altered)
      .done();
}

std::string error_json(const BuildJob& job) {
  if (job.outcome == BuildOutcome::succeeded) return "null";
  JsonObject error;
  error.text("code", error_code(job.error.error))
      .text("path", name_text(job.error.path))
      .number("system_error", static_cast<uint64_t>(job.error.system_error))
      .text("message", describe_error(job.error));
  return error.done();
}

// The media the image fits, smallest first; null before the image was laid out.
std::string fits_on_json(const BuildJob& job) {
  if (job.image_sectors == 0) return "null";
  std::string list = "[";
  for (const DiscMedium medium : media_that_hold(job.image_sectors)) {
    if (list.size() > 1) list += ", ";
    list += json_string(medium_code(medium));
  }
  return list + "]";
}

std::string stored_once_json(const SharedDataCounts& shared) {
  return JsonObject()
      .number("hard_links", shared.hard_links)
      .number("equal_files", shared.equal_files)
      .number("saved_sectors", shared.saved_sectors)
      .number("saved_bytes", shared.saved_bytes)
      .done();
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

}  // namespace

std::string layout_description(const BuildJob& job) {
  if (job.effective_fs_flags == 1) return "ISO 9660";
  if (job.effective_fs_flags == 5 && job.effective_udf_revision >= 0x0250)
    return "UDF 2.50 + ISO 9660";
  if (job.effective_fs_flags == 5)
    return job.dvd_video_mode ? "ISO 9660 + UDF 1.02 (DVD-video)" : "ISO 9660 + UDF 1.02";
  return job.effective_udf_revision >= 0x0250
             ? (job.fs_code == fs_code_bluray ? "UDF 2.50 (Blu-ray)" : "UDF 2.50")
             : "UDF 1.02";
}

std::string boot_description(const BuildJob& job) {
  if (job.boot_files.empty()) return {};
  std::string text = "; bootable with ";
  for (size_t i = 0; i < job.boot_files.size(); ++i) {
    const BootFile& file = job.boot_files[i];
    if (i > 0) text += " and ";
    text += firmware_name(file.platform);
    text += " (" + display_text(file.path) + ")";
  }
  if (job.fs_code == fs_code_udf102)
    text += "; written as ISO 9660 + UDF 1.02, since a boot catalog needs an ISO 9660 volume";
  if (job.fs_code == fs_code_udf250)
    text += "; with an ISO 9660 volume of the same files, which holds the boot catalog";
  return text;
}

std::string name_extensions_text(const BuildJob& job) {
  if ((job.effective_fs_flags & fs_iso9660) == 0) return {};
  const NameExtensions& extensions = job.effective_name_extensions;
  std::string text = "  ISO 9660 names: ";
  if (extensions.joliet && extensions.rock_ridge) {
    text += "Joliet and Rock Ridge";
  } else if (extensions.joliet || extensions.rock_ridge) {
    text += extensions.joliet ? "Joliet" : "Rock Ridge";
  } else {
    text += job.dvd_video_mode ? "8.3 only, as DVD players read them" : "8.3 only";
  }
  text += "\n";
  if (extensions.joliet && job.joliet_names_altered > 0) {
    const bool udf = (job.effective_fs_flags & fs_udf) != 0;
    std::string whole;
    if (extensions.rock_ridge && udf) {
      whole = " (Rock Ridge and UDF keep them whole)";
    } else if (extensions.rock_ridge) {
      whole = " (Rock Ridge keeps them whole)";
    } else if (udf) {
      whole = " (UDF keeps them whole)";
    }
    text += "  Joliet shortened or changed " + std::to_string(job.joliet_names_altered) +
            (job.joliet_names_altered == 1 ? " name" : " names") + " to fit its rules" + whole +
            "\n";
  }
  return text;
}

std::string fits_on_text(uint64_t sectors) {
  const std::vector<DiscMedium> media = media_that_hold(sectors);
  if (media.empty()) return "fits on no CD, DVD or BD";
  std::string text = "fits on: ";
  for (size_t i = 0; i < media.size(); ++i) {
    if (i > 0) text += ", ";
    text += medium_name(media[i]);
  }
  return text;
}

std::string disk_boot_description(const BuildJob& job) {
  if (job.boot_files.empty()) return {};
  if (!job.boot.disk_tables)
    return "does not start from a USB disk: no partition tables (-no-hybrid)";
  if (job.disk_boot_platforms.empty()) {
    return "does not start from a USB disk: no UEFI boot image, and no MBR boot code "
           "(-boot-hybrid-mbr FILE)";
  }
  std::string text = "starts from a USB disk with ";
  for (size_t i = 0; i < job.disk_boot_platforms.size(); ++i) {
    const BootPlatformInfo& platform = boot_platform_info(job.disk_boot_platforms[i]);
    if (i > 0) text += " and ";
    text += std::string(platform.name) + " (";
    switch (platform.disk_boot) {
      case DiskBoot::mbr_boot_code:
        text += std::string(mbr_code_loader(job.mbr_code.kind).loader_name) + "'s MBR boot code " +
                display_text(job.mbr_code.path) +
                (job.mbr_code.in_source ? ", found in the source)" : ")");
        break;
      case DiskBoot::efi_system_partition: {
        const BootFile* file = boot_file_for(job, platform.platform);
        text += "EFI system partition " + (file != nullptr ? display_text(file->path) : "") + ")";
        break;
      }
    }
  }
  // A firmware that starts the image from a disc but from a disk only with
  // the loader's MBR boot code, which the image lacks.
  for (const BootFile& file : job.boot_files) {
    const BootPlatformInfo& platform = boot_platform_info(file.platform);
    if (platform.disk_boot == DiskBoot::mbr_boot_code &&
        std::find(job.disk_boot_platforms.begin(), job.disk_boot_platforms.end(), file.platform) ==
            job.disk_boot_platforms.end())
      text += "; not with " + std::string(platform.name) +
              ", which needs the loader's MBR boot code (-boot-hybrid-mbr FILE)";
  }
  return text;
}

std::string summary_text(const RunRecord& record) {
  const BuildJob& job = record.job;
  const double size = megabytes(job.image_sectors);
  char line[160];
  std::snprintf(line, sizeof line, ": %s, %u files, %u folders, %.1f MB in %.1f s (%.1f MB/s)\n",
                layout_description(job).c_str(), job.file_count, job.directory_count, size,
                record.seconds, record.seconds > 0 ? size / record.seconds : 0.0);
  std::string text = display_text(record.output) + line;
  if (!job.boot_files.empty()) text.insert(text.size() - 1, boot_description(job));
  const std::string asked =
      record.requested ? std::string("-fs ") + layout_name(*record.requested) : std::string();
  switch (record.decision.reason) {
    case LayoutReason::chosen:
      text += record.requested ? "  layout as chosen with " + asked + "\n"
                               : std::string("  layout: the default, -fs udf250\n");
      break;
    case LayoutReason::bluray_folder:
    case LayoutReason::dvd_folder:
      text += std::string("  layout forced by the ") +
              (record.decision.reason == LayoutReason::dvd_folder ? "DVD" : "Blu-ray") +
              " folder \"" + display_text(deciding_folder(record)) + "\"" +
              (record.requested ? ", over " + asked : std::string()) + "\n";
      break;
  }
  text += name_extensions_text(job);
  if (!job.boot_files.empty()) text += "  " + disk_boot_description(job) + "\n";
  text += "  " + fits_on_text(job.image_sectors) + "\n";
  if (job.shared.hard_links + job.shared.equal_files > 0) {
    std::snprintf(line, sizeof line, "; %.1f MB not stored twice\n",
                  static_cast<double>(job.shared.saved_bytes) / 1e6);
    text += "  stored once: " + stored_once_text(job.shared) + line;
  }
  if (job.fs_code == fs_code_bluray) {
    if (job.interleaved_titles.empty()) {
      text += "  3D titles interleaved: none\n";
    } else {
      text += "  3D titles interleaved: " + std::to_string(job.interleaved_titles.size()) + " (";
      for (size_t i = 0; i < job.interleaved_titles.size(); ++i) {
        if (i > 0) text += ", ";
        text += "clips " + clip_number_text(job.interleaved_titles[i].base_clip) + " + " +
                clip_number_text(job.interleaved_titles[i].dependent_clip);
      }
      text += ")\n";
    }
  }
  // Last, so that a script or a person reading only the end sees whether
  // anything was left out or renamed.
  text += job.warnings.empty() ? std::string("  warnings: none\n")
                               : "  warnings: " + std::to_string(job.warnings.size()) + "\n";
  return text;
}

std::string json_report(const RunRecord& record) {
  const BuildJob& job = record.job;
  JsonObject report;
  report.text("outcome", outcome_code(job.outcome))
      .raw("error", error_json(job))
      .text("source", name_text(job.source_folder))
      .text("image", name_text(record.output))
      .raw("layout", layout_json(record))
      .boolean("dvd_video_mode", job.dvd_video_mode)
      .number("files", job.file_count)
      .number("folders", job.directory_count)
      .number("content_bytes", job.content_bytes)
      .number("sectors", job.image_sectors)
      .number("image_bytes", static_cast<uint64_t>(job.image_sectors) * 2048)
      .number("written_bytes", job.written_bytes)
      .raw("fits_on", fits_on_json(job))
      .raw("stored_once", stored_once_json(job.shared))
      .raw("stereo_titles_interleaved", titles_json(job))
      .raw("boot", boot_json(job))
      .raw("name_extensions", name_extensions_json(job))
      .raw("warnings", warnings_json(job))
      .raw("elapsed_seconds", seconds_text(record.seconds));
  return report.done() + "\n";
}

std::string json_string(std::string_view text) {
  // Invalid UTF-8 (a POSIX name in a message) becomes U+FFFD first.
  const std::string valid = utf8_from_utf16(utf16_from_utf8(text));
  std::string quoted = "\"";
  for (const char c : valid) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

}  // namespace kestrel::cli
