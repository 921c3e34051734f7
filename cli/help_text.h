// The usage text of kestrel-cli -help, made from the switch table.
#pragma once

#include <string>

namespace kestrel::cli {

// Lines of at most 79 columns: the usage line, every switch with its
// argument, short form, summary and default, then how disc folders are
// recognised and the exit codes.
std::string usage_text();

}  // namespace kestrel::cli
