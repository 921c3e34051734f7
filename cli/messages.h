// Sentences for the user from the engine's result codes.
#pragma once

#include <string>

#include "disc/build_result.h"

namespace kestrel::cli {

std::string describe_error(const BuildErrorInfo& error);
std::string describe_warning(const BuildWarningEntry& warning);

// A clip number as the disc names its files: five digits, "00001".
std::string clip_number_text(uint16_t clip);

}  // namespace kestrel::cli
