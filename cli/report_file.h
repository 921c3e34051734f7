// The file of the JSON report (-json FILE): its path checked before the
// build, by the rules the image's path follows, and its writing after it
// through a temporary file, so that a reader never sees half a report.
#pragma once

#include <string>

#include "platform/native_text.h"
#include "platform/temporary_file.h"

namespace kestrel::cli {

enum class ReportPathProblem {
  none,
  not_absolute,   // the path cannot be made absolute
  is_image,       // the report would replace the image
  inside_source,  // the report would change the source folder
  is_folder,
  exists,  // a file has the name and -yes was not given
};

struct ReportPathCheck {
  ReportPathProblem problem = ReportPathProblem::none;
  NativeString path;     // canonical
  std::string sentence;  // for the user when there is a problem
};

// `image` and `source` are canonical.
ReportPathCheck check_report_path(const NativeString& report, const NativeString& image,
                                  const NativeString& source, bool replace_existing);

// Writes `text` to `path` through a temporary file beside it. With `keep` a
// file that took the name meanwhile stays. False, with the sentence for the
// user, when the report cannot be written.
bool write_report_file(const NativeString& path, const std::string& text, ExistingTarget existing,
                       std::string& error);

}  // namespace kestrel::cli
