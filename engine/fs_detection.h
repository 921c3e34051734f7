// Which file system a source folder gets: the user's choice, unless the
// folder is a Blu-ray or DVD folder, whose players expect one layout.
#pragma once

#include <cstdint>

#include "platform/native_text.h"

namespace kestrel {

// The layout choices offered to the user, in the order of the main window's list.
enum class LayoutChoice : int32_t {
  iso9660 = 0,
  bridge = 1,  // ISO 9660 + UDF 1.02 (DVD)
  udf102 = 2,
  udf250 = 3,  // UDF 2.50 (BD/UHD)
};

// The file-system code for start_build: a source holding "BDMV" or "BDAV"
// becomes a Blu-ray image (code 3), one holding "VIDEO_TS" or "AUDIO_TS" a
// DVD bridge image (code 2); otherwise the choice decides.
int32_t fs_code_for(const NativeString& source_folder, LayoutChoice choice);

}  // namespace kestrel
