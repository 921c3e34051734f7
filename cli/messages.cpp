#include "cli/messages.h"

#include <cstdio>

namespace kestrel::cli {
namespace {

std::string quoted(const NativeString& path) {
  std::string text(1, '"');
  text += display_text(path);
  text += '"';
  return text;
}

std::string because(const BuildErrorInfo& error) {
  return error.system_error != 0 ? ": " + describe_system_error(error.system_error) : std::string();
}

std::string describe_stereo_failure(const StereoTitleNote& note, const std::string& path) {
  switch (note.reason) {
    case StereoFailure::clip_info_missing:
      return "the clip information " + path + " cannot be read.";
    case StereoFailure::start_points_unusable:
      return "the extent start points in " + path + " do not divide the stream into extents.";
    case StereoFailure::clip_in_two_pairs:
      return "the clip " + path + " is used twice: by two 3D titles, or for both views of one.";
    case StereoFailure::stream_missing: return "the stream file " + path + " is missing.";
    case StereoFailure::stream_size_mismatch:
      return "the stream file " + path + " holds " + std::to_string(note.found_sectors) +
             " sectors, but its clip information states " + std::to_string(note.stated_sectors) +
             ".";
    case StereoFailure::other_title_failed:
      return "another 3D title of the disc cannot be interleaved, and a disc interleaves all its "
             "3D titles or none.";
    case StereoFailure::none: break;
  }
  return "the reason is not known.";
}

// The file system in which a name was changed, and what it became.
std::string renamed_in(const RenamedEntry& renamed) {
  switch (renamed.file_system) {
    case NamingFileSystem::iso9660: return "ISO 9660";
    case NamingFileSystem::joliet: return "Joliet";
    case NamingFileSystem::udf: return "UDF";
    case NamingFileSystem::none: break;
  }
  return "the file system";
}

// `word` and the new name in quotes; nothing when the new name is not known.
std::string renamed_as(const char* word, const RenamedEntry& renamed) {
  if (renamed.new_name.empty()) return {};
  return std::string(" ") + word + " \"" + utf8_from_utf16(renamed.new_name) + "\"";
}

}  // namespace

std::string describe_error(const BuildErrorInfo& error) {
  const std::string path = quoted(error.path);
  switch (error.error) {
    case BuildError::none: return "The build did not finish.";
    case BuildError::invalid_fs_code: return "The file-system choice is not valid.";
    case BuildError::source_not_found:
      return "The source folder " + path + " cannot be opened" + because(error) + ".";
    case BuildError::source_list_failed:
      return "The folder " + path + " cannot be listed" + because(error) + ".";
    case BuildError::source_unreadable:
      return "The entry " + path + " cannot be examined" + because(error) + ".";
    case BuildError::source_open_failed:
      return "The file " + path + " cannot be opened" + because(error) + ".";
    case BuildError::source_read_failed:
      return "Reading the file " + path + " failed" + because(error) + ".";
    case BuildError::source_shrunk:
      return "The file " + path + " became shorter while the image was being built.";
    case BuildError::output_create_failed:
      return "The image file " + path + " cannot be created" + because(error) + ".";
    case BuildError::output_write_failed:
      return "Writing the image file " + path + " failed" + because(error) + ".";
    case BuildError::output_rename_failed:
      return "The finished image cannot be moved to " + path + because(error) + ".";
    case BuildError::out_of_memory: return "There is not enough memory for this build.";
    case BuildError::too_many_directories:
      return "The source holds more than 65,535 folders, more than an ISO 9660 volume can number; "
             "choose a UDF layout.";
    case BuildError::file_too_large:
      return "The file " + path + " is too large for the chosen file system.";
    case BuildError::image_too_large:
      return "The image would be larger than a disc image can address (8 TiB).";
    case BuildError::layout_mismatch:
      return "Internal error: a structure was not written where the layout placed it; the image "
             "was not kept.";
    case BuildError::cancelled: return "The build was cancelled.";
    case BuildError::worker_start_failed:
      return "The build could not be started: the system did not start its thread" +
             because(error) + ".";
    case BuildError::boot_file_unusable:
      return "The boot file " + path +
             " is not a file of the source folder, or is empty, too small for its boot "
             "information table or larger than 4 GiB.";
    case BuildError::source_changed:
      return "The file " + path + " changed while the image was being built.";
  }
  return "The build failed.";
}

std::string clip_number_text(uint16_t clip) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%05u", static_cast<unsigned>(clip));
  return digits;
}

std::string describe_warning(const BuildWarningEntry& warning) {
  const std::string path = quoted(warning.path);
  switch (warning.warning) {
    case BuildWarning::source_grew:
      return "The file " + path +
             " grew while the image was being built; its size at the start was written.";
    case BuildWarning::name_shortened:
      return "The name " + path + " is too long for " + renamed_in(warning.renamed) +
             " and was shortened" + renamed_as("to", warning.renamed) + ".";
    case BuildWarning::name_made_unique:
      return "The name " + path + " met another name in " + renamed_in(warning.renamed) +
             " and was made unique" + renamed_as("as", warning.renamed) + ".";
    case BuildWarning::broken_link_skipped:
      return "The link " + path + " leads nowhere and was left out.";
    case BuildWarning::special_file_skipped:
      return "The entry " + path +
             " is not a regular file (a pipe, socket or device) and was left out.";
    case BuildWarning::link_loop_skipped:
      return "The folder link " + path + " leads back into its own tree and was left out.";
    case BuildWarning::thumbnail_cache_skipped:
      return "The thumbnail cache " + path + " was left out.";
    case BuildWarning::dvd_entry_skipped:
      return "The entry " + path + " is not a DVD file and was left out of the DVD folder.";
    case BuildWarning::image_file_skipped:
      return "The file " + path + " is the image being built and was left out.";
    case BuildWarning::stereo_folder_replaced:
      return "The folder " + path + " was replaced by the interleaved files of the 3D titles.";
    case BuildWarning::dvd_too_large:
      return "The DVD-video image of " + path +
             " is larger than a dual-layer DVD holds; it was written, but no DVD takes it.";
    case BuildWarning::bluray_too_large:
      return "The Blu-ray image of " + path +
             " is larger than a four-layer BD-R XL (128 GB) holds; it was written, but no BD "
             "takes it.";
    case BuildWarning::stereo_title_not_interleaved:
      return "The 3D title of clips " + clip_number_text(warning.stereo.base_clip) + " and " +
             clip_number_text(warning.stereo.dependent_clip) +
             " was not interleaved: " + describe_stereo_failure(warning.stereo, path);
  }
  return "Warning about " + path + ".";
}

std::string medium_name(DiscMedium medium) {
  switch (medium) {
    case DiscMedium::cd74: return "CD 650 MB";
    case DiscMedium::cd80: return "CD 700 MB";
    case DiscMedium::dvd5: return "DVD 4.7 GB";
    case DiscMedium::dvd9: return "DVD DL 8.5 GB";
    case DiscMedium::bd25: return "BD 25 GB";
    case DiscMedium::bd50: return "BD 50 GB";
    case DiscMedium::bd100: return "BD 100 GB";
    case DiscMedium::bd128: return "BD 128 GB";
  }
  return "disc";
}

const char* medium_code(DiscMedium medium) {
  switch (medium) {
    case DiscMedium::cd74: return "cd74";
    case DiscMedium::cd80: return "cd80";
    case DiscMedium::dvd5: return "dvd5";
    case DiscMedium::dvd9: return "dvd9";
    case DiscMedium::bd25: return "bd25";
    case DiscMedium::bd50: return "bd50";
    case DiscMedium::bd100: return "bd100";
    case DiscMedium::bd128: return "bd128";
  }
  return "disc";
}

std::string stored_once_text(const SharedDataCounts& shared) {
  const auto counted = [](uint32_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
  };
  std::string text;
  if (shared.hard_links > 0) text = counted(shared.hard_links, "hard link", "hard links");
  if (shared.hard_links > 0 && shared.equal_files > 0) text += " and ";
  if (shared.equal_files > 0) text += counted(shared.equal_files, "equal file", "equal files");
  return text;
}

}  // namespace kestrel::cli
