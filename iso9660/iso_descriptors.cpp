// The ISO 9660 volume descriptors: the primary volume descriptor (ECMA-119
// 8.4) at sector 16 and the volume descriptor set terminator (ECMA-119 8.3)
// at sector 17.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

constexpr uint32_t primary_descriptor_sector = 16;
constexpr uint32_t terminator_sector = 17;

// ECMA-119 8.1 Volume Descriptor header.
constexpr size_t descriptor_type = 0;
constexpr size_t standard_identifier = 1;
constexpr size_t descriptor_version = 6;
constexpr char standard_identifier_text[] = "CD001";
constexpr uint8_t type_primary = 1;
constexpr uint8_t type_terminator = 255;
constexpr uint8_t version_1 = 1;

// ECMA-119 8.4 Primary Volume Descriptor.
namespace pvd {
constexpr size_t system_identifier = 8;
constexpr size_t system_identifier_width = 32;
constexpr size_t volume_identifier = 40;
constexpr size_t volume_identifier_width = 32;
constexpr size_t volume_space_size = 80;        // both-endian 32-bit
constexpr size_t volume_set_size = 120;         // both-endian 16-bit
constexpr size_t volume_sequence_number = 124;  // both-endian 16-bit
constexpr size_t logical_block_size = 128;      // both-endian 16-bit
constexpr size_t path_table_size = 132;         // both-endian 32-bit
constexpr size_t type_l_path_table = 140;       // little-endian 32-bit
constexpr size_t optional_type_l_path_table = 144;
constexpr size_t type_m_path_table = 148;  // big-endian 32-bit
constexpr size_t optional_type_m_path_table = 152;
constexpr size_t root_directory_record = 156;  // 34 bytes
constexpr size_t volume_set_identifier = 190;
constexpr size_t publisher_identifier = 318;
constexpr size_t data_preparer_identifier = 446;
constexpr size_t application_identifier = 574;
constexpr size_t long_identifier_width = 128;
constexpr size_t copyright_file_identifier = 702;
constexpr size_t abstract_file_identifier = 739;
constexpr size_t bibliographic_file_identifier = 776;
constexpr size_t file_identifier_width = 37;
constexpr size_t creation_date = 813;
constexpr size_t modification_date = 830;
constexpr size_t expiration_date = 847;
constexpr size_t effective_date = 864;
constexpr size_t date_width = 17;
constexpr size_t file_structure_version = 881;
}  // namespace pvd

// d-string compression IDs (ECMA-167 1/7.2.12; UDF 2.1.1).
constexpr uint8_t dstring_8bit = 8;
constexpr size_t label_bytes = sizeof(VolumeSettings::volume_label);
// The volume identifier takes at most 31 characters of the label.
constexpr size_t volume_identifier_characters = 31;
// A label that needs 16-bit characters has no 8-bit form.
constexpr char no_volume_identifier[] = "none";

void fill_spaces(const FieldWriter& sector, size_t offset, size_t width) {
  fill_text_field(sector.at(offset).data(), width, nullptr, 0);
}

void fill_volume_identifier(const DiscImage& image, const FieldWriter& sector) {
  uint8_t* field = sector.at(pvd::volume_identifier).data();
  const uint8_t* label = image.settings.volume_label;
  if (label[0] != dstring_8bit) {
    fill_text_field(field, pvd::volume_identifier_width, no_volume_identifier,
                    sizeof no_volume_identifier - 1);
    return;
  }
  // The last byte of the d-string counts the used bytes, compression ID included.
  const size_t used = label[label_bytes - 1];
  size_t characters = used == 0 ? 0 : used - 1;
  if (characters > label_bytes - 2) characters = label_bytes - 2;
  if (characters > volume_identifier_characters) characters = volume_identifier_characters;
  fill_text_field(field, pvd::volume_identifier_width, reinterpret_cast<const char*>(label + 1),
                  characters);
}

void fill_application_identifier(const DiscImage& image, const FieldWriter& sector) {
  // application_id is "*" and the name, zero-padded; the field takes the name.
  const auto* id = reinterpret_cast<const char*>(image.settings.application_id);
  const size_t id_bytes = sizeof image.settings.application_id;
  size_t length = 0;
  if (id[0] != '\0') {
    while (1 + length < id_bytes && id[1 + length] != '\0') ++length;
  }
  fill_text_field(sector.at(pvd::application_identifier).data(), pvd::long_identifier_width, id + 1,
                  length);
}

// The volume set identifier: the low 32 bits of the build time and of the
// image size in hexadecimal, so that images built at different times, or of
// different trees, tell their volume sets apart.
void fill_volume_set_identifier(const DiscImage& image, const FieldWriter& sector) {
  char text[17];
  std::snprintf(text, sizeof text, "%08" PRIX32 "%08" PRIX32,
                static_cast<uint32_t>(image.settings.build_time), image.layout.image_sectors);
  fill_text_field(sector.at(pvd::volume_set_identifier).data(), pvd::long_identifier_width, text,
                  16);
}

void fill_header(const FieldWriter& sector, uint8_t type) {
  sector.u8(descriptor_type, type);
  sector.text(standard_identifier, standard_identifier_text);
  sector.u8(descriptor_version, version_1);
}

}  // namespace

void fill_primary_descriptor(const DiscImage& image, uint8_t* buffer) {
  const FieldWriter sector(buffer, sector_bytes);
  fill_header(sector, type_primary);
  fill_spaces(sector, pvd::system_identifier, pvd::system_identifier_width);
  fill_volume_identifier(image, sector);
  sector.both32(pvd::volume_space_size, image.layout.image_sectors);
  sector.both16(pvd::volume_set_size, 1);
  sector.both16(pvd::volume_sequence_number, 1);
  sector.both16(pvd::logical_block_size, static_cast<uint16_t>(sector_bytes));
  sector.both32(pvd::path_table_size, image.layout.path_table_bytes);
  sector.le32(pvd::type_l_path_table, image.layout.iso_area_start);
  sector.le32(pvd::optional_type_l_path_table, 0);  // absent
  sector.be32(pvd::type_m_path_table,
              image.layout.iso_area_start + image.layout.path_table_sectors);
  sector.be32(pvd::optional_type_m_path_table, 0);  // absent

  if (image.tree.root != nullptr) {
    DirectoryRecord root;
    root.location = static_cast<uint32_t>(directory_location(image, *image.tree.root));
    root.data_length = image.tree.root->iso_dir_bytes;
    root.recorded = image.settings.build_time;
    root.flags = flag_directory;
    static constexpr uint8_t root_identifier[1] = {self_identifier};
    root.identifier = root_identifier;
    root.identifier_length = 1;
    // The descriptor's copy of the root record never has system use bytes.
    fill_directory_record(sector.at(pvd::root_directory_record), root, false);
  }

  fill_volume_set_identifier(image, sector);
  fill_spaces(sector, pvd::publisher_identifier, pvd::long_identifier_width);
  fill_spaces(sector, pvd::data_preparer_identifier, pvd::long_identifier_width);
  fill_application_identifier(image, sector);
  fill_spaces(sector, pvd::copyright_file_identifier, pvd::file_identifier_width);
  fill_spaces(sector, pvd::abstract_file_identifier, pvd::file_identifier_width);
  fill_spaces(sector, pvd::bibliographic_file_identifier, pvd::file_identifier_width);

  make_iso_date17(image.settings.build_time, sector.at(pvd::creation_date).data());
  sector.bytes(pvd::modification_date, sector.at(pvd::creation_date).data(), pvd::date_width);
  make_iso_date17(std::nullopt, sector.at(pvd::expiration_date).data());
  make_iso_date17(std::nullopt, sector.at(pvd::effective_date).data());
  sector.u8(pvd::file_structure_version, version_1);
}

void fill_text_field(uint8_t* destination, size_t width, const char* text, size_t text_length) {
  const size_t count = text == nullptr ? 0 : (text_length < width ? text_length : width);
  for (size_t i = 0; i < count; ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    destination[i] = static_cast<uint8_t>(c);
  }
  std::memset(destination + count, ' ', width - count);
}

void write_primary_descriptor(const DiscImage& image, SectorEmitter& out) {
  out.expect_position(primary_descriptor_sector);
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_primary_descriptor(image, buffer);
  out.emit_sectors(buffer, 1);
}

void write_set_terminator(const DiscImage&, SectorEmitter& out) {
  out.expect_position(terminator_sector);
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_header(FieldWriter(buffer, sector_bytes), type_terminator);
  out.emit_sectors(buffer, 1);
}

}  // namespace kestrel::iso9660
