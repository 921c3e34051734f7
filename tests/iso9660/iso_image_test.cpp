// Whole images: the ISO 9660 structures at the sectors the layout gives them,
// and every file record pointing at its data, ISO-only and bridge.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disc/field_writer.h"
#include "engine/image_writer.h"
#include "support/scanned_tree.h"

namespace kestrel::iso9660 {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes sector_at(const NativeString& image, uint64_t sector, size_t count = 1) {
  return test::read_bytes(image, sector * sector_bytes, count * sector_bytes);
}

bool matches_pattern(const Bytes& bytes, uint32_t seed, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (bytes[i] != test::pattern_byte(seed, i)) return false;
  }
  return true;
}

struct FoundRecord {
  uint32_t location;
  uint32_t length;
};

// The record named `identifier` in a one-sector directory extent.
FoundRecord find_record(const Bytes& extent, const std::string& identifier) {
  for (size_t offset = 0; offset < extent.size() && extent[offset] != 0; offset += extent[offset]) {
    const uint8_t* r = &extent[offset];
    if (std::string(reinterpret_cast<const char*>(r + 33), r[32]) == identifier) {
      return {read_le32(r + 2), read_le32(r + 10)};
    }
  }
  ADD_FAILURE() << identifier << " not found";
  return {0, 0};
}

TEST(IsoImage, WorkedLayoutIsoOnly) {
  test::ScratchFolder source("iso_image_worked");
  source.file("src/a.txt", 3000, 11);
  source.file("src/d/f.bin", 100, 12);
  test::ScratchFolder output("iso_image_worked_out");
  const NativeString image = output.at("worked.iso");
  // The plain volume, without name extensions.
  BuildOptions options;
  options.name_extensions = NameExtensions{};
  auto job = start_build(source.at("src"), u"My Disc", fs_code_iso9660, image, "Kestrel",
                         "Kestrel 1.5", false, nullptr, options);
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);
  EXPECT_EQ(test::file_size(image), 32u * sector_bytes);

  EXPECT_EQ(sector_at(image, 0, 16), Bytes(16 * sector_bytes, 0));
  const Bytes pvd = sector_at(image, 16);
  EXPECT_EQ(std::string(pvd.begin() + 1, pvd.begin() + 6), "CD001");
  EXPECT_EQ(std::string(pvd.begin() + 40, pvd.begin() + 72), "MY DISC" + std::string(25, ' '));
  EXPECT_EQ(read_le32(&pvd[80]), 32u);
  EXPECT_EQ(read_le32(&pvd[132]), 20u);
  EXPECT_EQ(read_le32(&pvd[156 + 2]), 20u);
  EXPECT_EQ(read_le32(&pvd[156 + 10]), 142u);

  // Volume descriptor set terminator: type 255, "CD001", version 1, zeros.
  Bytes terminator(sector_bytes, 0);
  terminator[0] = 255;
  std::copy_n("CD001", 5, terminator.begin() + 1);
  terminator[6] = 1;
  EXPECT_EQ(sector_at(image, 17), terminator);

  const Bytes type_l = sector_at(image, 18);
  EXPECT_EQ(Bytes(type_l.begin(), type_l.begin() + 20),
            (Bytes{1, 0, 20, 0, 0, 0, 1, 0, 0, 0, 1, 0, 21, 0, 0, 0, 1, 0, 'D', 0}));
  const Bytes type_m = sector_at(image, 19);
  EXPECT_EQ(Bytes(type_m.begin(), type_m.begin() + 20),
            (Bytes{1, 0, 0, 0, 0, 20, 0, 1, 0, 0, 1, 0, 0, 0, 0, 21, 0, 1, 'D', 0}));

  const Bytes root = sector_at(image, 20);
  const FoundRecord a = find_record(root, "A.TXT;1");
  EXPECT_EQ(a.location, 22u);
  EXPECT_EQ(a.length, 3000u);
  const FoundRecord d = find_record(root, "D");
  EXPECT_EQ(d.location, 21u);
  EXPECT_EQ(d.length, 108u);
  const FoundRecord f = find_record(sector_at(image, 21), "F.BIN;1");
  EXPECT_EQ(f.location, 24u);
  EXPECT_EQ(f.length, 100u);

  EXPECT_TRUE(matches_pattern(sector_at(image, 22, 2), 11, 3000));
  EXPECT_TRUE(matches_pattern(sector_at(image, 24), 12, 100));
  EXPECT_EQ(sector_at(image, 25, 7), Bytes(7 * sector_bytes, 0));
}

TEST(IsoImage, BridgeRecordsPointIntoThePartition) {
  test::ScratchFolder source("iso_image_bridge");
  source.file("src/one.bin", 5000, 21);
  source.file("src/sub/two.bin", 1, 22);
  source.file("src/sub/empty.bin", 0, 23);
  test::ScratchFolder output("iso_image_bridge_out");
  const NativeString image = output.at("bridge.iso");
  auto job = test::build_image(source.at("src"), 2, image);
  ASSERT_EQ(job->outcome, BuildOutcome::succeeded);

  const Bytes pvd = sector_at(image, 16);
  EXPECT_EQ(read_le32(&pvd[80]) * uint64_t{sector_bytes}, test::file_size(image));
  EXPECT_EQ(read_le32(&pvd[140]), 257u);
  EXPECT_EQ(read_be32(&pvd[148]), 258u);
  const uint32_t root_sector = read_le32(&pvd[156 + 2]);
  EXPECT_EQ(root_sector, 259u);
  // The path table's root record holds the same absolute sector.
  EXPECT_EQ(read_le32(&sector_at(image, 257)[2]), root_sector);

  const Bytes root = sector_at(image, root_sector);
  const FoundRecord one = find_record(root, "ONE.BIN;1");
  EXPECT_EQ(one.length, 5000u);
  EXPECT_TRUE(matches_pattern(sector_at(image, one.location, 3), 21, 5000));
  const FoundRecord sub = find_record(root, "SUB");
  const FoundRecord two = find_record(sector_at(image, sub.location), "TWO.BIN;1");
  EXPECT_TRUE(matches_pattern(sector_at(image, two.location), 22, 1));
  const FoundRecord empty = find_record(sector_at(image, sub.location), "EMPTY.BIN;1");
  EXPECT_EQ(empty.length, 0u);
}

}  // namespace
}  // namespace kestrel::iso9660
