#include "partition/hybrid_disk.h"

#include <algorithm>
#include <cstring>

#include "partition/crc32.h"
#include "partition/gpt_records.h"
#include "partition/mbr_records.h"

namespace kestrel::partition {
namespace {

constexpr uint64_t max_mbr_block = 0xFFFFFFFF;

// Boot code for a disk that has no BIOS loader: INT 18h tells the BIOS that
// this disk does not boot, so it tries its next boot device (or says that
// there is none), instead of running zeros; should it return, halt.
constexpr uint8_t no_loader_boot_code[] = {
    0xCD, 0x18,  // int 0x18
    0xF4,        // hlt
    0xEB, 0xFD,  // jmp back to hlt
};

// The cylinder, head and sector of a block in the geometry every BIOS
// translates large disks to (255 heads, 63 sectors a track), as the three
// CHS bytes of a partition record; a block beyond 1024 cylinders gets
// `beyond`.
constexpr uint32_t heads = 255;
constexpr uint32_t sectors_per_track = 63;
constexpr uint32_t max_cylinder = 1023;
struct Chs {
  uint8_t bytes[3];
};
constexpr Chs chs_max_address = {{0xFE, 0xFF, 0xFF}};        // cylinder 1023, head 254, sector 63
constexpr Chs chs_not_representable = {{0xFF, 0xFF, 0xFF}};  // UEFI 5.2.3

Chs chs_of(uint64_t block, Chs beyond) {
  const uint64_t cylinder = block / (heads * sectors_per_track);
  if (cylinder > max_cylinder) return beyond;
  const auto head = static_cast<uint8_t>(block / sectors_per_track % heads);
  const auto sector = static_cast<uint8_t>(block % sectors_per_track + 1);
  return {{head, static_cast<uint8_t>(sector | ((cylinder >> 8) << 6)),
           static_cast<uint8_t>(cylinder & 0xFF)}};
}

void fill_mbr_record(const FieldWriter& record, uint8_t indicator, uint8_t type, uint64_t first,
                     uint64_t count, Chs beyond) {
  record.u8<mbr_partition::boot_indicator>(indicator);
  record.bytes<mbr_partition::starting_chs>(chs_of(first, beyond).bytes, 3);
  record.u8<mbr_partition::os_type>(type);
  record.bytes<mbr_partition::ending_chs>(chs_of(first + count - 1, beyond).bytes, 3);
  record.le32<mbr_partition::starting_lba>(static_cast<uint32_t>(first));
  record.le32<mbr_partition::size_in_lba>(static_cast<uint32_t>(count));
}

// The MBR's disk signature, from the disk GUID, never zero (zero would ask
// some systems to write one onto the stick).
uint32_t disk_signature(const HybridDisk& disk) {
  const uint32_t value = read_le32(disk.disk_guid.bytes.data());
  return value != 0 ? value : 1;
}

void fill_mbr(const HybridDisk& disk, uint8_t* block) {
  const FieldWriter mbr_block(block, mbr::bytes);
  if (disk.boot_code != nullptr) {
    mbr_block.bytes<mbr::boot_code>(disk.boot_code, mbr::boot_code.width);
    mbr_block.le64<mbr::loader_block>(disk.loader_block);
  } else {
    mbr_block.bytes<mbr::boot_code>(no_loader_boot_code, sizeof no_loader_boot_code);
  }
  mbr_block.le32<mbr::disk_signature>(disk_signature(disk));
  const FieldWriter records = mbr_block.at<mbr::partition_records>();
  size_t used = 0;
  const auto next_record = [&] { return records.at(mbr_partition::bytes * used++); };
  // Firmware that reads only the MBR finds the EFI system partition in it;
  // the protective partition then covers the blocks in front of it (the
  // GPT), so that no two records overlap.
  const bool efi_in_mbr = disk.has_efi_system_partition() &&
                          disk.efi_first_block + disk.efi_blocks - 1 <= max_mbr_block;
  const uint64_t protected_blocks =
      std::min(efi_in_mbr ? disk.efi_first_block - 1 : disk.total_blocks - 1, max_mbr_block);
  fill_mbr_record(next_record(), mbr_partition::inactive, mbr_partition::type_gpt_protective, 1,
                  protected_blocks, chs_not_representable);
  if (efi_in_mbr) {
    fill_mbr_record(next_record(), mbr_partition::inactive, mbr_partition::type_efi_system,
                    disk.efi_first_block, disk.efi_blocks, chs_max_address);
  }
  // Some BIOSes start a disk only when one record is active; an empty record
  // over the MBR alone satisfies them and leaves every partition as it is.
  if (disk.boot_code != nullptr)
    fill_mbr_record(next_record(), mbr_partition::active, mbr_partition::type_empty, 0, 1,
                    chs_max_address);
  mbr_block.bytes<mbr::boot_signature>(mbr::boot_signature_bytes, 2);
}

void fill_entry(const GptPartition& partition, const FieldWriter& entry) {
  entry.bytes<gpt_entry::partition_type_guid>(partition.type.bytes.data(), 16);
  entry.bytes<gpt_entry::unique_partition_guid>(partition.unique.bytes.data(), 16);
  entry.le64<gpt_entry::starting_lba>(partition.first_block);
  entry.le64<gpt_entry::ending_lba>(partition.last_block);
  entry.le64<gpt_entry::attributes>(partition.attributes);
  const FieldWriter name = entry.at<gpt_entry::partition_name>();
  const size_t units = std::min(partition.name.size(), gpt_entry::partition_name.width / 2 - 1);
  for (size_t i = 0; i < units; ++i) name.le16(2 * i, partition.name[i]);
}

std::vector<uint8_t> entry_array(const HybridDisk& disk) {
  std::vector<uint8_t> entries(entry_array_bytes, 0);
  const FieldWriter array(entries.data(), entries.size());
  size_t index = 0;
  for (const GptPartition& partition : gpt_partitions(disk))
    fill_entry(partition, array.at(gpt_entry::bytes * index++));
  return entries;
}

// UEFI 5.3.2: the primary header at block 1 with its entries after it, the
// backup at the last block with its entries before it; each names the other.
void fill_header(const HybridDisk& disk, const std::vector<uint8_t>& entries, bool backup,
                 uint8_t* block) {
  const FieldWriter header(block, gpt_header::bytes);
  header.text<gpt_header::signature>(gpt_header::signature_text);
  header.le32<gpt_header::revision>(gpt_header::revision_1_0);
  header.le32<gpt_header::header_size>(gpt_header::used_bytes);
  const uint64_t primary = 1;
  header.le64<gpt_header::my_lba>(backup ? disk.backup_header_block() : primary);
  header.le64<gpt_header::alternate_lba>(backup ? primary : disk.backup_header_block());
  header.le64<gpt_header::first_usable_lba>(first_usable_block);
  header.le64<gpt_header::last_usable_lba>(disk.last_usable_block());
  header.bytes<gpt_header::disk_guid>(disk.disk_guid.bytes.data(), 16);
  header.le64<gpt_header::partition_entry_lba>(backup ? disk.backup_entries_block : primary + 1);
  header.le32<gpt_header::number_of_partition_entries>(entry_count);
  header.le32<gpt_header::size_of_partition_entry>(gpt_entry::bytes);
  header.le32<gpt_header::partition_entry_array_crc32>(crc32(entries.data(), entries.size()));
  // The header's CRC is taken with its own field zero, which it still is.
  header.le32<gpt_header::header_crc32>(crc32(block, gpt_header::used_bytes));
}

constexpr uint64_t data_attributes =
    gpt_entry::required_partition | gpt_entry::basic_data_read_only | gpt_entry::basic_data_hidden |
    gpt_entry::basic_data_no_drive_letter;
constexpr std::u16string_view data_name = u"Disc image";
constexpr std::u16string_view efi_name = u"EFI system partition";

}  // namespace

bool can_describe(const HybridDisk& disk) {
  const uint64_t sector_blocks = 2048 / block_bytes;
  if (disk.total_blocks % sector_blocks != 0 || disk.total_blocks < sector_blocks) return false;
  const uint64_t last_sector = disk.total_blocks - sector_blocks;
  if (disk.backup_entries_block <= system_area_blocks || disk.backup_entries_block > last_sector ||
      last_sector - disk.backup_entries_block < entry_array_blocks)
    return false;
  if (!disk.has_efi_system_partition()) return true;
  return disk.efi_first_block >= system_area_blocks &&
         disk.efi_first_block < disk.backup_entries_block &&
         disk.efi_blocks <= disk.backup_entries_block - disk.efi_first_block;
}

std::vector<GptPartition> gpt_partitions(const HybridDisk& disk) {
  std::vector<GptPartition> partitions;
  const auto add = [&](const Guid& type, uint64_t first, uint64_t last, uint64_t attributes,
                       std::u16string_view name) {
    if (first > last) return;
    const Guid unique = derived_guid(disk.disk_guid.bytes.data(), disk.disk_guid.bytes.size(),
                                     partitions.size() + 1);
    partitions.push_back(GptPartition{type, unique, first, last, attributes, name});
  };
  const uint64_t last = disk.last_usable_block();
  if (!disk.has_efi_system_partition()) {
    add(basic_data_partition_type, first_usable_block, last, data_attributes, data_name);
    return partitions;
  }
  const uint64_t efi_last = disk.efi_first_block + disk.efi_blocks - 1;
  if (disk.efi_first_block > first_usable_block)
    add(basic_data_partition_type, first_usable_block, disk.efi_first_block - 1, data_attributes,
        data_name);
  add(efi_system_partition_type, disk.efi_first_block, efi_last, gpt_entry::required_partition,
      efi_name);
  if (efi_last < last)
    add(basic_data_partition_type, efi_last + 1, last, data_attributes, data_name);
  return partitions;
}

void fill_system_area(const HybridDisk& disk, uint8_t* area) {
  std::memset(area, 0, system_area_bytes);
  fill_mbr(disk, area);
  const std::vector<uint8_t> entries = entry_array(disk);
  fill_header(disk, entries, false, area + block_bytes);
  std::memcpy(area + 2 * block_bytes, entries.data(), entries.size());
}

void fill_backup_entries(const HybridDisk& disk, uint8_t* entries) {
  const std::vector<uint8_t> array = entry_array(disk);
  std::memcpy(entries, array.data(), array.size());
}

void fill_backup_header(const HybridDisk& disk, uint8_t* block) {
  std::memset(block, 0, gpt_header::bytes);
  fill_header(disk, entry_array(disk), true, block);
}

}  // namespace kestrel::partition
