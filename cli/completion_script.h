// The bash completion of kestrel-cli, made from the switch table: the
// switches, the layout names after -fs, files after the switches that take
// a file, files inside the source folder after the boot switches, and
// folders for the source.
#pragma once

#include <string>

namespace kestrel::cli {

// A script for bash's programmable completion; sourced, it registers its
// function for kestrel-cli with `complete`.
std::string bash_completion_script();

}  // namespace kestrel::cli
