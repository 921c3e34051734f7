// Recognising folders copied from bootable discs: each loader's layout by its
// place and contents, and never a file that only has the right name.
#include <gtest/gtest.h>

#include <vector>

#include "cli/command_line.h"
#include "engine/boot_files.h"
#include "engine/boot_platforms.h"
#include "engine/fs_detection.h"
#include "support/scratch_folder.h"

namespace kestrel::test {
namespace {

// The start of GRUB's El Torito core image: call, short jump, table, code.
std::vector<uint8_t> grub_core() {
  std::vector<uint8_t> bytes(40000, 0x90);
  const uint8_t start[] = {0xE8, 0x00, 0x00, 0xEB, 0x3B};
  std::copy(std::begin(start), std::end(start), bytes.begin());
  return bytes;
}

std::vector<uint8_t> isolinux() {
  std::vector<uint8_t> bytes(38912, 0x66);
  bytes[0] = 0xFA;
  bytes[1] = 0xEA;
  const std::string name = "ISOLINUX 6.04";
  std::copy(name.begin(), name.end(), bytes.begin() + 1340);
  return bytes;
}

std::vector<uint8_t> boot_sector_file() {
  std::vector<uint8_t> bytes(4096, 0);
  const uint8_t start[] = {0xFA, 0x33, 0xC0, 0x8E, 0xD0, 0xBC, 0x00, 0x7C};
  std::copy(std::begin(start), std::end(start), bytes.begin());
  return bytes;
}

// A FAT boot sector as mformat writes it, in an image of `sectors` sectors.
std::vector<uint8_t> fat_image(size_t sectors = 64) {
  std::vector<uint8_t> bytes(sectors * 512, 0);
  const uint8_t start[] = {0xEB, 0x3C, 0x90, 'M',  'T',  'O',  'O',  '4',  '0',  '3',  '2',
                           0x00, 0x02, 0x02, 0x01, 0x00, 0x02, 0x00, 0x02, 0x00, 0x02, 0xF8};
  std::copy(std::begin(start), std::end(start), bytes.begin());
  bytes[510] = 0x55;
  bytes[511] = 0xAA;
  return bytes;
}

std::vector<uint8_t> text(const std::string& words, size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(words[i % words.size()]);
  return bytes;
}

TEST(BootRecognition, EachLoaderLayoutIsRecognisedWithItsEntries) {
  {
    ScratchFolder grub("boot-grub");
    grub.bytes_file("boot/grub/i386-pc/eltorito.img", grub_core());
    grub.bytes_file("efi.img", fat_image());
    const BootSetup setup = recognise_boot_files(grub.path(), describe_source(grub.path()));
    ASSERT_EQ(setup.files.size(), 2u);
    EXPECT_EQ(setup.files[0].platform, BootPlatform::bios);
    EXPECT_EQ(setup.files[0].path, native("boot/grub/i386-pc/eltorito.img"));
    EXPECT_EQ(setup.files[0].load_sectors, 4);
    EXPECT_TRUE(setup.files[0].info_table);
    EXPECT_EQ(setup.files[1].platform, BootPlatform::uefi);
    EXPECT_EQ(setup.files[1].path, native("efi.img"));
    EXPECT_FALSE(setup.files[1].info_table);
  }
  {
    ScratchFolder syslinux("boot-isolinux");
    syslinux.bytes_file("boot/isolinux/isolinux.bin", isolinux());
    const BootSetup setup = recognise_boot_files(syslinux.path(), describe_source(syslinux.path()));
    ASSERT_EQ(setup.files.size(), 1u);
    EXPECT_EQ(setup.files[0].path, native("boot/isolinux/isolinux.bin"));
    EXPECT_TRUE(setup.files[0].info_table);
  }
  {
    // An installer disc copied onto a case-sensitive file system in capitals.
    ScratchFolder installer("boot-installer");
    installer.bytes_file("BOOT/ETFSBOOT.COM", boot_sector_file());
    installer.bytes_file("EFI/MICROSOFT/BOOT/EFISYS.BIN", fat_image());
    installer.bytes_file("EFI/MICROSOFT/BOOT/EFISYS_NOPROMPT.BIN", fat_image());
    const BootSetup setup =
        recognise_boot_files(installer.path(), describe_source(installer.path()));
    ASSERT_EQ(setup.files.size(), 2u);
    // Names as on disk where the file system tells case apart; Windows
    // finds the file under the layout's spelling as well.
    EXPECT_TRUE(same_name_ignoring_case(setup.files[0].path, native("BOOT/ETFSBOOT.COM")));
    EXPECT_EQ(setup.files[0].load_sectors, 8);
    EXPECT_FALSE(setup.files[0].info_table);
    EXPECT_TRUE(
        same_name_ignoring_case(setup.files[1].path, native("EFI/MICROSOFT/BOOT/EFISYS.BIN")));
#ifndef _WIN32
    EXPECT_EQ(setup.files[0].path, native("BOOT/ETFSBOOT.COM"));
#endif
  }
}

TEST(BootRecognition, FilesWithTheRightNamesButOtherContentsAreNot) {
  ScratchFolder folder("boot-impostors");
  folder.bytes_file("boot/grub/i386-pc/eltorito.img", text("not a boot image\n", 40000));
  folder.bytes_file("isolinux/isolinux.bin", grub_core());
  folder.bytes_file("isolinux.bin", text("ISOLINUX notes\n", 3000));
  folder.bytes_file("boot/etfsboot.com", text("3 lines of text\n", 4096));
  std::vector<uint8_t> no_signature = fat_image();
  no_signature[511] = 0;
  folder.bytes_file("efi.img", no_signature);
  folder.bytes_file("boot/grub/efi.img", text("efi", 8192));
  EXPECT_FALSE(recognise_boot_files(folder.path(), describe_source(folder.path())).bootable());

  EXPECT_FALSE(looks_like(BootLoaderKind::grub_core, grub_core().data(), 2048, 2048));
  const std::vector<uint8_t> fat = fat_image();
  EXPECT_FALSE(looks_like(BootLoaderKind::boot_sector, fat.data(), fat.size(), fat.size()));
  const std::vector<uint8_t> sector = boot_sector_file();
  EXPECT_FALSE(looks_like(BootLoaderKind::boot_sector, sector.data(), sector.size(), 4095));
}

TEST(BootRecognition, BlurayAndDvdFoldersAreNeverBootable) {
  ScratchFolder folder("boot-dvd");
  folder.bytes_file("boot/grub/i386-pc/eltorito.img", grub_core());
  folder.bytes_file("efi.img", fat_image());
  EXPECT_TRUE(recognise_boot_files(folder.path(), describe_source(folder.path())).bootable());
  folder.folder("VIDEO_TS");
  EXPECT_FALSE(recognise_boot_files(folder.path(), describe_source(folder.path())).bootable());
}

cli::ParseResult parse(std::initializer_list<const char*> words) {
  std::vector<NativeString> arguments;
  for (const char* word : words) arguments.push_back(native(word));
  return cli::parse_command_line(arguments);
}

TEST(BootRecognition, CommandLineTakesTheBootSwitchesByTheirWholeNames) {
  const cli::ParseResult result = parse({"-boot-bios", "boot/x.img", "--boot-efi", "efi.img",
                                         "-boot-load-size", "8", "-boot-info-table", "src"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(*result.command.boot_file(BootPlatform::bios), native("boot/x.img"));
  EXPECT_EQ(*result.command.boot_file(BootPlatform::uefi), native("efi.img"));
  EXPECT_EQ(*result.command.boot_load_size, 8);
  EXPECT_TRUE(result.command.boot_info_table);
  EXPECT_EQ(result.command.source, native("src"));
  EXPECT_TRUE(parse({"-no-boot", "src"}).command.no_boot);
  // -n and -b alone are no boot switches.
  EXPECT_FALSE(parse({"-b", "src"}).ok);

  for (const char* size : {"0", "65536", "4x", ""})
    EXPECT_NE(parse({"-boot-load-size", size, "src"}).error.find("1 to 65535"), std::string::npos)
        << size;
  EXPECT_NE(parse({"-boot-bios"}).error.find("needs a value"), std::string::npos);
  EXPECT_FALSE(parse({"-no-boot", "-boot-bios", "a", "src"}).ok);
}

// The command line takes each platform's boot file by the switch the table
// of platforms gives it, and lists them in the table's order.
TEST(BootRecognition, EveryPlatformOfTheTableHasItsSwitchAndCatalogId) {
  std::vector<std::string_view> names;
  std::vector<uint8_t> ids;
  for (const BootPlatformInfo& platform : boot_platforms()) {
    const std::string word = "-" + std::string(platform.file_switch);
    const cli::ParseResult result = parse({word.c_str(), "boot/file", "src"});
    ASSERT_TRUE(result.ok) << word;
    ASSERT_NE(result.command.boot_file(platform.platform), nullptr) << word;
    EXPECT_EQ(result.command.boot_files.size(), 1u);
    EXPECT_EQ(&boot_platform_info(platform.platform), &platform);
    for (std::string_view name : names) EXPECT_NE(name, platform.name);
    for (uint8_t id : ids) EXPECT_NE(id, platform.el_torito_platform_id);
    names.push_back(platform.name);
    ids.push_back(platform.el_torito_platform_id);
  }
  // A switch given twice: the last one counts.
  const cli::ParseResult twice = parse({"-boot-efi", "a.img", "-boot-efi", "b.img", "src"});
  ASSERT_TRUE(twice.ok);
  EXPECT_EQ(*twice.command.boot_file(BootPlatform::uefi), native("b.img"));
  EXPECT_EQ(twice.command.boot_files.size(), 1u);
}

}  // namespace
}  // namespace kestrel::test
