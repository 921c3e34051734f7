// The El Torito records byte by byte, and bootable images as a whole: the
// catalog points at the boot files' data, a loader's copy carries its boot
// information table and is otherwise the source's bytes, and boot files that
// cannot be booted fail the build.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disc/field_writer.h"
#include "engine/boot_platforms.h"
#include "engine/source_tree.h"
#include "iso9660/el_torito_records.h"
#include "support/scanned_tree.h"

namespace kestrel::test {
namespace {

using iso9660::add_boot_checksum;

BootImage boot_image(BootPlatform platform, uint16_t load_sectors, const SourceNode* node) {
  BootImage image;
  image.file.platform = platform;
  image.platform_id = boot_platform_info(platform).el_torito_platform_id;
  image.load_sectors = load_sectors;
  image.node = node;
  return image;
}

// The sum of the little-endian words of `bytes` from byte 64, as a loader
// checks it: the reference the writer's sum is held against.
uint32_t reference_checksum(const std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> padded = bytes;
  padded.resize((padded.size() + 3) / 4 * 4, 0);
  uint32_t sum = 0;
  for (size_t at = 64; at < padded.size(); at += 4) sum += read_le32(padded.data() + at);
  return sum;
}

TEST(ElTorito, CatalogHasValidationEntryInitialEntryAndOneSectionPerFurtherFile) {
  DiscImage image;
  SourceNode bios{}, uefi{};
  bios.data_offset = 7;
  uefi.data_offset = 2;
  image.layout.data_base = 257;
  image.layout.data_start = 20;
  image.boot.images = {boot_image(BootPlatform::bios, 4, &bios),
                       boot_image(BootPlatform::uefi, 8192, &uefi)};
  std::vector<uint8_t> sector(sector_bytes, 0);
  iso9660::fill_boot_catalog(image, sector.data());

  const uint8_t validation[32] = {0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    0,    0,    0,
                                  0,    0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0x55, 0x55, 0xAA};
  EXPECT_EQ(std::memcmp(sector.data(), validation, 32), 0);
  // Initial entry: bootable, no emulation, segment 0 (0x7C0), 4 sectors at 284.
  const uint8_t initial[12] = {0x88, 0x00, 0, 0, 0, 0, 4, 0, 28, 1, 0, 0};
  EXPECT_EQ(std::memcmp(sector.data() + 32, initial, 12), 0);
  // The final section header for UEFI with one entry, then that entry.
  const uint8_t header[4] = {0x91, 0xEF, 1, 0};
  EXPECT_EQ(std::memcmp(sector.data() + 64, header, 4), 0);
  const uint8_t entry[12] = {0x88, 0x00, 0, 0, 0, 0, 0x00, 0x20, 23, 1, 0, 0};
  EXPECT_EQ(std::memcmp(sector.data() + 96, entry, 12), 0);
  for (size_t at = 128; at < sector_bytes; ++at) ASSERT_EQ(sector[at], 0) << at;
  for (size_t at : {size_t{44}, size_t{68}, size_t{108}})
    EXPECT_EQ(sector[at], 0) << at;  // unused fields and id strings stay zero

  // With only a UEFI image the validation entry names UEFI, whose entry is
  // the initial one, and no section follows; the checksum still balances.
  image.boot.images = {boot_image(BootPlatform::uefi, 1, &uefi)};
  std::fill(sector.begin(), sector.end(), 0);
  iso9660::fill_boot_catalog(image, sector.data());
  EXPECT_EQ(sector[1], 0xEF);
  uint16_t sum = 0;
  for (size_t at = 0; at < 32; at += 2) sum = static_cast<uint16_t>(sum + read_le16(&sector[at]));
  EXPECT_EQ(sum, 0);
  EXPECT_EQ(read_le32(&sector[40]), 279u);
  EXPECT_EQ(sector[64], 0);
}

TEST(ElTorito, BootRecordNamesTheSystemAndTheCatalogSector) {
  DiscImage image;
  image.boot.catalog_sector = 19;
  std::vector<uint8_t> sector(sector_bytes, 0xFF);
  std::fill(sector.begin(), sector.end(), 0);
  iso9660::fill_boot_record(image, sector.data());
  const char system[] = "EL TORITO SPECIFICATION";
  EXPECT_EQ(sector[0], 0);
  EXPECT_EQ(std::memcmp(&sector[1], "CD001\x01", 6), 0);
  EXPECT_EQ(std::memcmp(&sector[7], system, sizeof system - 1), 0);
  for (size_t at = 7 + sizeof system - 1; at < 71; ++at) ASSERT_EQ(sector[at], 0) << at;
  EXPECT_EQ(read_le32(&sector[71]), 19u);
  for (size_t at = 75; at < sector_bytes; ++at) ASSERT_EQ(sector[at], 0) << at;
}

TEST(ElTorito, ChecksumCountsWordsFromByte64AcrossReadsWithAZeroPaddedTail) {
  std::vector<uint8_t> bytes(5003);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  const uint32_t whole = add_boot_checksum(0, bytes.data(), bytes.size(), 0);
  EXPECT_EQ(whole, reference_checksum(bytes));
  // Read in 2048-byte pieces, as the data area reads it.
  uint32_t pieces = 0;
  for (size_t at = 0; at < bytes.size(); at += 2048)
    pieces =
        add_boot_checksum(pieces, bytes.data() + at, std::min<size_t>(2048, bytes.size() - at), at);
  EXPECT_EQ(pieces, whole);
  // The table's own bytes do not count.
  std::fill(bytes.begin() + 8, bytes.begin() + 64, 0xEE);
  EXPECT_EQ(add_boot_checksum(0, bytes.data(), bytes.size(), 0), whole);
  EXPECT_EQ(add_boot_checksum(0, bytes.data(), 64, 0), 0u);
}

TEST(ElTorito, InfoTableRecordsDescriptorFileSectorLengthAndChecksum) {
  DiscImage image;
  SourceNode node{};
  node.size = 70000;
  node.data_offset = 3;
  image.layout.data_base = 20;
  image.layout.data_start = 5;
  image.boot.primary_descriptor_sector = 16;
  BootImage boot = boot_image(BootPlatform::bios, 4, &node);
  boot.checksum = 0xDEADBEEF;
  std::vector<uint8_t> sector(sector_bytes, 0xAB);
  iso9660::fill_boot_info_table(image, boot, sector.data());
  const uint8_t table[16] = {16, 0, 0, 0, 28, 0, 0, 0, 0x70, 0x11, 0x01, 0, 0xEF, 0xBE, 0xAD, 0xDE};
  EXPECT_EQ(std::memcmp(&sector[8], table, 16), 0);
  for (size_t at = 24; at < 64; ++at) ASSERT_EQ(sector[at], 0) << at;
  for (size_t at : {size_t{0}, size_t{7}, size_t{64}, size_t{2047}}) EXPECT_EQ(sector[at], 0xAB);
}

// --- Whole images ----------------------------------------------------------------

struct BuiltImage {
  std::unique_ptr<BuildJob> job;
  NativeString path;
};

BuiltImage build_bootable(const ScratchFolder& source, const ScratchFolder& output, int32_t fs_code,
                          const BootSetup& boot) {
  BuiltImage built;
  built.path = output.at("boot.iso");
  built.job = start_build(source.path(), u"Boot", fs_code, built.path, "Kestrel", "Kestrel 1.5",
                          false, nullptr, BuildOptions{boot});
  return built;
}

uint32_t image_le32(const NativeString& image, uint64_t offset) {
  const std::vector<uint8_t> bytes = read_bytes(image, offset, 4);
  return bytes.size() == 4 ? read_le32(bytes.data()) : 0;
}

// Every layout that can carry a catalog: ISO 9660, the bridge (also chosen
// as UDF 1.02) and UDF 2.50 with its ISO 9660 volume.
TEST(ElTorito, EveryLayoutGetsACatalogThatPointsAtTheTabledLoader) {
  ScratchFolder source("boot-source");
  source.file("boot/loader.img", 9000, 5);
  source.file("efi.img", 4096, 6);
  source.file("boot.cat", 2048, 7);
  const BootSetup boot{{BootFile{BootPlatform::bios, native("boot/loader.img"), 4, true},
                        BootFile{BootPlatform::uefi, native("efi.img"), 0, false}}};
  std::vector<uint8_t> loader = read_bytes(source.at("boot/loader.img"), 0, 9000);
  for (const int32_t code : {fs_code_iso9660, fs_code_bridge, fs_code_udf102, fs_code_udf250}) {
    SCOPED_TRACE(code);
    ScratchFolder output("boot-output");
    const BuiltImage built = build_bootable(source, output, code, boot);
    ASSERT_EQ(built.job->outcome, BuildOutcome::succeeded);
    EXPECT_EQ(built.job->effective_fs_flags & fs_iso9660, fs_iso9660);
    EXPECT_EQ(built.job->file_count, 3u);  // the stale catalog stays a file
    ASSERT_EQ(built.job->boot_files.size(), 2u);
    EXPECT_EQ(built.job->boot_files[1].load_sectors, 8);  // 4096 bytes in 512-byte sectors

    EXPECT_EQ(read_bytes(built.path, 17 * 2048 + 1, 5), read_bytes(built.path, 16 * 2048 + 1, 5));
    const uint32_t catalog = image_le32(built.path, 17 * 2048 + 71);
    ASSERT_GT(catalog, 18u);
    const uint64_t catalog_at = uint64_t{catalog} * sector_bytes;
    const uint32_t loader_sector = image_le32(built.path, catalog_at + 32 + 8);
    const uint32_t efi_sector = image_le32(built.path, catalog_at + 96 + 8);
    EXPECT_EQ(read_bytes(built.path, uint64_t{efi_sector} * sector_bytes, 4096),
              read_bytes(source.at("efi.img"), 0, 4096));

    // The loader's copy: the table in bytes 8 to 63, the source elsewhere.
    std::vector<uint8_t> copy =
        read_bytes(built.path, uint64_t{loader_sector} * sector_bytes, 9000);
    ASSERT_EQ(copy.size(), loader.size());
    EXPECT_EQ(read_le32(&copy[8]), 16u);
    EXPECT_EQ(read_le32(&copy[12]), loader_sector);
    EXPECT_EQ(read_le32(&copy[16]), 9000u);
    EXPECT_EQ(read_le32(&copy[20]), reference_checksum(loader));
    for (size_t at = 24; at < 64; ++at) ASSERT_EQ(copy[at], 0) << at;
    std::copy(loader.begin() + 8, loader.begin() + 64, copy.begin() + 8);
    EXPECT_EQ(copy, loader);
  }
}

TEST(ElTorito, BootFilesThatCannotBeBootedFailTheBuild) {
  ScratchFolder source("boot-unusable");
  source.file("tiny.bin", 40, 1);
  source.file("empty.bin", 0, 2);
  source.folder("folder");
  ScratchFolder output("boot-unusable-output");
  const struct {
    const char* path;
    bool info_table;
  } cases[] = {{"missing.bin", false}, {"tiny.bin", true}, {"empty.bin", false}, {"folder", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const BuiltImage built =
        build_bootable(source, output, fs_code_iso9660,
                       BootSetup{{BootFile{BootPlatform::bios, native(c.path), 4, c.info_table}}});
    EXPECT_EQ(built.job->outcome, BuildOutcome::failed);
    EXPECT_EQ(built.job->error.error, BuildError::boot_file_unusable);
    EXPECT_NE(display_text(built.job->error.path).find(c.path), std::string::npos);
    EXPECT_EQ(file_size(built.path), 0u);
  }
  // Without the table a file shorter than it is fine; names match without
  // regard to case.
  const BuiltImage built =
      build_bootable(source, output, fs_code_iso9660,
                     BootSetup{{BootFile{BootPlatform::bios, native("TINY.BIN"), 4, false}}});
  EXPECT_EQ(built.job->outcome, BuildOutcome::succeeded);
}

// The table is computed when the image is laid out; a loader that changes
// before its copy is written would get a table that lies about it.
TEST(ElTorito, LoaderThatChangesAfterTheLayoutFailsTheBuild) {
  ScratchFolder source("boot-changing");
  source.file("loader.bin", 5000, 1);
  ImageWriter writer(1700000000);
  writer.settings.fs_flags = fs_iso9660;
  writer.tree.source_folder = source.path() + native_separator;
  writer.boot_request = BootSetup{{BootFile{BootPlatform::bios, native("loader.bin"), 4, true}}};
  ASSERT_TRUE(scan_source(writer));
  ASSERT_NE(writer.lay_out(), 0u);
  source.file("loader.bin", 5000, 2);  // same size, other bytes
  MemorySectorOutput image;
  EXPECT_FALSE(writer.write_sequence(image, nullptr, nullptr));
  EXPECT_EQ(writer.report.error.error, BuildError::source_changed);
}

}  // namespace
}  // namespace kestrel::test
