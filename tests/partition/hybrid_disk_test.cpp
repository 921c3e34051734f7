// The hybrid MBR and the GPT of a bootable image, read back field by field:
// the records point where the layout says, both headers name each other and
// carry valid CRCs, and the partitions cover the image without overlap.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "disc/field_writer.h"
#include "partition/crc32.h"
#include "partition/hybrid_disk.h"

namespace kestrel::test {
namespace {

using namespace partition;

struct MbrRecord {
  uint8_t indicator, type;
  uint32_t first, count;
};

MbrRecord mbr_record(const uint8_t* mbr, size_t index) {
  const uint8_t* record = mbr + 446 + 16 * index;
  return {record[0], record[4], read_le32(record + 8), read_le32(record + 12)};
}

HybridDisk disk_of(uint64_t sectors, uint64_t efi_sector, uint64_t efi_bytes) {
  HybridDisk disk;
  disk.total_blocks = sectors * 4;
  disk.backup_entries_block = sectors < 9 ? 0 : (sectors - 9) * 4;  // the 8 sectors before the last
  disk.efi_first_block = efi_sector * 4;
  disk.efi_blocks = (efi_bytes + 511) / 512;
  const uint8_t seed[] = {1, 2, 3};
  disk.disk_guid = derived_guid(seed, sizeof seed, 0);
  return disk;
}

// The header at `block`: its signature, CRC, and what it says of the other.
void expect_header(const uint8_t* header, uint64_t my_lba, uint64_t alternate, uint64_t entries,
                   const std::vector<uint8_t>& entry_bytes) {
  EXPECT_EQ(std::memcmp(header, "EFI PART", 8), 0);
  EXPECT_EQ(read_le32(header + 8), 0x00010000u);
  EXPECT_EQ(read_le32(header + 12), 92u);
  std::vector<uint8_t> copy(header, header + 92);
  std::memset(copy.data() + 16, 0, 4);
  EXPECT_EQ(read_le32(header + 16), crc32(copy.data(), copy.size()));
  EXPECT_EQ(read_le64(header + 24), my_lba);
  EXPECT_EQ(read_le64(header + 32), alternate);
  EXPECT_EQ(read_le64(header + 40), 34u);
  EXPECT_EQ(read_le64(header + 72), entries);
  EXPECT_EQ(read_le32(header + 80), 128u);
  EXPECT_EQ(read_le32(header + 84), 128u);
  EXPECT_EQ(read_le32(header + 88), crc32(entry_bytes.data(), entry_bytes.size()));
  for (size_t at = 92; at < 512; ++at) ASSERT_EQ(header[at], 0) << at;
}

TEST(HybridDisk, CrcAndGuidsAreTheStandardsOwn) {
  const char check[] = "123456789";
  EXPECT_EQ(crc32(reinterpret_cast<const uint8_t*>(check), 9), 0xCBF43926u);
  const uint8_t esp[16] = {0x28, 0x73, 0x2A, 0xC1, 0x1F, 0xF8, 0xD2, 0x11,
                           0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B};
  EXPECT_EQ(std::memcmp(efi_system_partition_type.bytes.data(), esp, 16), 0);
  const uint8_t seed[] = {'a', 'b'};
  const Guid one = derived_guid(seed, 2, 1);
  EXPECT_EQ(one, derived_guid(seed, 2, 1));
  EXPECT_NE(one, derived_guid(seed, 2, 2));
  EXPECT_NE(one, derived_guid(seed, 1, 1));
  EXPECT_EQ(one.bytes[7] & 0xF0, 0x40);  // version 4
  EXPECT_EQ(one.bytes[8] & 0xC0, 0x80);  // RFC 4122 variant
}

TEST(HybridDisk, TablesDescribeTheEfiImageAndProtectTheRest) {
  // 1024 sectors; the EFI image of 3000 bytes at sector 40.
  HybridDisk disk = disk_of(1024, 40, 3000);
  ASSERT_TRUE(can_describe(disk));
  std::vector<uint8_t> area(system_area_bytes, 0xCC);
  fill_system_area(disk, area.data());

  // MBR: no BIOS loader, so the code hands the boot back (INT 18h); the
  // protective partition up to the EFI system partition, which follows it,
  // and no active record.
  EXPECT_EQ(area[0], 0xCD);
  EXPECT_EQ(area[1], 0x18);
  EXPECT_EQ(read_le64(&area[432]), 0u);
  EXPECT_NE(read_le32(&area[440]), 0u);
  EXPECT_EQ(area[510], 0x55);
  EXPECT_EQ(area[511], 0xAA);
  const MbrRecord protective = mbr_record(area.data(), 0);
  EXPECT_EQ(protective.type, 0xEE);
  EXPECT_EQ(protective.indicator, 0x00);
  EXPECT_EQ(protective.first, 1u);
  EXPECT_EQ(protective.count, 159u);
  EXPECT_EQ(std::memcmp(&area[447], "\x00\x02\x00", 3), 0);  // UEFI: CHS 0x000200
  const MbrRecord efi = mbr_record(area.data(), 1);
  EXPECT_EQ(efi.type, 0xEF);
  EXPECT_EQ(efi.first, 160u);
  EXPECT_EQ(efi.count, 6u);
  EXPECT_EQ(mbr_record(area.data(), 2).type, 0x00);
  EXPECT_EQ(mbr_record(area.data(), 2).count, 0u);

  // Primary and backup GPT, and the partitions they list.
  std::vector<uint8_t> entries(entry_array_bytes);
  fill_backup_entries(disk, entries.data());
  EXPECT_EQ(std::memcmp(&area[1024], entries.data(), entries.size()), 0);
  const uint64_t last = 4096 - 1;
  const uint64_t backup_entries = 4096 - 4 - 32;
  expect_header(&area[512], 1, last, 2, entries);
  EXPECT_EQ(read_le64(&area[512 + 48]), backup_entries - 1);
  std::vector<uint8_t> backup(512, 0xCC);
  fill_backup_header(disk, backup.data());
  expect_header(backup.data(), last, 1, backup_entries, entries);
  EXPECT_EQ(std::memcmp(&backup[56], &area[512 + 56], 16), 0);  // one disk GUID
  for (size_t at = 1024 + entries.size(); at < area.size(); ++at) ASSERT_EQ(area[at], 0) << at;

  const std::vector<GptPartition> partitions = gpt_partitions(disk);
  ASSERT_EQ(partitions.size(), 3u);
  EXPECT_EQ(partitions[0].first_block, 34u);
  EXPECT_EQ(partitions[0].last_block, 159u);
  EXPECT_EQ(partitions[1].type, efi_system_partition_type);
  EXPECT_EQ(partitions[1].first_block, 160u);
  EXPECT_EQ(partitions[1].last_block, 165u);
  EXPECT_EQ(partitions[2].first_block, 166u);
  EXPECT_EQ(partitions[2].last_block, backup_entries - 1);
  EXPECT_NE(partitions[0].unique, partitions[2].unique);
  EXPECT_EQ(read_le64(&entries[128 + 32]), 160u);
  EXPECT_EQ(read_le16(&entries[128 + 56]), u'E');
  for (size_t at = 3 * 128; at < entries.size(); ++at) ASSERT_EQ(entries[at], 0) << at;
}

TEST(HybridDisk, BiosLoaderGetsItsBlockAndAnActiveRecord) {
  HybridDisk disk = disk_of(512, 16, 2048);  // the EFI image right after the descriptors
  std::vector<uint8_t> code(432, 0x90);
  disk.boot_code = code.data();
  disk.loader_block = 0x123456789;
  std::vector<uint8_t> area(system_area_bytes);
  fill_system_area(disk, area.data());
  EXPECT_EQ(std::memcmp(area.data(), code.data(), code.size()), 0);
  EXPECT_EQ(read_le64(&area[432]), 0x123456789u);
  EXPECT_EQ(mbr_record(area.data(), 0).count, 63u);
  const MbrRecord active = mbr_record(area.data(), 2);
  EXPECT_EQ(active.indicator, 0x80);
  EXPECT_EQ(active.type, 0x00);
  EXPECT_EQ(active.first, 0u);
  EXPECT_EQ(active.count, 1u);
  // An EFI system partition right after the system area.
  EXPECT_EQ(gpt_partitions(disk)[1].type, efi_system_partition_type);
  EXPECT_EQ(gpt_partitions(disk)[0].last_block, 63u);

  // A BIOS-only disk: the protective partition covers it all, the GPT one
  // data partition.
  disk.efi_blocks = 0;
  fill_system_area(disk, area.data());
  EXPECT_EQ(mbr_record(area.data(), 0).count, 2047u);
  EXPECT_EQ(mbr_record(area.data(), 1).indicator, 0x80);
  ASSERT_EQ(gpt_partitions(disk).size(), 1u);
  EXPECT_EQ(gpt_partitions(disk)[0].last_block, disk.last_usable_block());
}

TEST(HybridDisk, LimitsOfTheMbrAndOfTheDisk) {
  // Beyond 2 TiB the MBR cannot name the EFI system partition: the
  // protective partition then covers as much as it can, and the CHS fields
  // say that they cannot.
  HybridDisk big = disk_of(uint64_t{3} << 30, uint64_t{1} << 30, 4096);
  ASSERT_TRUE(can_describe(big));
  std::vector<uint8_t> area(system_area_bytes);
  fill_system_area(big, area.data());
  EXPECT_EQ(mbr_record(area.data(), 0).count, 0xFFFFFFFFu);
  EXPECT_EQ(mbr_record(area.data(), 1).type, 0x00);
  EXPECT_EQ(std::memcmp(&area[451], "\xFF\xFF\xFF", 3), 0);
  EXPECT_EQ(gpt_partitions(big)[1].first_block, uint64_t{1} << 32);

  // An EFI image that reaches into the backup GPT, or starts in the system
  // area, or a disk too small for both tables, cannot be described.
  EXPECT_FALSE(can_describe(disk_of(100, 90, 4096)));
  EXPECT_FALSE(can_describe(disk_of(100, 8, 2048)));
  EXPECT_FALSE(can_describe(disk_of(20, 16, 2048)));
  HybridDisk odd = disk_of(100, 20, 2048);
  odd.total_blocks += 1;
  EXPECT_FALSE(can_describe(odd));
  EXPECT_TRUE(can_describe(disk_of(100, 20, 2048)));
  // The backup entries may lie farther from the end, not in the last sector.
  HybridDisk far = disk_of(100, 20, 2048);
  far.backup_entries_block = 60 * 4;
  ASSERT_TRUE(can_describe(far));
  std::vector<uint8_t> header(512);
  fill_backup_header(far, header.data());
  EXPECT_EQ(read_le64(&header[72]), 240u);
  EXPECT_EQ(read_le64(&header[48]), 239u);
  EXPECT_EQ(read_le64(&header[24]), 399u);
  far.backup_entries_block = 93 * 4;
  EXPECT_FALSE(can_describe(far));
  far.backup_entries_block = 20 * 4;  // over the EFI system partition
  EXPECT_FALSE(can_describe(far));
}

}  // namespace
}  // namespace kestrel::test
