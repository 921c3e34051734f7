// UDF 2.50 metadata file entries for metadata too large for one extent.
#include "udf/udf_metadata.h"

#include <gtest/gtest.h>

#include <vector>

#include "disc/field_writer.h"
#include "engine/image_writer.h"
#include "udf/udf_tags.h"

namespace kestrel::udf {
namespace {

// The metadata is allocated in 32-block units: its extents are cut at the
// largest multiple of 32 blocks that a short_ad's 30-bit length can hold.
constexpr uint32_t max_extent_blocks = 524256;
constexpr uint32_t max_extent_bytes = max_extent_blocks * 2048;  // 0x3FFF0000

struct Entry {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(sector_bytes, 0);
  bool filled = false;
};

Entry entry_for(uint32_t metadata_blocks, bool mirror) {
  ImageWriter writer(0);
  writer.settings.udf_revision = udf_revision_250;
  writer.settings.fs_flags = fs_udf;
  writer.layout.data_base = udf250_partition_start;
  writer.layout.metadata_blocks = metadata_blocks;
  writer.layout.mirror_entry_sector = 4000000;
  writer.layout.mirror_data_sector = 4000032;
  Entry entry;
  entry.filled = udf::fill_metadata_file_entry(
      writer, entry.bytes.data(), mirror ? writer.layout.mirror_entry_sector : 288, mirror);
  return entry;
}

TEST(UdfMetadata, ExtentsSplitAtAMultipleOfTheAllocationUnit) {
  // Exactly the largest single extent: one descriptor.
  Entry one = entry_for(max_extent_blocks, false);
  ASSERT_TRUE(one.filled);
  EXPECT_EQ(read_le32(&one.bytes[212]), 8u);
  EXPECT_EQ(read_le32(&one.bytes[216]), max_extent_bytes);
  EXPECT_EQ(read_le16(&one.bytes[10]), 208);

  // One block more needs a second descriptor, which starts on a 32-block
  // boundary; every length keeps its extent type bits clear.
  Entry two = entry_for(max_extent_blocks + 1, false);
  ASSERT_TRUE(two.filled);
  EXPECT_EQ(read_le32(&two.bytes[212]), 16u);
  EXPECT_EQ(read_le32(&two.bytes[216]), max_extent_bytes);
  EXPECT_EQ(read_le32(&two.bytes[220]), 32u);
  EXPECT_EQ(read_le32(&two.bytes[224]), 2048u);
  EXPECT_EQ(read_le32(&two.bytes[228]), 32u + max_extent_blocks);
  EXPECT_EQ(read_le16(&two.bytes[10]), 216);
  EXPECT_EQ(read_le16(&two.bytes[8]), udf::descriptor_crc(&two.bytes[16], 216));
  EXPECT_EQ(read_le64(&two.bytes[56]), (uint64_t{max_extent_blocks} + 1) * 2048);
  EXPECT_EQ(read_le64(&two.bytes[72]), uint64_t{max_extent_blocks} + 1);

  // The mirror's extents start at the mirror data, partition-relative.
  Entry mirror = entry_for(2 * max_extent_blocks + 64, true);
  ASSERT_TRUE(mirror.filled);
  EXPECT_EQ(mirror.bytes[27], 251);
  EXPECT_EQ(read_le32(&mirror.bytes[12]), 4000000u - 288);
  EXPECT_EQ(read_le32(&mirror.bytes[212]), 24u);
  EXPECT_EQ(read_le32(&mirror.bytes[220]), 4000032u - 288);
  EXPECT_EQ(read_le32(&mirror.bytes[228]), 4000032u - 288 + max_extent_blocks);
  EXPECT_EQ(read_le32(&mirror.bytes[232]), 64u * 2048);
  EXPECT_EQ(read_le32(&mirror.bytes[236]), 4000032u - 288 + 2 * max_extent_blocks);
}

TEST(UdfMetadata, MetadataBeyondOneEntryIsRefused) {
  // 229 descriptors fill the entry's sector; the 230th does not fit.
  EXPECT_TRUE(entry_for(229 * max_extent_blocks, false).filled);
  EXPECT_FALSE(entry_for(229 * max_extent_blocks + 1, false).filled);
}

}  // namespace
}  // namespace kestrel::udf
