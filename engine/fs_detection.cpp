#include "engine/fs_detection.h"

#include "engine/build_job.h"
#include "platform/file_system.h"

namespace kestrel {

int32_t fs_code_for(const NativeString& source_folder, LayoutChoice choice) {
  int32_t code = fs_code_udf250;
  switch (choice) {
    case LayoutChoice::iso9660: code = fs_code_iso9660; break;
    case LayoutChoice::bridge: code = fs_code_bridge; break;
    case LayoutChoice::udf102: code = fs_code_udf102; break;
    case LayoutChoice::udf250: code = fs_code_udf250; break;
  }
  NativeString folder = source_folder;
  if (!folder.empty() && !is_path_separator(folder.back())) folder += native_separator;
  struct Marker {
    const NativeChar* name;
    int32_t code;
  };
  static constexpr Marker markers[] = {
      {KESTREL_NATIVE("BDMV"), fs_code_bluray},
      {KESTREL_NATIVE("BDAV"), fs_code_bluray},
      {KESTREL_NATIVE("VIDEO_TS"), fs_code_bridge},
      {KESTREL_NATIVE("AUDIO_TS"), fs_code_bridge},
  };
  for (const Marker& marker : markers) {
    if (path_exists(folder + marker.name)) return marker.code;
  }
  return code;
}

bool is_disc_folder(const NativeString& source_folder) {
  return fs_code_for(source_folder, LayoutChoice::iso9660) != fs_code_iso9660;
}

}  // namespace kestrel
