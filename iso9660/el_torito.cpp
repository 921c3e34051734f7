// The El Torito side of a bootable image: the boot record volume descriptor
// that points at the boot catalog, the catalog with one entry per boot file,
// and the boot information table patched into a loader's copy in the image.
#include "iso9660/el_torito_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

// ECMA-119 8.2: a boot record is volume descriptor type 0; El Torito names
// its boot system with this text, padded with zero bytes.
constexpr uint8_t type_boot_record = 0;
constexpr char standard_identifier_text[] = "CD001";
constexpr uint8_t version_1 = 1;
constexpr char el_torito_system_identifier[] = "EL TORITO SPECIFICATION";

// El Torito 2.1 to 2.4 values.
constexpr uint8_t validation_header_id = 0x01;
constexpr uint8_t validation_key_55 = 0x55;
constexpr uint8_t validation_key_aa = 0xAA;
constexpr uint8_t bootable_indicator = 0x88;
constexpr uint8_t media_no_emulation = 0x00;
constexpr uint16_t default_load_segment = 0;  // the firmware's 0x7C0
constexpr uint8_t section_header_more = 0x90;
constexpr uint8_t section_header_final = 0x91;

void fill_boot_entry(const DiscImage& image, const BootImage& boot, const FieldWriter& entry) {
  entry.u8<boot_entry::boot_indicator>(bootable_indicator);
  entry.u8<boot_entry::media_type>(media_no_emulation);
  entry.le16<boot_entry::load_segment>(default_load_segment);
  entry.le16<boot_entry::sector_count>(boot.load_sectors);
  entry.le32<boot_entry::load_sector>(
      boot.node == nullptr ? 0 : static_cast<uint32_t>(image.layout.file_data_sector(*boot.node)));
}

void fill_validation_entry(uint8_t platform_id, const FieldWriter& entry) {
  entry.u8<validation_entry::header_id>(validation_header_id);
  entry.u8<validation_entry::platform_id>(platform_id);
  entry.u8<validation_entry::key_55>(validation_key_55);
  entry.u8<validation_entry::key_aa>(validation_key_aa);
  // The checksum makes the sum of the entry's 16-bit words zero.
  uint16_t sum = 0;
  for (size_t at = 0; at < catalog_entry_bytes; at += 2)
    sum = static_cast<uint16_t>(sum + read_le16(entry.data() + at));
  entry.le16<validation_entry::checksum>(static_cast<uint16_t>(0x10000 - sum));
}

}  // namespace

void fill_boot_record(const DiscImage& image, uint8_t* buffer) {
  const FieldWriter sector(buffer, boot_record::bytes);
  sector.u8<boot_record::type>(type_boot_record);
  sector.text<boot_record::standard_identifier>(standard_identifier_text);
  sector.u8<boot_record::version>(version_1);
  sector.text<boot_record::boot_system_identifier>(el_torito_system_identifier);
  sector.le32<boot_record::catalog_sector>(image.boot.catalog_sector);
}

// The validation entry names the initial entry's platform; the initial entry
// is the first boot file; every further file gets a section of its own,
// the last one marked final.
void fill_boot_catalog(const DiscImage& image, uint8_t* buffer) {
  const FieldWriter catalog(buffer, sector_bytes);
  const std::vector<BootImage>& images = image.boot.images;
  if (images.empty()) return;
  size_t at = 0;
  fill_validation_entry(images.front().platform_id, catalog.at(at));
  at += catalog_entry_bytes;
  fill_boot_entry(image, images.front(), catalog.at(at));
  at += catalog_entry_bytes;
  for (size_t i = 1; i < images.size(); ++i) {
    const FieldWriter header = catalog.at(at);
    header.u8<section_header::header_indicator>(i + 1 == images.size() ? section_header_final
                                                                       : section_header_more);
    header.u8<section_header::platform_id>(images[i].platform_id);
    header.le16<section_header::entry_count>(1);
    at += catalog_entry_bytes;
    fill_boot_entry(image, images[i], catalog.at(at));
    at += catalog_entry_bytes;
  }
}

void fill_boot_info_table(const DiscImage& image, const BootImage& boot, uint8_t* file_sector) {
  namespace table = boot_info_table;
  const FieldWriter out(file_sector + table::offset_in_file, table::bytes);
  out.le32<table::primary_descriptor_sector>(image.boot.primary_descriptor_sector);
  out.le32<table::file_sector>(
      boot.node == nullptr ? 0 : static_cast<uint32_t>(image.layout.file_data_sector(*boot.node)));
  out.le32<table::file_length>(boot.node == nullptr ? 0 : static_cast<uint32_t>(boot.node->size));
  out.le32<table::checksum>(boot.copy_checksum());
  out.fill<table::reserved>(0);
}

uint32_t add_boot_checksum(uint32_t sum, const uint8_t* bytes, size_t count, uint64_t file_offset) {
  size_t at = 0;
  if (file_offset < boot_info_table::checksum_start) {
    const uint64_t skip = boot_info_table::checksum_start - file_offset;
    if (skip >= count) return sum;
    at = static_cast<size_t>(skip);
  }
  for (; at < count; at += 4) {
    uint8_t word[4] = {};
    for (size_t i = 0; i < 4 && at + i < count; ++i) word[i] = bytes[at + i];
    sum += read_le32(word);
  }
  return sum;
}

void write_boot_record(const DiscImage& image, SectorEmitter& out) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_boot_record(image, buffer);
  out.emit_sectors(buffer, 1);
}

void write_boot_catalog(const DiscImage& image, SectorEmitter& out) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_boot_catalog(image, buffer);
  out.emit_sectors(buffer, 1);
}

}  // namespace kestrel::iso9660
