// The interface languages of the Windows program: 21 rows of texts built
// into the program, the lookup that falls back to English, and the choice of
// the start language from a stored or the user's language identifier.
//
// Other code reads texts only through language_text(slot), with the slot
// numbers named below.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "disc/build_result.h"

namespace kestrel::app {

// ---- Slots ---------------------------------------------------------------
// Main window captions, Start button, cue banners and layout names.
inline constexpr int slot_source_caption = 0;  // "Source:"
inline constexpr int slot_target_caption = 1;  // "Target:"
inline constexpr int slot_label_caption = 2;   // "Label:"
inline constexpr int slot_layout_caption = 3;  // "File system:"
inline constexpr int slot_start = 4;           // "Start"
inline constexpr int slot_source_cue = 5;
inline constexpr int slot_target_cue = 6;
inline constexpr int slot_label_cue = 7;
inline constexpr int slot_layout_first = 8;  // 8 to 11: the four layouts (never translated)
inline constexpr int slot_layout_count = 4;
// Options menu.
inline constexpr int slot_menu_language = 12;
inline constexpr int slot_menu_shell_verb = 13;
inline constexpr int slot_menu_multiple_instances = 14;
inline constexpr int slot_menu_reveal_when_done = 15;
inline constexpr int slot_menu_close_when_done = 16;
inline constexpr int slot_menu_topmost = 17;
inline constexpr int slot_menu_translation_page = 18;
inline constexpr int slot_menu_issues_page = 19;
inline constexpr int slot_menu_command_line = 20;
inline constexpr int slot_menu_about = 21;  // also the about box title
inline constexpr int slot_menu_theme = 22;
inline constexpr int slot_theme_light = 23;
inline constexpr int slot_theme_dark = 24;
inline constexpr int slot_theme_system = 25;
// Questions, pickers and the about box.
inline constexpr int slot_replace_question = 26;  // one "%s": the full target path
inline constexpr int slot_save_filter = 27;  // "ISO files (*.iso)\0*.iso\0\0", the NULs included
inline constexpr int slot_about_text = 28;   // ends in the translator line

// Failed and completed-with-warnings builds. Texts with a "%s" take the path
// the engine reported; format them with format_slot_text. Each result code
// has a slot of its own, named below and found through build_error_slot,
// build_warning_slot and stereo_failure_slot, whose switches have no
// default: a new code does not build until it has its text.
inline constexpr int slot_build_failed = 29;  // heading of a failed build
inline constexpr int slot_error_invalid_fs_code = 30;
inline constexpr int slot_error_source_not_found = 31;
inline constexpr int slot_error_source_list_failed = 32;
inline constexpr int slot_error_source_unreadable = 33;
inline constexpr int slot_error_source_open_failed = 34;
inline constexpr int slot_error_source_read_failed = 35;
inline constexpr int slot_error_source_shrunk = 36;
inline constexpr int slot_error_output_create_failed = 37;
inline constexpr int slot_error_output_write_failed = 38;
inline constexpr int slot_error_output_rename_failed = 39;
inline constexpr int slot_error_out_of_memory = 40;
inline constexpr int slot_error_too_many_directories = 41;
inline constexpr int slot_error_file_too_large = 42;
inline constexpr int slot_error_image_too_large = 43;
inline constexpr int slot_error_layout_mismatch = 44;
inline constexpr int slot_error_cancelled = 45;
inline constexpr int slot_system_error = 46;    // "%s": the system's own message
inline constexpr int slot_build_warnings = 47;  // heading of a build with warnings
inline constexpr int slot_warning_source_grew = 48;
inline constexpr int slot_warning_name_shortened = 49;
inline constexpr int slot_warning_name_made_unique = 50;
inline constexpr int slot_warning_special_file_skipped = 51;
inline constexpr int slot_warning_broken_link_skipped = 52;
inline constexpr int slot_more_warnings = 53;  // "%s": how many more warnings
inline constexpr int slot_path_too_long = 54;  // "%s": the path that does not fit
inline constexpr int slot_error_worker_start_failed = 55;
inline constexpr int slot_warning_link_loop_skipped = 56;
inline constexpr int slot_warning_thumbnail_cache_skipped = 57;
inline constexpr int slot_warning_dvd_entry_skipped = 58;
inline constexpr int slot_warning_image_file_skipped = 59;
inline constexpr int slot_warning_stereo_folder_replaced = 60;
// A 3D title not interleaved: its two clip numbers, then the reason, one of
// the six texts after it.
inline constexpr int slot_warning_stereo_title = 61;
inline constexpr int slot_stereo_clip_info_missing = 62;  // "%s": the clip information file
inline constexpr int slot_stereo_start_points = 63;       // "%s": the clip information file
inline constexpr int slot_stereo_clip_in_two_pairs = 64;  // "%s": the stream file
inline constexpr int slot_stereo_stream_missing = 65;     // "%s": the stream file
inline constexpr int slot_stereo_stream_size = 66;        // the stream file, its sectors, stated
inline constexpr int slot_stereo_other_title_failed = 67;

inline constexpr int slot_error_boot_file_unusable = 68;
inline constexpr int slot_error_source_changed = 69;
// A bootable image was built: "%s" names the firmware ("BIOS", "UEFI" or
// "BIOS + UEFI").
inline constexpr int slot_bootable_image = 70;
inline constexpr int slot_warning_dvd_too_large = 71;
inline constexpr int slot_warning_bluray_too_large = 72;
// Every built image: its size in MB and the media it fits ("%s": the media
// named by capacity, such as "DVD 4.7 GB"), or that none holds it; then the
// number of files stored once and the MB that saved.
inline constexpr int slot_fits_on = 73;
inline constexpr int slot_fits_on_nothing = 74;
inline constexpr int slot_stored_once = 75;
// A bootable image also starts from a USB disk: "%s" names the firmware, as
// in slot_bootable_image.
inline constexpr int slot_usb_disk_boot = 76;

inline constexpr int slot_count = 77;

// ---- Table ---------------------------------------------------------------
// One language. An empty slot shows the English text of that slot.
struct LanguageEntry {
  std::uint16_t langid;            // the Windows language identifier (LANGID)
  std::wstring_view display_name;  // entry of the language menu
  std::array<std::wstring_view, slot_count> texts;
};

inline constexpr int language_count = 21;
inline constexpr int english_row = 0;

// True when a row gives a text for every slot. Every row leaves the layout
// names (slots 8 to 11) to English, which has them; each row file checks its
// row with this at compile time, so a slot added without its texts fails to
// build.
constexpr bool fills_every_slot(const LanguageEntry& row, bool with_layout_names = false) {
  for (int slot = 0; slot < slot_count; ++slot) {
    const bool layout_name =
        slot >= slot_layout_first && slot < slot_layout_first + slot_layout_count;
    if (row.texts[static_cast<size_t>(slot)].empty() && (with_layout_names || !layout_name))
      return false;
  }
  return true;
}

// Row `row` of the table (0 to 20); row 0 is English.
const LanguageEntry& language_row(int row);

// The row in use; 0 (English) until select_start_language sets it.
int current_language();
// Sets the row in use; values outside the table select English.
void set_current_language(int row);

// The text of a slot in the current language, or the English text when that
// slot is empty there. Empty for slot numbers outside the table. Slot 27
// holds embedded NULs and is returned whole.
std::wstring_view language_text(int slot);
// The same for a given row.
std::wstring_view language_text_of(int row, int slot);

// The row a language identifier selects: an exact LANGID hit other than
// English wins; otherwise the last row with the same primary language (the
// low 10 bits); otherwise English. A stored value whose low 16 bits are 0
// means "the user's language", `user_default`.
int language_row_for(std::uint32_t stored_langid, std::uint16_t user_default);

// Puts `argument` in place of the first "%s" of a slot text. Any other '%'
// stays as it is, so a translation can never make the program read
// arguments that are not there.
std::wstring format_slot_text(std::wstring_view pattern, std::wstring_view argument);
// The same for several arguments, which take the place of the first, second,
// ... "%s" in turn; a "%s" without an argument stays as it is.
std::wstring format_slot_text(std::wstring_view pattern,
                              std::initializer_list<std::wstring_view> arguments);

// Slots of the engine's result codes.
int build_error_slot(BuildError error);  // slot_build_failed for none
int build_warning_slot(BuildWarning warning);
int stereo_failure_slot(StereoFailure failure);  // slot_stereo_other_title_failed for none

}  // namespace kestrel::app
