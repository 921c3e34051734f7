// The manual page kestrel-cli(1), in roff for the man macros: the prose of
// a hand-written template with the synopsis and the switches made from the
// switch table.
#pragma once

#include <string>
#include <string_view>

namespace kestrel::cli {

// The SYNOPSIS lines: the program, every switch in brackets, SOURCE.
std::string manual_synopsis();

// One tagged paragraph (.TP) for each switch: its forms and argument, its
// description and its default.
std::string manual_switches();

// `page_template` with the line "[[synopsis]]" replaced by manual_synopsis()
// and the line "[[switches]]" by manual_switches().
std::string manual_page(std::string_view page_template);

}  // namespace kestrel::cli
