// kestrel-cli's account of a build: the summary lines and the JSON report.
#include "cli/report.h"

#include <gtest/gtest.h>

namespace kestrel::cli {
namespace {

TEST(CliReport, JsonStringsAreEscapedAndAlwaysValidUtf8) {
  EXPECT_EQ(json_string("plain"), "\"plain\"");
  EXPECT_EQ(json_string("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(json_string("tab\tnew\nline\x01"), "\"tab\\u0009new\\u000aline\\u0001\"");
  EXPECT_EQ(json_string("caf\xC3\xA9 \xE2\x82\xAC"), "\"caf\xC3\xA9 \xE2\x82\xAC\"");
  // Bytes that are not UTF-8 (a POSIX file name can hold any) become U+FFFD.
  EXPECT_EQ(json_string("a\xFF\xC3.b"), "\"a\xEF\xBF\xBD\xEF\xBF\xBD.b\"");
}

// Makes `job` one that built an image with the given layout and counts.
void finish(BuildJob& job, int32_t fs_code, uint32_t fs_flags, uint16_t udf_revision,
            uint32_t files, uint32_t folders, uint32_t sectors) {
  job.fs_code = fs_code;
  job.outcome = BuildOutcome::succeeded;
  job.effective_fs_flags = fs_flags;
  job.effective_udf_revision = udf_revision;
  job.file_count = files;
  job.directory_count = folders;
  job.image_sectors = sectors;
}

struct FinishedBluray {
  BuildJob job;
  SourceDescription source;
  FinishedBluray() {
    finish(job, fs_code_bluray, 4, 0x0250, 8, 9, 736);
    source.kind = DiscKind::bluray;
    source.on_disk[static_cast<size_t>(DiscFolder::bdmv)] = KESTREL_NATIVE("BDMV");
  }
};

TEST(CliReport, SummarySaysWhyTheLayoutAndWhichTitlesWereInterleaved) {
  FinishedBluray built;
  built.job.interleaved_titles = {{1, 2}, {3, 4}};
  const LayoutDecision forced{fs_code_bluray, LayoutReason::bluray_folder};
  RunRecord record{
      built.job, KESTREL_NATIVE("out.iso"), LayoutChoice::iso9660, forced, built.source, 2.0};
  EXPECT_EQ(summary_text(record),
            "out.iso: UDF 2.50 (Blu-ray), 8 files, 9 folders, 1.5 MB in 2.0 s (0.8 MB/s)\n"
            "  layout forced by the Blu-ray folder \"BDMV\", over -fs iso9660\n"
            "  3D titles interleaved: 2 (clips 00001 + 00002, clips 00003 + 00004)\n");
  built.job.interleaved_titles.clear();
  record.requested.reset();
  const std::string none = summary_text(record);
  EXPECT_NE(none.find("forced by the Blu-ray folder \"BDMV\"\n"), std::string::npos);
  EXPECT_NE(none.find("3D titles interleaved: none\n"), std::string::npos);
}

TEST(CliReport, JsonReportCarriesTheLayoutTitlesAndWarnings) {
  FinishedBluray built;
  built.job.interleaved_titles = {{1, 2}};
  BuildWarningEntry warning{
      BuildWarning::stereo_title_not_interleaved, KESTREL_NATIVE("m/BDMV/STREAM/00005.m2ts"), {}};
  warning.stereo = {StereoFailure::stream_size_mismatch, 5, 6, 5, 96, 97};
  built.job.warnings = {warning};
  const RunRecord record{built.job,    KESTREL_NATIVE("out.iso"),
                         std::nullopt, LayoutDecision{fs_code_bluray, LayoutReason::bluray_folder},
                         built.source, 0.25};
  const std::string json = json_report(record);
  for (const char* part :
       {"\"outcome\": \"succeeded\"", "\"error\": null", "\"requested\": null",
        "\"reason\": \"bluray_folder\"", "\"deciding_folder\": \"BDMV\"", "\"udf\": \"2.50\"",
        "\"stereo_titles_interleaved\": [{\"base_clip\": 1, \"dependent_clip\": 2}]",
        "\"code\": \"stereo_title_not_interleaved\"", "\"reason\": \"stream_size_mismatch\"",
        "\"stated_sectors\": 96, \"found_sectors\": 97", "\"elapsed_seconds\": 0.250"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
}

TEST(CliReport, BootableImageSaysWhichFirmwareStartsWhichFile) {
  BuildJob job;
  finish(job, fs_code_udf102, 3, 0x0102, 4, 3, 2144);
  job.boot_files = {{BootPlatform::bios, KESTREL_NATIVE("boot/eltorito.img"), 4, true},
                    {BootPlatform::uefi, KESTREL_NATIVE("efi.img"), 8192, false}};
  const RunRecord record{job,
                         KESTREL_NATIVE("grub.iso"),
                         LayoutChoice::udf102,
                         LayoutDecision{fs_code_udf102, LayoutReason::chosen},
                         SourceDescription{},
                         1.0};
  const std::string summary = summary_text(record);
  EXPECT_NE(summary.find("; bootable with BIOS (boot/eltorito.img) and UEFI (efi.img); written as "
                         "ISO 9660 + UDF 1.02"),
            std::string::npos)
      << summary;
  const std::string json = json_report(record);
  EXPECT_NE(json.find("\"boot\": {\"firmware\": [\"BIOS\", \"UEFI\"], \"files\": [{\"firmware\": "
                      "\"BIOS\", \"path\": \"boot/eltorito.img\", \"load_sectors\": 4, "
                      "\"info_table\": true}, {\"firmware\": \"UEFI\", \"path\": \"efi.img\", "
                      "\"load_sectors\": 8192, \"info_table\": false}]}"),
            std::string::npos)
      << json;
  job.boot_files.clear();
  const RunRecord plain{job,
                        KESTREL_NATIVE("plain.iso"),
                        std::nullopt,
                        LayoutDecision{fs_code_udf102, LayoutReason::chosen},
                        SourceDescription{},
                        1.0};
  EXPECT_EQ(summary_text(plain).find("bootable"), std::string::npos);
  EXPECT_NE(json_report(plain).find("\"boot\": null"), std::string::npos);
}

TEST(CliReport, NameExtensionsAndTheNamesJolietChangedAreTold) {
  BuildJob job;
  finish(job, fs_code_bridge, 5, 0x0102, 4, 3, 2144);
  job.effective_name_extensions = NameExtensions{true, true};
  job.joliet_names_altered = 3;
  const RunRecord record{job,
                         KESTREL_NATIVE("names.iso"),
                         LayoutChoice::bridge,
                         LayoutDecision{fs_code_bridge, LayoutReason::chosen},
                         SourceDescription{},
                         1.0};
  const std::string summary = summary_text(record);
  EXPECT_NE(summary.find("\n  ISO 9660 names: Joliet and Rock Ridge\n  Joliet shortened or changed "
                         "3 names to fit its rules (Rock Ridge and UDF keep them whole)\n"),
            std::string::npos)
      << summary;
  EXPECT_NE(json_report(record).find("\"name_extensions\": {\"joliet\": true, \"rock_ridge\": "
                                     "true, \"joliet_names_altered\": 3}"),
            std::string::npos);

  // Without extensions, or with no name to change, no line about Joliet.
  job.effective_name_extensions = NameExtensions{};
  job.joliet_names_altered = 0;
  EXPECT_NE(summary_text(record).find("  ISO 9660 names: 8.3 only\n"), std::string::npos);
  EXPECT_EQ(summary_text(record).find("Joliet"), std::string::npos);
  // No ISO 9660 volume: nothing to tell, and null in the report.
  finish(job, fs_code_udf250, 4, 0x0250, 4, 3, 2144);
  EXPECT_EQ(summary_text(record).find("ISO 9660 names"), std::string::npos);
  EXPECT_NE(json_report(record).find("\"name_extensions\": null"), std::string::npos);
}

}  // namespace
}  // namespace kestrel::cli
