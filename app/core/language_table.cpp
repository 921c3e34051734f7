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

std::wstring format_slot_text(std::wstring_view pattern, std::wstring_view argument) {
  const size_t at = pattern.find(L"%s");
  if (at == std::wstring_view::npos) return std::wstring(pattern);
  std::wstring text;
  text.reserve(pattern.size() + argument.size());
  text.append(pattern.substr(0, at));
  text.append(argument);
  text.append(pattern.substr(at + 2));
  return text;
}

int build_error_slot(BuildError error) {
  const int code = static_cast<int>(error);
  if (code < 1 || code > slot_build_error_count) return slot_build_failed;
  return slot_build_error_first + code - 1;
}

int build_warning_slot(BuildWarning warning) {
  const int code = static_cast<int>(warning);
  if (code < 0 || code >= slot_build_warning_count) return slot_build_warnings;
  return slot_build_warning_first + code;
}

}  // namespace kestrel::app
