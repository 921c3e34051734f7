// The language table: row order and identifiers, completeness of every
// translation, the English fallback, the start language, slot formatting and
// the about box's title and text.
#include "app/core/language_table.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/core/about_text.h"

namespace kestrel::app {
namespace {

using namespace std::string_view_literals;

class LanguageTableTest : public ::testing::Test {
 protected:
  void TearDown() override { set_current_language(english_row); }
};

size_t count_of(std::wstring_view text, std::wstring_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::wstring_view::npos;
       at = text.find(part, at + part.size()))
    ++count;
  return count;
}

TEST_F(LanguageTableTest, RowsInTableOrderWithTheirIdentifiers) {
  const std::uint16_t expected[language_count] = {
      0x0409, 0x0401, 0x0423, 0x0402, 0x0804, 0x0404, 0x0405, 0x040C, 0x0407, 0x040E, 0x0421,
      0x0410, 0x0411, 0x0412, 0x0415, 0x0416, 0x0418, 0x0419, 0x041B, 0x0424, 0x041F};
  for (int row = 0; row < language_count; ++row)
    EXPECT_EQ(language_row(row).langid, expected[row]) << row;
  EXPECT_EQ(language_row(0).display_name, L"English"sv);
  EXPECT_EQ(language_row(4).display_name, L"Chinese (简体中文)"sv);
  EXPECT_EQ(language_row(5).display_name, L"Chinese (繁體中文)"sv);
  EXPECT_EQ(language_row(8).display_name, L"German (Deutsch)"sv);
  EXPECT_EQ(language_row(15).display_name, L"Portuguese (Brazil)"sv);
  EXPECT_EQ(language_row(20).display_name, L"Turkish (Türkçe)"sv);
  // Rows outside the table read as English rather than past its end.
  EXPECT_EQ(language_row(-1).langid, 0x0409);
  EXPECT_EQ(language_row(language_count).langid, 0x0409);
}

TEST_F(LanguageTableTest, EnglishTextsAsTheProgramShowsThem) {
  EXPECT_EQ(language_text(slot_source_caption), L"Source:"sv);
  EXPECT_EQ(language_text(7), L"0 to 128 characters of volume label"sv);
  EXPECT_EQ(language_text(11), L"UDF 2.50 (BD/UHD)"sv);
  EXPECT_EQ(language_text(slot_menu_shell_verb), L"&Integrate into shell context menu"sv);
  EXPECT_EQ(language_text(slot_menu_about), L"&About Kestrel..."sv);
  EXPECT_EQ(language_text(slot_theme_system), L"&System"sv);
  EXPECT_EQ(language_text(slot_replace_question),
            L"'%s' already exists.\n\nDo you want to replace it?"sv);
  // The save-dialog filter: two texts, each NUL-terminated, then a second NUL.
  EXPECT_EQ(language_text(slot_save_filter),
            std::wstring_view(L"ISO files (*.iso)\0*.iso\0\0", 25));
  EXPECT_NE(language_text(slot_about_text).find(L"Translator: null"), std::wstring_view::npos);
}

TEST_F(LanguageTableTest, EveryTranslationFillsItsSlotsAndKeepsTheLayoutNames) {
  std::set<std::wstring_view> names;
  for (int row = 1; row < language_count; ++row) {
    SCOPED_TRACE(row);
    const LanguageEntry& entry = language_row(row);
    EXPECT_TRUE(names.insert(entry.display_name).second);
    for (int slot = 0; slot <= slot_about_text; ++slot) {
      if (slot >= slot_layout_first && slot < slot_layout_first + slot_layout_count) {
        EXPECT_EQ(language_text_of(row, slot), language_text_of(english_row, slot));
      } else {
        EXPECT_FALSE(entry.texts[static_cast<size_t>(slot)].empty()) << "slot " << slot;
      }
    }
    // The question takes the path once and has no other conversion.
    const std::wstring_view question = language_text_of(row, slot_replace_question);
    EXPECT_EQ(count_of(question, L"%s"), 1u);
    EXPECT_EQ(count_of(question, L"%"), 1u);
    // Filter: description NUL "*.iso" NUL NUL.
    const std::wstring_view filter = language_text_of(row, slot_save_filter);
    ASSERT_GE(filter.size(), 8u);
    EXPECT_EQ(filter.substr(filter.size() - 7), std::wstring_view(L"*.iso\0\0", 7));
    EXPECT_EQ(count_of(filter, std::wstring_view(L"\0", 1)), 3u);
    // Menu texts carry one accelerator each.
    for (int slot = slot_menu_language; slot <= slot_theme_system; ++slot) {
      EXPECT_EQ(count_of(language_text_of(row, slot), L"&"), 1u) << "slot " << slot;
    }
    // The about text ends with a translator line naming the project, never
    // the English placeholder that is cut off.
    const std::wstring_view about = language_text_of(row, slot_about_text);
    const std::wstring_view last_line = about.substr(about.rfind(L'\n') + 1);
    EXPECT_NE(last_line.find(L"Kestrel"), std::wstring_view::npos);
    EXPECT_EQ(about.find(L"null"), std::wstring_view::npos);
  }
}

TEST_F(LanguageTableTest, TranslationsTakeTheSamePlaceholdersAsEnglish) {
  // A translation that dropped or added a "%s" would lose the path or show
  // the placeholder itself.
  for (int row = 1; row < language_count; ++row) {
    for (int slot = 0; slot < slot_count; ++slot) {
      const std::wstring_view own = language_row(row).texts[static_cast<size_t>(slot)];
      if (own.empty()) continue;
      EXPECT_EQ(count_of(own, L"%s"), count_of(language_text_of(english_row, slot), L"%s"))
          << "row " << row << " slot " << slot;
      EXPECT_EQ(count_of(own, L"%"), count_of(own, L"%s")) << "row " << row << " slot " << slot;
    }
  }
}

TEST_F(LanguageTableTest, TellingTextsOfGermanAndChinese) {
  EXPECT_EQ(language_text_of(8, slot_menu_language), L"&Sprache (Language)"sv);
  EXPECT_EQ(language_text_of(8, slot_menu_about), L"&Über Kestrel ..."sv);
  EXPECT_EQ(language_text_of(8, slot_replace_question),
            L"'%s' ist bereits vorhanden.\n\nMöchten Sie diese ersetzen?"sv);
  EXPECT_EQ(language_text_of(4, slot_menu_about), L"关于 Kestrel...(&A)"sv);
}

TEST_F(LanguageTableTest, EmptySlotsShowEnglish) {
  // Indonesian leaves the layout names empty; its own texts show elsewhere.
  set_current_language(10);
  EXPECT_EQ(language_text(slot_source_caption), L"Sumber:"sv);
  EXPECT_EQ(language_text(slot_build_failed), L"Image tidak dapat dibuat."sv);
  EXPECT_EQ(language_text(slot_layout_first), L"ISO9660"sv);
  set_current_language(8);
  EXPECT_EQ(language_text(slot_build_failed), L"Das Abbild konnte nicht erstellt werden."sv);
  EXPECT_TRUE(language_text(slot_count).empty());
  EXPECT_TRUE(language_text(-1).empty());
  // An unknown row selects English.
  set_current_language(99);
  EXPECT_EQ(current_language(), english_row);
}

TEST_F(LanguageTableTest, StartLanguageFromStoredOrUserLanguage) {
  EXPECT_EQ(language_row_for(1031, 0x0409), 8);  // German
  EXPECT_EQ(language_row_for(2055, 0x0409), 8);  // German (Switzerland): same primary language
  EXPECT_EQ(language_row_for(1033, 0x0407), 0);  // English wins over the user's German
  EXPECT_EQ(language_row_for(0, 0x0409), 0);     // 0: the user's language
  EXPECT_EQ(language_row_for(0, 0x0407), 8);
  EXPECT_EQ(language_row_for(0, 0x0809), 0);               // English (United Kingdom)
  EXPECT_EQ(language_row_for(0x0804, 0x0409), 4);          // Simplified Chinese, exact
  EXPECT_EQ(language_row_for(0x0C04, 0x0409), 5);          // Hong Kong: the last Chinese row
  EXPECT_EQ(language_row_for(0x1004, 0x0409), 5);          // Singapore
  EXPECT_EQ(language_row_for(0x0816, 0x0409), 15);         // Portuguese (Portugal)
  EXPECT_EQ(language_row_for(0x0413, 0x0407), 0);          // Dutch has no row
  EXPECT_EQ(language_row_for(0x10000 | 1031, 0x0409), 8);  // only the low 16 bits count
  EXPECT_EQ(language_row_for(0x10000, 0x0419), 17);        // low bits 0: the user's Russian
}

TEST_F(LanguageTableTest, FormatPutsTheArgumentsInPlaceOfThePlaceholdersInTurn) {
  EXPECT_EQ(format_slot_text(L"'%s' exists", L"C:\\a%s%d.iso"), L"'C:\\a%s%d.iso' exists");
  EXPECT_EQ(format_slot_text(L"%d %s %s", L"x"), L"%d x %s");
  EXPECT_EQ(format_slot_text(L"no placeholder", L"x"), L"no placeholder");
  EXPECT_EQ(format_slot_text(L"%s", L""), L"");
  // An argument holding "%s" is never taken for the next placeholder.
  EXPECT_EQ(format_slot_text(L"%s and %s: %s.", {L"a%s", L"b", L"c"}), L"a%s and b: c.");
  EXPECT_EQ(format_slot_text(L"%s, %s", {L"only"}), L"only, %s");
  EXPECT_EQ(format_slot_text(L"%s", {L"one", L"two"}), L"one");
}

TEST_F(LanguageTableTest, EveryBuildResultHasItsOwnEnglishText) {
  std::set<int> slots{slot_build_failed,  slot_system_error,    slot_build_warnings,
                      slot_more_warnings, slot_path_too_long,   slot_bootable_image,
                      slot_fits_on,       slot_fits_on_nothing, slot_stored_once,
                      slot_usb_disk_boot};
  const auto own_slot = [&](int slot) {
    EXPECT_TRUE(slot >= 0 && slot < slot_count) << slot;
    return slots.insert(slot).second;
  };
  for (int code = 1; code <= static_cast<int>(BuildError::source_changed); ++code) {
    const int slot = build_error_slot(static_cast<BuildError>(code));
    EXPECT_TRUE(own_slot(slot)) << "error " << code;
    EXPECT_LE(count_of(language_text(slot), L"%s"), 1u) << "error " << code;
  }
  EXPECT_EQ(build_error_slot(BuildError::none), slot_build_failed);
  // The errors that name a path say so in their text.
  for (const BuildError error : {BuildError::source_not_found, BuildError::source_open_failed,
                                 BuildError::source_read_failed, BuildError::output_write_failed,
                                 BuildError::file_too_large}) {
    EXPECT_EQ(count_of(language_text(build_error_slot(error)), L"%s"), 1u);
  }
  // Every warning names its path; a 3D title its two clips and the reason.
  for (int code = 0; code <= static_cast<int>(BuildWarning::bluray_too_large); ++code) {
    const auto warning = static_cast<BuildWarning>(code);
    const int slot = build_warning_slot(warning);
    EXPECT_TRUE(own_slot(slot)) << "warning " << code;
    const size_t expected = warning == BuildWarning::stereo_title_not_interleaved ? 3 : 1;
    EXPECT_EQ(count_of(language_text(slot), L"%s"), expected) << "warning " << code;
  }
  for (int code = 1; code <= static_cast<int>(StereoFailure::other_title_failed); ++code) {
    const auto failure = static_cast<StereoFailure>(code);
    EXPECT_TRUE(own_slot(stereo_failure_slot(failure))) << "3D failure " << code;
  }
  // Every slot from the failed build's heading on belongs to a result text.
  EXPECT_EQ(slots.size(), static_cast<size_t>(slot_count - slot_build_failed));
}

TEST_F(LanguageTableTest, AboutBoxTitleAndText) {
  EXPECT_EQ(about_box_title(L"&About Kestrel..."), L"About Kestrel...");
  EXPECT_EQ(about_box_title(L"关于 Kestrel...(&A)"), L"关于 Kestrel...");
  EXPECT_EQ(about_box_title(L"&Über Kestrel ..."), L"Über Kestrel ...");
  EXPECT_EQ(about_box_title(L"À pr&opos de Kestrel..."), L"À propos de Kestrel...");
  for (int row = 0; row < language_count; ++row) {
    const std::wstring title = about_box_title(language_text_of(row, slot_menu_about));
    EXPECT_EQ(title.find_first_of(L"&("), std::wstring::npos) << row;
    EXPECT_NE(title.find(L"Kestrel"), std::wstring::npos) << row;
  }
  const std::wstring_view english = about_box_text(language_text_of(english_row, slot_about_text));
  EXPECT_EQ(english.find(L"Translator"), std::wstring_view::npos);
  EXPECT_FALSE(english.empty());
  const std::wstring_view german = about_box_text(language_text_of(8, slot_about_text));
  EXPECT_NE(german.find(L"Übersetzer: Kestrel-Projekt"), std::wstring_view::npos);
}

TEST(WebPages, AnAddressOpensItselfAndNoAddressTheDocumentationBesideTheProgram) {
  EXPECT_EQ(home_page_link_text("https://kestrel.test/"), L"<a>https://kestrel.test/</a>");
  EXPECT_EQ(home_page_link_text(""), L"<a>kestrel.html</a>");
  EXPECT_EQ(web_page_target(L"https://kestrel.test/issues", L"C:\\Tools\\kestrel.exe"),
            L"https://kestrel.test/issues");
  EXPECT_EQ(web_page_target(L"", L"C:\\Program Files\\Kestrel 1.5\\kestrel.exe"),
            L"C:\\Program Files\\Kestrel 1.5\\kestrel.html");
  EXPECT_EQ(web_page_target(L"", L"kestrel.exe"), L"kestrel.html");
}

}  // namespace
}  // namespace kestrel::app
