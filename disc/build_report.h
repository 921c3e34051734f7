// How a build went, as codes: the first error (later ones are consequences)
// and every warning, each with the path it concerns.
#pragma once

#include <utility>
#include <vector>

#include "disc/build_result.h"

namespace kestrel {

struct BuildReport {
  BuildErrorInfo error;
  std::vector<BuildWarningEntry> warnings;

  void fail(BuildError code, const NativeString& path = {}, SystemError system_error = 0) {
    if (failed()) return;
    error.error = code;
    error.path = path;
    error.system_error = system_error;
  }
  bool failed() const { return error.error != BuildError::none; }
  void warn(BuildWarning warning, NativeString path, const StereoTitleNote& stereo = {}) {
    warnings.push_back(BuildWarningEntry{warning, std::move(path), stereo, {}});
  }
  // name_shortened or name_made_unique: the entry at `path` is recorded
  // in `file_system` as `new_name`.
  void warn_renamed(BuildWarning warning, NativeString path, NamingFileSystem file_system,
                    std::u16string new_name) {
    warnings.push_back(
        BuildWarningEntry{warning, std::move(path), {}, {file_system, std::move(new_name)}});
  }
};

}  // namespace kestrel
