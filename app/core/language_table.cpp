#include "app/core/language_table.h"

#include "app/core/language_rows.h"

namespace kestrel::app {

namespace {

// Table order is fixed: the options menu numbers its language commands by
// row, and the stored choice is a LANGID, so reordering rows changes no
// user's setting.
const LanguageEntry* const table[language_count] = {
    &language_rows::english,
    &language_rows::arabic,
    &language_rows::belarusian,
    &language_rows::bulgarian,
    &language_rows::chinese_simplified,
    &language_rows::chinese_traditional,
    &language_rows::czech,
    &language_rows::french,
    &language_rows::german,
    &language_rows::hungarian,
    &language_rows::indonesian,
    &language_rows::italian,
    &language_rows::japanese,
    &language_rows::korean,
    &language_rows::polish,
    &language_rows::portuguese_brazil,
    &language_rows::romanian,
    &language_rows::russian,
    &language_rows::slovak,
    &language_rows::slovenian,
    &language_rows::turkish,
};

// The low 10 bits of a LANGID are the primary language; the upper 6 bits
// the sub-language (country or script).
constexpr std::uint32_t primary_language_mask = 0x3FF;

int current_row = english_row;

bool valid_row(int row) { return row >= 0 && row < language_count; }

}  // namespace

const LanguageEntry& language_row(int row) { return *table[valid_row(row) ? row : english_row]; }

int current_language() { return current_row; }

void set_current_language(int row) { current_row = valid_row(row) ? row : english_row; }

std::wstring_view language_text_of(int row, int slot) {
  if (slot < 0 || slot >= slot_count) return {};
  const std::wstring_view text = language_row(row).texts[static_cast<size_t>(slot)];
  if (!text.empty()) return text;
  return table[english_row]->texts[static_cast<size_t>(slot)];
}

std::wstring_view language_text(int slot) { return language_text_of(current_row, slot); }

int language_row_for(std::uint32_t stored_langid, std::uint16_t user_default) {
  std::uint32_t wanted = stored_langid & 0xFFFF;
  if (wanted == 0) wanted = user_default;
  int exact = -1;
  int near = -1;
  for (int row = 0; row < language_count; ++row) {
    const std::uint32_t langid = table[row]->langid;
    if (langid == wanted) exact = row;
    if ((langid & primary_language_mask) == (wanted & primary_language_mask)) near = row;
  }
  // An exact hit on row 0 falls through to the near hit, which is row 0
  // again: no other row shares English's primary language.
  if (exact > english_row) return exact;
  if (near >= 0) return near;
  return english_row;
}

std::wstring format_slot_text(std::wstring_view pattern,
                              std::initializer_list<std::wstring_view> arguments) {
  std::wstring text;
  text.reserve(pattern.size());
  size_t from = 0;
  for (const std::wstring_view argument : arguments) {
    const size_t at = pattern.find(L"%s", from);
    if (at == std::wstring_view::npos) break;
    text.append(pattern.substr(from, at - from));
    text.append(argument);
    from = at + 2;
  }
  text.append(pattern.substr(from));
  return text;
}

std::wstring format_slot_text(std::wstring_view pattern, std::wstring_view argument) {
  return format_slot_text(pattern, {argument});
}

int build_error_slot(BuildError error) {
  switch (error) {
    case BuildError::none: return slot_build_failed;
    case BuildError::invalid_fs_code: return slot_error_invalid_fs_code;
    case BuildError::source_not_found: return slot_error_source_not_found;
    case BuildError::source_list_failed: return slot_error_source_list_failed;
    case BuildError::source_unreadable: return slot_error_source_unreadable;
    case BuildError::source_open_failed: return slot_error_source_open_failed;
    case BuildError::source_read_failed: return slot_error_source_read_failed;
    case BuildError::source_shrunk: return slot_error_source_shrunk;
    case BuildError::output_create_failed: return slot_error_output_create_failed;
    case BuildError::output_write_failed: return slot_error_output_write_failed;
    case BuildError::output_rename_failed: return slot_error_output_rename_failed;
    case BuildError::out_of_memory: return slot_error_out_of_memory;
    case BuildError::too_many_directories: return slot_error_too_many_directories;
    case BuildError::file_too_large: return slot_error_file_too_large;
    case BuildError::image_too_large: return slot_error_image_too_large;
    case BuildError::layout_mismatch: return slot_error_layout_mismatch;
    case BuildError::cancelled: return slot_error_cancelled;
    case BuildError::worker_start_failed: return slot_error_worker_start_failed;
    case BuildError::boot_file_unusable: return slot_error_boot_file_unusable;
    case BuildError::source_changed: return slot_error_source_changed;
  }
  return slot_build_failed;
}

int build_warning_slot(BuildWarning warning) {
  switch (warning) {
    case BuildWarning::source_grew: return slot_warning_source_grew;
    case BuildWarning::name_shortened: return slot_warning_name_shortened;
    case BuildWarning::name_made_unique: return slot_warning_name_made_unique;
    case BuildWarning::special_file_skipped: return slot_warning_special_file_skipped;
    case BuildWarning::broken_link_skipped: return slot_warning_broken_link_skipped;
    case BuildWarning::link_loop_skipped: return slot_warning_link_loop_skipped;
    case BuildWarning::thumbnail_cache_skipped: return slot_warning_thumbnail_cache_skipped;
    case BuildWarning::dvd_entry_skipped: return slot_warning_dvd_entry_skipped;
    case BuildWarning::image_file_skipped: return slot_warning_image_file_skipped;
    case BuildWarning::stereo_folder_replaced: return slot_warning_stereo_folder_replaced;
    case BuildWarning::stereo_title_not_interleaved: return slot_warning_stereo_title;
    case BuildWarning::dvd_too_large: return slot_warning_dvd_too_large;
    case BuildWarning::bluray_too_large: return slot_warning_bluray_too_large;
  }
  return slot_build_warnings;
}

int stereo_failure_slot(StereoFailure failure) {
  switch (failure) {
    case StereoFailure::clip_info_missing: return slot_stereo_clip_info_missing;
    case StereoFailure::start_points_unusable: return slot_stereo_start_points;
    case StereoFailure::clip_in_two_pairs: return slot_stereo_clip_in_two_pairs;
    case StereoFailure::stream_missing: return slot_stereo_stream_missing;
    case StereoFailure::stream_size_mismatch: return slot_stereo_stream_size;
    case StereoFailure::none:
    case StereoFailure::other_title_failed: return slot_stereo_other_title_failed;
  }
  return slot_stereo_other_title_failed;
}

}  // namespace kestrel::app
