// docs/report.md, read from the source tree, documents every code the
// engine can produce and every field the JSON report writes: a code or
// field added without its line there fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cli/report.h"

namespace kestrel::cli {
namespace {

std::string report_document() {
  std::ifstream file(std::string(KESTREL_DOCS_DIR) + "/report.md", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Every value of an enumeration with a 8-bit underlying type that has a
// code: the switches that name them have no default, so every enumerator
// has one, and every other value gives "unknown".
template <typename Code, typename Name>
std::set<std::string> codes_of(Name name) {
  std::set<std::string> codes;
  for (int value = 0; value <= 0xFF; ++value) {
    const std::string code = name(static_cast<Code>(value));
    if (code != "unknown") codes.insert(code);
  }
  return codes;
}

// A report with every optional part present: an error, a 3D title, boot
// files, and warnings with their extra fields.
std::string full_json_report() {
  static BuildJob job;
  job.fs_code = fs_code_bluray;
  // An ISO 9660 volume, so that the report has its name extensions.
  job.effective_fs_flags = fs_iso9660;
  job.outcome = BuildOutcome::failed;
  job.error = {BuildError::output_write_failed, 28, KESTREL_NATIVE("/out/x.iso")};
  job.interleaved_titles = {{1, 2}};
  job.boot_files = {{BootPlatform::bios, KESTREL_NATIVE("boot/x"), 4, true}};
  BuildWarningEntry stereo{BuildWarning::stereo_title_not_interleaved, KESTREL_NATIVE("s"), {}};
  stereo.stereo = {StereoFailure::stream_size_mismatch, 1, 2, 2, 3, 4};
  BuildWarningEntry renamed{BuildWarning::name_shortened, KESTREL_NATIVE("n"), {}};
  renamed.renamed = {NamingFileSystem::udf, u"m"};
  job.warnings = {stereo, renamed};
  SourceDescription source;
  source.on_disk[static_cast<size_t>(DiscFolder::bdmv)] = KESTREL_NATIVE("BDMV");
  const RunRecord record{job,
                         KESTREL_NATIVE("x.iso"),
                         LayoutChoice::udf102,
                         LayoutDecision{fs_code_bluray, LayoutReason::bluray_folder},
                         source,
                         1.0};
  return json_report(record);
}

TEST(ReportDocument, NamesEveryCodeAndField) {
  const std::string document = report_document();
  ASSERT_FALSE(document.empty()) << "docs/report.md cannot be read from " KESTREL_DOCS_DIR;
  const auto documented = [&document](const std::string& code) {
    return document.find("`" + code + "`") != std::string::npos;
  };
  std::set<std::string> codes = codes_of<BuildWarning>(warning_code);
  EXPECT_EQ(codes.size(), static_cast<size_t>(BuildWarning::bluray_too_large) + 1);
  for (const std::set<std::string>& more :
       {codes_of<BuildError>(error_code), codes_of<StereoFailure>(stereo_failure_code),
        codes_of<NamingFileSystem>(file_system_code), codes_of<BuildOutcome>(outcome_code)}) {
    codes.insert(more.begin(), more.end());
  }
  for (const LayoutReason reason :
       {LayoutReason::chosen, LayoutReason::bluray_folder, LayoutReason::dvd_folder}) {
    for (const bool requested : {false, true}) codes.insert(layout_reason_code(reason, requested));
  }
  for (const std::string& code : codes) EXPECT_TRUE(documented(code)) << code;

  const std::string json = full_json_report();
  const std::regex key("\"([a-z_0-9]+)\": ");
  size_t keys = 0;
  for (auto match = std::sregex_iterator(json.begin(), json.end(), key);
       match != std::sregex_iterator(); ++match, ++keys) {
    EXPECT_TRUE(documented((*match)[1].str())) << "field " << (*match)[1].str();
  }
  EXPECT_GT(keys, 40u) << json;
}

}  // namespace
}  // namespace kestrel::cli
