#include "cli/report.h"

#include <cstdio>

#include "cli/command_line.h"
#include "cli/messages.h"

namespace kestrel::cli {
namespace {

double megabytes(uint64_t sectors) { return static_cast<double>(sectors) * 2048.0 / 1e6; }

// A file name for the report: always valid UTF-8, even where the name on
// disk is not.
std::string name_text(NativeStringView name) {
  return utf8_from_utf16(image_name_from_native(name));
}

const char* reason_name(LayoutReason reason) {
  switch (reason) {
    case LayoutReason::chosen: return "chosen";
    case LayoutReason::bluray_folder: return "bluray_folder";
    case LayoutReason::dvd_folder: return "dvd_folder";
  }
  return "chosen";
}

const char* outcome_name(BuildOutcome outcome) {
  switch (outcome) {
    case BuildOutcome::running: return "not_started";
    case BuildOutcome::succeeded: return "succeeded";
    case BuildOutcome::failed: return "failed";
    case BuildOutcome::cancelled: return "cancelled";
  }
  return "failed";
}

const char* error_name(BuildError error) {
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

const char* warning_name(BuildWarning warning) {
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
  }
  return "unknown";
}

const char* stereo_failure_name(StereoFailure failure) {
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
  detail.text("reason", stereo_failure_name(note.reason))
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
    entry.text("code", warning_name(warning.warning))
        .text("path", name_text(warning.path))
        .text("message", describe_warning(warning));
    if (warning.warning == BuildWarning::stereo_title_not_interleaved)
      entry.raw("detail", stereo_json(warning.stereo));
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

const char* firmware_name(BootPlatform platform) {
  return platform == BootPlatform::uefi ? "UEFI" : "BIOS";
}

// The boot files and the firmware they start with; null for an image that
// does not boot.
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
  return JsonObject().raw("firmware", firmware + "]").raw("files", files + "]").done();
}

std::string layout_json(const RunRecord& record) {
  const BuildJob& job = record.job;
  JsonObject layout;
  layout.text("description", layout_description(job))
      .raw("requested",
           record.requested ? json_string(layout_name(*record.requested)) : std::string("null"))
      .text("reason", reason_name(record.decision.reason));
  const NativeString folder = deciding_folder(record);
  layout.raw("deciding_folder", folder.empty() ? "null" : json_string(name_text(folder)));
  layout.boolean("iso9660", (job.effective_fs_flags & 1) != 0);
  const bool udf = (job.effective_fs_flags & 4) != 0;
  layout.raw("udf", !udf ? "null" : job.effective_udf_revision >= 0x0250 ? "\"2.50\"" : "\"1.02\"");
  return layout.done();
}

// The name extensions of the ISO 9660 volume; null for an image without one.
std::string name_extensions_json(const BuildJob& job) {
  if ((job.effective_fs_flags & 1) == 0) return "null";
  return JsonObject()
      .boolean("joliet", job.effective_name_extensions.joliet)
      .boolean("rock_ridge", job.effective_name_extensions.rock_ridge)
      .number("joliet_names_altered", job.joliet_names_altered)
      .done();
}

std::string error_json(const BuildJob& job) {
  if (job.outcome == BuildOutcome::succeeded) return "null";
  JsonObject error;
  error.text("code", error_name(job.error.error))
      .text("path", name_text(job.error.path))
      .number("system_error", static_cast<uint64_t>(job.error.system_error))
      .text("message", describe_error(job.error));
  return error.done();
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
  if ((job.effective_fs_flags & 1) == 0) return {};
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
    const bool udf = (job.effective_fs_flags & 4) != 0;
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
  return text;
}

std::string json_report(const RunRecord& record) {
  const BuildJob& job = record.job;
  JsonObject report;
  report.text("outcome", outcome_name(job.outcome))
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
