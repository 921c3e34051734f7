// Bootable images that also start from a disk, read back byte by byte: the
// MBR boot code points at its loader, GRUB's core gets its block list's
// block, the EFI system partition is the UEFI image, the last sector holds
// the UDF anchor and the backup GPT header, and images that must not carry
// the tables do not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "disc/field_writer.h"
#include "engine/boot_platforms.h"
#include "engine/build_job.h"
#include "support/scratch_folder.h"

namespace kestrel::test {
namespace {

void put(std::vector<uint8_t>& bytes, size_t at, std::initializer_list<uint8_t> values) {
  std::copy(values.begin(), values.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

void put_text(std::vector<uint8_t>& bytes, size_t at, const std::string& text) {
  std::copy(text.begin(), text.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// GRUB's El Torito core image: its CD boot sector's first instructions, and
// the core's block list (which the copy gets patched) at byte 2548.
std::vector<uint8_t> grub_core() {
  std::vector<uint8_t> bytes(40000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
  put(bytes, 0, {0xE8, 0x00, 0x00, 0xEB, 0x3B});
  put(bytes, 2548, {0x02, 0, 0, 0, 0, 0, 0, 0});
  return bytes;
}

// GRUB's boot_hybrid.img: a whole MBR that names itself and loads its next
// stage from byte 0x1B0.
std::vector<uint8_t> grub_hybrid_mbr() {
  std::vector<uint8_t> bytes(512, 0x90);
  put(bytes, 0, {0xEB, 0x63, 0x90});
  put(bytes, 0xBC, {0x66, 0x8B, 0x1E, 0xB0, 0x7D});
  put_text(bytes, 0x180, "GRUB ");
  put(bytes, 432, {1, 0, 0, 0, 0, 0, 0, 0});
  put(bytes, 510, {0x55, 0xAA});
  return bytes;
}

// isolinux.bin with its hybrid signature at byte 64.
std::vector<uint8_t> isolinux() {
  std::vector<uint8_t> bytes(38912, 0x66);
  put(bytes, 0, {0xFA, 0xEA});
  put(bytes, 64, {0xFB, 0xC0, 0x78, 0x70});
  put_text(bytes, 1340, "ISOLINUX 6.04");
  return bytes;
}

// isohdpfx.bin: 432 bytes of code that start with 32 bytes doing nothing.
std::vector<uint8_t> isolinux_hybrid_mbr() {
  std::vector<uint8_t> bytes(432, 0x90);
  put(bytes, 0, {0x33, 0xED});
  put(bytes, 32, {0x33, 0xED, 0xFA});
  put_text(bytes, 0xB4, "isolinux.bin missing or corrupt.");
  return bytes;
}

std::vector<uint8_t> fat_image() {
  std::vector<uint8_t> bytes(8 * 512 + 100, 0);  // not a whole number of blocks
  put(bytes, 0, {0xEB, 0x3C, 0x90, 'M',  'T',  'O',  'O',  '4',  '0',  '3',  '2',
                 0x00, 0x02, 0x02, 0x01, 0x00, 0x02, 0x00, 0x02, 0x00, 0x02, 0xF8});
  put(bytes, 510, {0x55, 0xAA});
  return bytes;
}

struct Built {
  std::unique_ptr<BuildJob> job;
  std::vector<uint8_t> image;

  uint32_t le32(uint64_t at) const { return read_le32(image.data() + at); }
  uint64_t le64(uint64_t at) const { return read_le64(image.data() + at); }
  uint64_t sectors() const { return image.size() / 2048; }
  // From the El Torito catalog: the first sector of the initial entry's file
  // and of the section entry's.
  uint32_t catalog() const { return le32(17 * 2048 + 71); }
  uint32_t bios_sector() const { return le32(uint64_t{catalog()} * 2048 + 32 + 8); }
  uint32_t efi_sector() const { return le32(uint64_t{catalog()} * 2048 + 96 + 8); }
  bool system_area_zero() const {
    return std::all_of(image.begin(), image.begin() + 16 * 2048, [](uint8_t b) { return b == 0; });
  }
};

Built build(const ScratchFolder& source, int32_t fs_code, const BootSetup& boot) {
  ScratchFolder output("hybrid-output");
  const NativeString path = output.at("image.iso");
  Built built;
  built.job = start_build(source.path(), u"Hybrid", fs_code, path, "Kestrel", "Kestrel 1.5", false,
                          nullptr, BuildOptions{boot});
  built.image = read_bytes(path, 0, static_cast<size_t>(file_size(path)));
  return built;
}

BootSetup recognised(const ScratchFolder& source) {
  return recognise_boot_files(source.path(), describe_source(source.path()));
}

// The GPT partition entry whose type is the EFI system partition's.
const uint8_t* efi_entry(const Built& built) {
  const uint8_t type[4] = {0x28, 0x73, 0x2A, 0xC1};
  for (size_t i = 0; i < 128; ++i) {
    const uint8_t* entry = built.image.data() + 1024 + 128 * i;
    if (std::memcmp(entry, type, 4) == 0) return entry;
  }
  return nullptr;
}

TEST(HybridImage, GrubFolderStartsFromADiskWithBiosAndUefiInEveryLayout) {
  ScratchFolder source("hybrid-grub");
  source.bytes_file("boot/grub/i386-pc/eltorito.img", grub_core());
  source.bytes_file("boot/grub/i386-pc/boot_hybrid.img", grub_hybrid_mbr());
  source.bytes_file("efi.img", fat_image());
  source.file("readme.txt", 3000, 4);
  const BootSetup boot = recognised(source);
  ASSERT_EQ(boot.mbr_code.kind, MbrCodeKind::grub);
  EXPECT_EQ(boot.mbr_code.path, native("boot/grub/i386-pc/boot_hybrid.img"));
  EXPECT_TRUE(boot.mbr_code.in_source);
  const std::vector<uint8_t> core = grub_core();
  const std::vector<uint8_t> code = grub_hybrid_mbr();

  for (const int32_t fs_code : {fs_code_iso9660, fs_code_bridge, fs_code_udf250}) {
    SCOPED_TRACE(fs_code);
    const Built built = build(source, fs_code, boot);
    ASSERT_EQ(built.job->outcome, BuildOutcome::succeeded);
    EXPECT_EQ(built.job->disk_boot_platforms,
              (std::vector<BootPlatform>{BootPlatform::bios, BootPlatform::uefi}));
    EXPECT_EQ(built.job->mbr_code.kind, MbrCodeKind::grub);

    // The MBR: GRUB's code, and the block of the core's disk boot sector,
    // after its 2048-byte CD boot sector.
    const uint64_t core_block = uint64_t{built.bios_sector()} * 4;
    EXPECT_EQ(std::memcmp(built.image.data(), code.data(), 432), 0);
    EXPECT_EQ(built.le64(432), core_block + 4);
    EXPECT_EQ(built.image[510], 0x55);
    // The core's copy: its block list starts one block further on; the boot
    // information table's checksum is that of the copy; all else is the source.
    std::vector<uint8_t> copy(
        built.image.begin() + static_cast<std::ptrdiff_t>(core_block * 512),
        built.image.begin() + static_cast<std::ptrdiff_t>(core_block * 512 + core.size()));
    EXPECT_EQ(read_le64(&copy[2548]), core_block + 5);
    uint32_t sum = 0;
    for (size_t at = 64; at + 4 <= copy.size(); at += 4) sum += read_le32(&copy[at]);
    EXPECT_EQ(read_le32(&copy[20]), sum);
    std::copy(core.begin() + 8, core.begin() + 64, copy.begin() + 8);
    std::copy(core.begin() + 2548, core.begin() + 2556, copy.begin() + 2548);
    EXPECT_EQ(copy, core);

    // The EFI system partition is the UEFI image's blocks, its tail included.
    const uint8_t* entry = efi_entry(built);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(read_le64(entry + 32), uint64_t{built.efi_sector()} * 4);
    EXPECT_EQ(read_le64(entry + 40), uint64_t{built.efi_sector()} * 4 + 9 - 1);

    // The last sector: the UDF anchor first (tag 2 at its own sector), the
    // backup GPT header last, naming the primary and the disk's last block.
    const uint64_t last = (built.sectors() - 1) * 2048;
    if (fs_code != fs_code_iso9660) {
      EXPECT_EQ(read_le16(&built.image[last]), 2);
      EXPECT_EQ(built.le32(last + 12), built.sectors() - 1);
    }
    EXPECT_EQ(std::memcmp(&built.image[last + 1536], "EFI PART", 8), 0);
    EXPECT_EQ(built.le64(last + 1536 + 24), built.sectors() * 4 - 1);
    EXPECT_EQ(built.le64(last + 1536 + 32), 1u);
    EXPECT_EQ(built.sectors() % 32, 0u);
  }
}

TEST(HybridImage, IsolinuxLoadsItselfFromItsFirstBlockWithoutAnEfiPartition) {
  ScratchFolder source("hybrid-isolinux");
  source.bytes_file("isolinux/isolinux.bin", isolinux());
  source.bytes_file("isolinux/isohdpfx.bin", isolinux_hybrid_mbr());
  const BootSetup boot = recognised(source);
  ASSERT_EQ(boot.mbr_code.kind, MbrCodeKind::isolinux);
  const Built built = build(source, fs_code_iso9660, boot);
  ASSERT_EQ(built.job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(built.job->disk_boot_platforms, std::vector<BootPlatform>{BootPlatform::bios});
  EXPECT_EQ(built.le64(432), uint64_t{built.bios_sector()} * 4);
  EXPECT_EQ(std::memcmp(built.image.data(), isolinux_hybrid_mbr().data(), 432), 0);
  EXPECT_EQ(efi_entry(built), nullptr);
  // ISOLINUX's copy keeps its bytes but for the boot information table.
  const std::vector<uint8_t> source_bytes = isolinux();
  EXPECT_EQ(std::memcmp(&built.image[uint64_t{built.bios_sector()} * 2048 + 64],
                        source_bytes.data() + 64, source_bytes.size() - 64),
            0);
}

TEST(HybridImage, ImagesThatDoNotStartFromADiskCarryNoTables) {
  ScratchFolder source("hybrid-none");
  source.bytes_file("boot/grub/i386-pc/eltorito.img", grub_core());
  source.bytes_file("efi.img", fat_image());
  BootSetup boot = recognised(source);
  ASSERT_FALSE(boot.mbr_code.present());
  // UEFI alone: the MBR hands a BIOS boot back (INT 18h) and has no active
  // record; the BIOS catalog entry is there all the same.
  const Built uefi_only = build(source, fs_code_bridge, boot);
  EXPECT_EQ(uefi_only.job->disk_boot_platforms, std::vector<BootPlatform>{BootPlatform::uefi});
  EXPECT_EQ(uefi_only.image[0], 0xCD);
  EXPECT_EQ(uefi_only.image[1], 0x18);
  for (size_t record = 0; record < 4; ++record) EXPECT_NE(uefi_only.image[446 + 16 * record], 0x80);

  // -no-hybrid, and a BIOS boot file alone: the system area stays zero, the
  // image ends as one without a boot catalog does.
  boot.disk_tables = false;
  const Built no_hybrid = build(source, fs_code_bridge, boot);
  ASSERT_EQ(no_hybrid.job->outcome, BuildOutcome::succeeded);
  EXPECT_TRUE(no_hybrid.system_area_zero());
  EXPECT_TRUE(no_hybrid.job->disk_boot_platforms.empty());
  EXPECT_LT(no_hybrid.image.size(), uefi_only.image.size());
  const Built bios_only = build(
      source, fs_code_iso9660,
      BootSetup{{BootFile{BootPlatform::bios, native("boot/grub/i386-pc/eltorito.img"), 4, true}}});
  EXPECT_TRUE(bios_only.system_area_zero());
  EXPECT_EQ(std::memcmp(&bios_only.image[bios_only.image.size() - 512], "EFI PART", 8) == 0, false);
}

TEST(HybridImage, SameTreeAtTheSameTimeGivesTheSameTables) {
  ScratchFolder source("hybrid-reproducible");
  source.bytes_file("boot/grub/i386-pc/eltorito.img", grub_core());
  source.bytes_file("efi.img", fat_image());
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", "1600000000");
#else
  setenv("SOURCE_DATE_EPOCH", "1600000000", 1);
#endif
  const Built first = build(source, fs_code_iso9660, recognised(source));
  const Built second = build(source, fs_code_iso9660, recognised(source));
#ifdef _WIN32
  _putenv_s("SOURCE_DATE_EPOCH", "");
#else
  unsetenv("SOURCE_DATE_EPOCH");
#endif
  ASSERT_FALSE(first.image.empty());
  EXPECT_EQ(first.image, second.image);
}

TEST(HybridImage, MbrCodeMustBeKnownAndPairWithTheBiosLoader) {
  ScratchFolder files("hybrid-pairs");
  files.bytes_file("grub.img", grub_core());
  files.bytes_file("isolinux.bin", isolinux());
  files.bytes_file("boot_hybrid.img", grub_hybrid_mbr());
  files.bytes_file("isohdpfx.bin", isolinux_hybrid_mbr());
  std::vector<uint8_t> plain_boot = grub_hybrid_mbr();
  put(plain_boot, 0xBC, {0x66, 0x8B, 0x1E, 0x5C, 0x7C});  // GRUB's boot.img reads 0x5C
  files.bytes_file("boot.img", plain_boot);
  std::vector<uint8_t> old_isolinux = isolinux();
  put(old_isolinux, 64, {0, 0, 0, 0});  // no hybrid signature
  files.bytes_file("old-isolinux.bin", old_isolinux);

  MbrCodeKind kind = MbrCodeKind::none;
  EXPECT_EQ(check_mbr_code(files.at("boot_hybrid.img"), files.at("grub.img"), kind),
            MbrCodeCheck::ok);
  EXPECT_EQ(kind, MbrCodeKind::grub);
  EXPECT_EQ(check_mbr_code(files.at("isohdpfx.bin"), files.at("isolinux.bin"), kind),
            MbrCodeCheck::ok);
  EXPECT_EQ(kind, MbrCodeKind::isolinux);
  EXPECT_EQ(check_mbr_code(files.at("boot_hybrid.img"), files.at("isolinux.bin"), kind),
            MbrCodeCheck::boot_file_mismatch);
  EXPECT_EQ(check_mbr_code(files.at("isohdpfx.bin"), files.at("old-isolinux.bin"), kind),
            MbrCodeCheck::boot_file_mismatch);
  EXPECT_EQ(check_mbr_code(files.at("boot.img"), files.at("grub.img"), kind),
            MbrCodeCheck::unknown_code);
  EXPECT_EQ(check_mbr_code(files.at("grub.img"), files.at("grub.img"), kind),
            MbrCodeCheck::unknown_code);
  EXPECT_EQ(check_mbr_code(files.at("missing.bin"), files.at("grub.img"), kind),
            MbrCodeCheck::unreadable);

  // The code beside a loader it does not start is not taken; a build asked
  // for a code that is not what it was said to be fails.
  ScratchFolder source("hybrid-mismatch");
  source.bytes_file("isolinux/isolinux.bin", isolinux());
  source.bytes_file("isolinux/isohdpfx.bin", grub_hybrid_mbr());
  BootSetup boot = recognised(source);
  EXPECT_FALSE(boot.mbr_code.present());
  boot.mbr_code = MbrBootCode{MbrCodeKind::isolinux, files.at("boot_hybrid.img"), false};
  const Built built = build(source, fs_code_iso9660, boot);
  EXPECT_EQ(built.job->outcome, BuildOutcome::failed);
  EXPECT_EQ(built.job->error.error, BuildError::boot_file_unusable);
}

}  // namespace
}  // namespace kestrel::test
