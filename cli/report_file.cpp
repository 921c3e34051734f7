#include "cli/report_file.h"

#include "platform/file_system.h"

namespace kestrel::cli {
namespace {

std::string quoted(const NativeString& path) { return "\"" + display_text(path) + "\""; }

}  // namespace

ReportPathCheck check_report_path(const NativeString& report, const NativeString& image,
                                  const NativeString& source, bool replace_existing) {
  ReportPathCheck check;
  check.path = canonical_path(report);
  const auto problem = [&check](ReportPathProblem kind, std::string sentence) {
    check.problem = kind;
    check.sentence = std::move(sentence);
    return check;
  };
  if (check.path.empty())
    return problem(ReportPathProblem::not_absolute, "The report path cannot be made absolute.");
  const std::string name = quoted(check.path);
  if (same_path(check.path, image))
    return problem(ReportPathProblem::is_image,
                   "The report " + name + " would replace the image; give -json another file.");
  if (same_path(check.path, source) || path_is_inside(check.path, source))
    return problem(ReportPathProblem::inside_source,
                   "The report " + name + " lies in the source folder " + quoted(source) +
                       ", which a build does not change; give -json a file outside it.");
  if (is_directory(check.path))
    return problem(ReportPathProblem::is_folder, "The report path " + name + " is a folder.");
  if (path_exists(check.path) && !replace_existing)
    return problem(ReportPathProblem::exists,
                   "The report " + name + " already exists; use -yes to replace it.");
  return check;
}

bool write_report_file(const NativeString& path, const std::string& text, ExistingTarget existing,
                       std::string& error) {
  TemporaryFile file;
  SystemError reason = 0;
  if (!file.create(path)) {
    reason = file.last_error();
  } else if (file.file().write(text.data(), text.size()) != text.size()) {
    reason = file.file().last_error();
  } else if (file.commit(existing)) {
    return true;
  } else {
    reason = file.last_error();
  }
  if (is_file_exists_error(reason)) {
    error = "The report " + quoted(path) +
            " already exists: another program wrote it while this build ran. It was left as it "
            "is; use -yes to replace it.";
  } else {
    error =
        "The report " + quoted(path) + " cannot be written: " + describe_system_error(reason) + ".";
  }
  return false;
}

}  // namespace kestrel::cli
