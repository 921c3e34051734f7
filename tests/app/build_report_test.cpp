// The failed-build, warning and path-too-long texts: they come from the
// current language, name the file, and hold the system's message.
#include "app/core/build_report.h"

#include <gtest/gtest.h>

#include "app/core/language_table.h"

namespace kestrel::app {
namespace {

class BuildReportTest : public ::testing::Test {
 protected:
  void TearDown() override { set_current_language(english_row); }
};

TEST_F(BuildReportTest, FailedBuildNamesTheFileAndTheSystemMessage) {
  EXPECT_EQ(failed_build_text(BuildError::source_read_failed, L"C:\\src\\movie.m2ts",
                              L"The device is not ready."),
            L"The image could not be built.\n\nReading the file 'C:\\src\\movie.m2ts' failed.\n\n"
            L"Windows reports: The device is not ready.");
  // Without a system message there is no third paragraph; a reason without a
  // path stays as it is.
  EXPECT_EQ(failed_build_text(BuildError::out_of_memory, L"", L""),
            L"The image could not be built.\n\nThere is not enough memory for this build.");
  // A path holding "%s" or "%d" is put in as it is and never read as a pattern.
  EXPECT_EQ(failed_build_text(BuildError::source_open_failed, L"a%s%d.txt", L""),
            L"The image could not be built.\n\nThe file 'a%s%d.txt' cannot be opened.");
}

TEST_F(BuildReportTest, TextsFollowTheCurrentLanguage) {
  set_current_language(language_row_for(0x0407, 0x0409));  // German
  const std::wstring text = failed_build_text(BuildError::source_open_failed, L"D:\\x.bin", L"");
  EXPECT_EQ(text.rfind(std::wstring(language_text(slot_build_failed)), 0), 0u);
  EXPECT_NE(text.find(L"D:\\x.bin"), std::wstring::npos);
  EXPECT_NE(language_text(slot_build_failed), language_text_of(english_row, slot_build_failed));
  EXPECT_EQ(path_too_long_text(L"C:\\long"),
            format_slot_text(language_text(slot_path_too_long), L"C:\\long"));
}

TEST_F(BuildReportTest, WarningsListedUpToTheLimitThenCounted) {
  std::vector<WarningLine> warnings;
  warnings.push_back({BuildWarning::name_shortened, L"a\\very long name"});
  warnings.push_back({BuildWarning::broken_link_skipped, L"b\\link"});
  warnings.push_back({BuildWarning::special_file_skipped, L"c\\pipe"});
  EXPECT_EQ(warnings_text(warnings, 10),
            L"The image was built, with warnings:\n"
            L"\nThe name 'a\\very long name' was too long for the file system and was shortened."
            L"\nThe link 'b\\link' leads nowhere and was left out."
            L"\n'c\\pipe' is not a regular file (a pipe, socket or device) and was left out.");
  const std::wstring limited = warnings_text(warnings, 1);
  EXPECT_NE(limited.find(L"a\\very long name"), std::wstring::npos);
  EXPECT_EQ(limited.find(L"b\\link"), std::wstring::npos);
  EXPECT_NE(limited.find(L"...and 2 more."), std::wstring::npos);
}

TEST_F(BuildReportTest, RenamedEntriesGiveTheirNewNameAndFileSystem) {
  WarningLine line{BuildWarning::name_made_unique, L"a\\b.txt"};
  line.renamed = {NamingFileSystem::udf, u"b~1.txt"};
  EXPECT_EQ(warning_line_text(line),
            L"The name 'a\\b.txt' met another name in the image and was made unique."
            L" \u2192 b~1.txt (UDF)");
  line.warning = BuildWarning::name_shortened;
  line.renamed = {NamingFileSystem::joliet, u"b"};
  EXPECT_NE(warning_line_text(line).find(L" \u2192 b (Joliet)"), std::wstring::npos);
}

TEST_F(BuildReportTest, BootableImageNamesItsFirmwareBeforeItsSizeAndWarnings) {
  const BuiltImage image{1000, 0, 0};
  const std::wstring size =
      L"The image takes 2.0 MB and fits on: CD 650 MB, CD 700 MB, "
      L"DVD 4.7 GB, DVD DL 8.5 GB, BD 25 GB, BD 50 GB, BD 100 GB, BD 128 GB.";
  BuildJob job;
  job.boot_files = {{BootPlatform::uefi, KESTREL_NATIVE("efi.img"), 0, false},
                    {BootPlatform::bios, KESTREL_NATIVE("boot/eltorito.img"), 4, true}};
  // Named in the order of the engine's platforms, whatever the catalog's.
  EXPECT_EQ(finished_build_text(image, boot_summary(job), {}),
            L"The image was built and is bootable with BIOS + UEFI.\n\n" + size);
  job.boot_files.pop_back();
  const std::vector<WarningLine> warnings{{BuildWarning::broken_link_skipped, L"b\\link"}};
  EXPECT_EQ(finished_build_text(image, boot_summary(job), warnings),
            L"The image was built and is bootable with UEFI.\n\n" + size +
                L"\n\nThe image was built, with "
                L"warnings:\n\nThe link 'b\\link' leads nowhere and was left out.");
  // A plain image without warnings says its size and the media it fits.
  EXPECT_EQ(finished_build_text(image, BootSummary{}, {}), size);
  EXPECT_EQ(finished_build_text(image, BootSummary{}, warnings),
            size + L"\n\n" + warnings_text(warnings, listed_warnings));
  // Written to a USB stick: the firmware that start it from there, on a
  // line of its own.
  job.disk_boot_platforms = {BootPlatform::uefi};
  EXPECT_EQ(bootable_text(boot_summary(job)),
            L"The image was built and is bootable with UEFI.\nWritten to a USB stick, it also "
            L"starts from there with UEFI.");
  // Every language names the firmware in its own sentences.
  for (int row = 0; row < language_count; ++row) {
    set_current_language(row);
    const std::wstring text = bootable_text(BootSummary{{L"BIOS"}, {L"BIOS + UEFI"}});
    EXPECT_NE(text.find(L"BIOS"), std::wstring::npos) << row;
    EXPECT_NE(text.find(L"BIOS + UEFI"), std::wstring::npos) << row;
    EXPECT_EQ(text.find(L"%s"), std::wstring::npos) << row;
  }
}

TEST_F(BuildReportTest, TheImageNamesTheMediaItFitsByTheirLimitsInSectors) {
  // A medium holds an image of exactly its sectors, not one sector more.
  EXPECT_NE(built_image_text({333000, 0, 0}).find(L"682.0 MB and fits on: CD 650 MB, CD 700 MB"),
            std::wstring::npos);
  EXPECT_EQ(built_image_text({333001, 0, 0}).find(L"CD 650 MB"), std::wstring::npos);
  EXPECT_NE(built_image_text({333001, 0, 0}).find(L": CD 700 MB, DVD 4.7 GB"), std::wstring::npos);
  EXPECT_NE(built_image_text({4171712, 0, 0}).find(L": DVD DL 8.5 GB, BD 25 GB"),
            std::wstring::npos);
  EXPECT_NE(built_image_text({4171713, 0, 0}).find(L": BD 25 GB, BD 50 GB"), std::wstring::npos);
  EXPECT_NE(built_image_text({62500864, 0, 0}).find(L": BD 128 GB."), std::wstring::npos);
  EXPECT_EQ(built_image_text({62500865, 0, 0}),
            L"The image takes 128001.8 MB and fits on no CD, DVD or BD.");
  EXPECT_EQ(built_image_text({62500865, 3, 16100000}),
            L"The image takes 128001.8 MB and fits on no CD, DVD or BD.\n"
            L"Files stored once: 3 (16.1 MB saved).");
  for (int row = 0; row < language_count; ++row) {
    set_current_language(row);
    const std::wstring text = built_image_text({2000000, 3, 16100000});
    EXPECT_NE(text.find(L"4096.0"), std::wstring::npos) << row;
    EXPECT_NE(text.find(L"DVD 4.7 GB"), std::wstring::npos) << row;
    EXPECT_NE(text.find(L"16.1"), std::wstring::npos) << row;
    EXPECT_EQ(text.find(L"%s"), std::wstring::npos) << row;
    EXPECT_EQ(built_image_text({62500865, 0, 0}).find(L"%s"), std::wstring::npos) << row;
  }
}

TEST_F(BuildReportTest, ThreeDTitleNamesItsClipsAndWhatFailed) {
  WarningLine size{BuildWarning::stereo_title_not_interleaved, L"D:\\m\\BDMV\\STREAM\\00002.m2ts"};
  size.stereo = {StereoFailure::stream_size_mismatch, 1, 2, 2, 96, 97};
  EXPECT_EQ(warning_line_text(size),
            L"The 3D title of clips 00001 and 00002 was not interleaved: the stream file "
            L"'D:\\m\\BDMV\\STREAM\\00002.m2ts' holds 97 sectors, but its clip information "
            L"states 96.");
  WarningLine kept_back{BuildWarning::stereo_title_not_interleaved, L"D:\\m\\BDMV"};
  kept_back.stereo = {StereoFailure::other_title_failed, 3, 4, 0, 0, 0};
  EXPECT_EQ(warning_line_text(kept_back),
            L"The 3D title of clips 00003 and 00004 was not interleaved: another 3D title of the "
            L"disc cannot be interleaved, and a disc interleaves all its 3D titles or none.");
  // In another language the same values fill that language's sentence.
  set_current_language(language_row_for(0x0407, 0x0409));
  const std::wstring german = warning_line_text(size);
  EXPECT_EQ(german.rfind(L"Der 3D-Titel der Clips 00001 und 00002", 0), 0u);
  EXPECT_NE(german.find(L"97 Sektoren"), std::wstring::npos);
  EXPECT_NE(german.find(L"nennt aber 96"), std::wstring::npos);
}

}  // namespace
}  // namespace kestrel::app
