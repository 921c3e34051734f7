// Sentences for the user from the engine's result codes.
#pragma once

#include <string>

#include "disc/build_result.h"
#include "engine/disc_media.h"

namespace kestrel::cli {

std::string describe_error(const BuildErrorInfo& error);
std::string describe_warning(const BuildWarningEntry& warning);

// A clip number as the disc names its files: five digits, "00001".
std::string clip_number_text(uint16_t clip);

// A medium as the summary and the map name it, by its capacity as discs are
// sold ("DVD DL 8.5 GB"), and as the JSON report does ("dvd9").
std::string medium_name(DiscMedium medium);
const char* medium_code(DiscMedium medium);

// "3 hard links and 2 equal files" for the files stored once.
std::string stored_once_text(const SharedDataCounts& shared);

}  // namespace kestrel::cli
