// The rows of the language table, defined in one file per group of
// languages and put in table order by language_table.cpp.
#pragma once

#include "app/core/language_table.h"

namespace kestrel::app::language_rows {

extern const LanguageEntry english;
extern const LanguageEntry arabic;
extern const LanguageEntry belarusian;
extern const LanguageEntry bulgarian;
extern const LanguageEntry chinese_simplified;
extern const LanguageEntry chinese_traditional;
extern const LanguageEntry czech;
extern const LanguageEntry french;
extern const LanguageEntry german;
extern const LanguageEntry hungarian;
extern const LanguageEntry indonesian;
extern const LanguageEntry italian;
extern const LanguageEntry japanese;
extern const LanguageEntry korean;
extern const LanguageEntry polish;
extern const LanguageEntry portuguese_brazil;
extern const LanguageEntry romanian;
extern const LanguageEntry russian;
extern const LanguageEntry slovak;
extern const LanguageEntry slovenian;
extern const LanguageEntry turkish;

}  // namespace kestrel::app::language_rows
