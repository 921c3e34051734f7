// The console the command-line front end runs in.
#pragma once

#include <cstdio>

namespace kestrel {

// True when the stream is an interactive terminal (progress lines are shown
// only there).
bool is_terminal(std::FILE* stream);

// Prepares the console for UTF-8 output (Windows consoles default to a
// legacy code page).
void use_utf8_console();

}  // namespace kestrel
