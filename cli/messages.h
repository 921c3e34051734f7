// Sentences for the user from the engine's result codes.
#pragma once

#include <string>

#include "disc/build_result.h"

namespace kestrel::cli {

std::string describe_error(const BuildErrorInfo& error);
std::string describe_warning(const BuildWarningEntry& warning);

}  // namespace kestrel::cli
