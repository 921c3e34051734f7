// kestrel-cli's account of a build: the summary lines and the JSON report.
#include "cli/report.h"

#include "cli/messages.h"

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
            "  fits on: CD 650 MB, CD 700 MB, DVD 4.7 GB, DVD DL 8.5 GB, BD 25 GB, BD 50 GB, "
            "BD 100 GB, BD 128 GB\n"
            "  3D titles interleaved: 2 (clips 00001 + 00002, clips 00003 + 00004)\n"
            "  warnings: none\n");
  built.job.interleaved_titles.clear();
  record.requested.reset();
  const std::string none = summary_text(record);
  EXPECT_NE(none.find("forced by the Blu-ray folder \"BDMV\"\n"), std::string::npos);
  EXPECT_NE(none.find("3D titles interleaved: none\n"), std::string::npos);
}

// No -fs: the summary and the report both call the layout the default; an
// -fs that names the same layout is a choice.
TEST(CliReport, DefaultLayoutIsCalledSoInTheSummaryAndTheReport) {
  BuildJob job;
  finish(job, fs_code_udf250, 4, 0x0250, 1, 0, 352);
  RunRecord record{job,
                   KESTREL_NATIVE("d.iso"),
                   std::nullopt,
                   LayoutDecision{fs_code_udf250, LayoutReason::chosen},
                   SourceDescription{},
                   1.0};
  EXPECT_NE(summary_text(record).find("  layout: the default, -fs udf250\n"), std::string::npos);
  EXPECT_NE(json_report(record).find("\"requested\": null, \"reason\": \"default\""),
            std::string::npos)
      << json_report(record);
  record.requested = LayoutChoice::udf250;
  EXPECT_NE(summary_text(record).find("  layout as chosen with -fs udf250\n"), std::string::npos);
  EXPECT_NE(json_report(record).find("\"requested\": \"udf250\", \"reason\": \"chosen\""),
            std::string::npos)
      << json_report(record);
}

// A renamed entry says where it is, what it became and in which file
// system; the summary ends with the number of warnings.
TEST(CliReport, RenamedNamesGiveTheirNewNameAndFileSystem) {
  BuildJob job;
  finish(job, fs_code_udf102, 4, 0x0102, 2, 0, 320);
  BuildWarningEntry shortened{BuildWarning::name_shortened, KESTREL_NATIVE("/src/long.txt"), {}};
  shortened.renamed = {NamingFileSystem::udf, u"lo\u00E9.txt"};
  BuildWarningEntry unique{BuildWarning::name_made_unique, KESTREL_NATIVE("/src/a\"b"), {}};
  unique.renamed = {NamingFileSystem::joliet, u"a~1"};
  job.warnings = {shortened, unique};
  const RunRecord record{job,
                         KESTREL_NATIVE("r.iso"),
                         LayoutChoice::udf102,
                         LayoutDecision{fs_code_udf102, LayoutReason::chosen},
                         SourceDescription{},
                         1.0};
  EXPECT_EQ(describe_warning(shortened),
            "The name \"/src/long.txt\" is too long for UDF and was shortened to "
            "\"lo\xC3\xA9.txt\".");
  EXPECT_EQ(describe_warning(unique),
            "The name \"/src/a\"b\" met another name in Joliet and was made unique as \"a~1\".");
  const std::string json = json_report(record);
  for (const char* part : {"\"code\": \"name_shortened\", \"path\": \"/src/long.txt\"",
                           "\"file_system\": \"udf\", \"new_name\": \"lo\xC3\xA9.txt\"",
                           "\"code\": \"name_made_unique\", \"path\": \"/src/a\\\"b\"",
                           "\"file_system\": \"joliet\", \"new_name\": \"a~1\""}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
  }
  const std::string summary = summary_text(record);
  EXPECT_EQ(summary.substr(summary.rfind("  warnings")), "  warnings: 2\n");
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

TEST(CliReport, TheMediaAnImageFitsAndTheFilesStoredOnceAreCounted) {
  BuildJob job;
  finish(job, fs_code_bridge, 5, 0x0102, 7, 2, 2295104);
  job.shared = {2, 1, 11724, 24005000};
  const RunRecord record{job,
                         KESTREL_NATIVE("dvd.iso"),
                         std::nullopt,
                         LayoutDecision{fs_code_bridge, LayoutReason::chosen},
                         SourceDescription{},
                         1.0};
  const std::string summary = summary_text(record);
  EXPECT_NE(summary.find("\n  fits on: DVD 4.7 GB, DVD DL 8.5 GB, BD 25 GB, BD 50 GB, BD 100 "
                         "GB, BD 128 GB\n  stored once: 2 hard links and 1 equal file; 24.0 MB "
                         "not stored twice\n"),
            std::string::npos)
      << summary;
  const std::string json = json_report(record);
  EXPECT_NE(json.find("\"fits_on\": [\"dvd5\", \"dvd9\", \"bd25\", \"bd50\", \"bd100\", "
                      "\"bd128\"], \"stored_once\": {\"hard_links\": 2, \"equal_files\": 1, "
                      "\"saved_sectors\": 11724, \"saved_bytes\": 24005000}"),
            std::string::npos)
      << json;
  // One sector more than a dual-layer DVD: BD only; more than any BD: none.
  EXPECT_EQ(fits_on_text(4171713), "fits on: BD 25 GB, BD 50 GB, BD 100 GB, BD 128 GB");
  EXPECT_EQ(fits_on_text(62500865), "fits on no CD, DVD or BD");
  job.image_sectors = 62500865;
  job.shared = {};
  EXPECT_NE(json_report(record).find("\"fits_on\": [], \"stored_once\": {\"hard_links\": 0"),
            std::string::npos);
  EXPECT_EQ(summary_text(record).find("stored once"), std::string::npos);
  // A build that failed before its layout has no size to fit.
  job.image_sectors = 0;
  EXPECT_NE(json_report(record).find("\"fits_on\": null"), std::string::npos);
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
                      "\"load_sectors\": 8192, \"info_table\": false}], \"disk\": null}"),
            std::string::npos)
      << json;
  EXPECT_NE(summary.find("\n  does not start from a USB disk: no UEFI boot image, and no MBR boot "
                         "code (-boot-hybrid-mbr FILE)\n"),
            std::string::npos)
      << summary;

  // From a USB disk: the firmware, the MBR boot code and where it was found,
  // and the EFI system partition.
  job.disk_boot_platforms = {BootPlatform::bios, BootPlatform::uefi};
  job.mbr_code = MbrBootCode{MbrCodeKind::grub, KESTREL_NATIVE("boot/grub/boot_hybrid.img"), true};
  job.efi_partition_first_block = 1112;
  job.efi_partition_blocks = 13;
  const std::string usb = summary_text(record);
  EXPECT_NE(usb.find("\n  starts from a USB disk with BIOS (GRUB's MBR boot code "
                     "boot/grub/boot_hybrid.img, found in the source) and UEFI (EFI system "
                     "partition efi.img)\n"),
            std::string::npos)
      << usb;
  EXPECT_NE(json_report(record).find(
                "\"disk\": {\"firmware\": [\"BIOS\", \"UEFI\"], \"mbr_code\": {\"path\": "
                "\"boot/grub/boot_hybrid.img\", \"loader\": \"GRUB\", \"found_in_source\": true}, "
                "\"efi_system_partition\": {\"path\": \"efi.img\", \"first_block\": 1112, "
                "\"blocks\": 13}}"),
            std::string::npos)
      << json_report(record);
  // Without the MBR boot code the BIOS starts it from discs only; with
  // -no-hybrid no firmware starts it from a disk.
  job.disk_boot_platforms = {BootPlatform::uefi};
  job.mbr_code = MbrBootCode{};
  EXPECT_NE(summary_text(record).find("with UEFI (EFI system partition efi.img); not with BIOS, "
                                      "which needs the loader's MBR boot code"),
            std::string::npos);
  job.disk_boot_platforms.clear();
  job.boot.disk_tables = false;
  EXPECT_NE(summary_text(record).find("does not start from a USB disk: no partition tables "
                                      "(-no-hybrid)"),
            std::string::npos);
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
