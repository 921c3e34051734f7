// The ISO 9660 volume descriptors: the primary volume descriptor (ECMA-119
// 8.4), the supplementary volume descriptor of the Joliet hierarchy
// (ECMA-119 8.5 with the UCS-2 escape sequence that Joliet defines)
// and the volume descriptor set terminator (ECMA-119 8.3), written where the
// disc map puts them.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "iso9660/iso_records.h"
#include "iso9660/iso_volume.h"

namespace kestrel::iso9660 {
namespace {

// ECMA-119 8.1: the standard identifier and version of every volume
// descriptor; type 1 is the primary descriptor, 255 the set terminator.
constexpr char standard_identifier_text[] = "CD001";
constexpr uint8_t type_primary = 1;
constexpr uint8_t type_supplementary = 2;
constexpr uint8_t type_terminator = 255;
constexpr uint8_t version_1 = 1;

// Joliet: the escape sequence of UCS-2 level 3 (every character allowed).
constexpr uint8_t joliet_escape_sequence[] = {0x25, 0x2F, 0x45};  // "%/E"
// A Joliet volume identifier holds 16 UCS-2 units.
constexpr size_t joliet_volume_identifier_units = 16;

// The volume identifier takes at most 31 characters of the label.
constexpr size_t volume_identifier_characters = 31;
// A label with a character beyond Latin-1 has no 8-bit form.
constexpr char no_volume_identifier[] = "none";
constexpr char16_t first_16bit_character = u'\u0100';

// A text field of the descriptor: the text, upper-cased, then spaces.
void fill_text(const FieldWriter& field, const char* text, size_t length) {
  fill_text_field(field.data(), field.size(), text, length);
}

// The label's characters as their Latin-1 bytes, upper-cased, when every
// one of them is below U+0100.
void fill_volume_identifier(const DiscImage& image, const FieldWriter& field) {
  const std::u16string_view label = image.settings.volume_label;
  char text[volume_identifier_characters] = {};
  size_t length = 0;
  for (const char16_t c : label) {
    if (c >= first_16bit_character) {
      fill_text(field, no_volume_identifier, sizeof no_volume_identifier - 1);
      return;
    }
    if (length < volume_identifier_characters) text[length++] = static_cast<char>(c);
  }
  fill_text(field, text, length);
}

// The application's name: application_id is "*" and the name, zero-padded.
std::string_view application_name(const DiscImage& image) {
  const auto* id = reinterpret_cast<const char*>(image.settings.application_id);
  const size_t id_bytes = sizeof image.settings.application_id;
  size_t length = 0;
  if (id[0] != '\0') {
    while (1 + length < id_bytes && id[1 + length] != '\0') ++length;
  }
  return {id + 1, length};
}

// The volume set identifier: the low 32 bits of the build time and of the
// image size in hexadecimal, so that images built at different times, or of
// different trees, tell their volume sets apart.
std::string volume_set_text(const DiscImage& image) {
  char text[17];
  std::snprintf(text, sizeof text, "%08" PRIX32 "%08" PRIX32,
                static_cast<uint32_t>(image.settings.build_time), image.layout.image_sectors);
  return text;
}

// A text field of the Joliet descriptor: UCS-2 units high byte first, then
// UCS-2 spaces; a field of odd width ends with a zero byte.
void fill_ucs2(const FieldWriter& field, std::u16string_view text) {
  const size_t units = field.size() / 2;
  for (size_t i = 0; i < units; ++i) field.be16(2 * i, i < text.size() ? text[i] : u' ');
}

std::u16string widened(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// The first 16 units of the label, without half of a surrogate pair.
std::u16string_view joliet_volume_identifier(const DiscImage& image) {
  std::u16string_view label = image.settings.volume_label;
  if (label.size() <= joliet_volume_identifier_units) return label;
  size_t units = joliet_volume_identifier_units;
  if (label[units - 1] >= 0xD800 && label[units - 1] <= 0xDBFF) --units;
  return label.substr(0, units);
}

void fill_header(const FieldWriter& sector, uint8_t type) {
  sector.u8<volume_descriptor::type>(type);
  sector.text<volume_descriptor::standard_identifier>(standard_identifier_text);
  sector.u8<volume_descriptor::version>(version_1);
}

// The fields every volume descriptor of the volume records alike: the
// volume's size and the block size, where the hierarchy's path tables and
// root directory lie, and the volume's dates.
void fill_volume_fields(const DiscImage& image, const IsoTree& tree, const FieldWriter& sector) {
  namespace pvd = primary_descriptor;
  sector.both32<pvd::volume_space_size>(image.layout.image_sectors);
  sector.both16<pvd::volume_set_size>(1);
  sector.both16<pvd::volume_sequence_number>(1);
  sector.both16<pvd::logical_block_size>(static_cast<uint16_t>(sector_bytes));
  sector.both32<pvd::path_table_size>(static_cast<uint32_t>(tree.path_table_bytes));
  sector.le32<pvd::type_l_path_table>(tree.path_table_l_sector);
  sector.le32<pvd::optional_type_l_path_table>(0);  // absent
  sector.be32<pvd::type_m_path_table>(tree.path_table_m_sector);
  sector.be32<pvd::optional_type_m_path_table>(0);  // absent

  if (!tree.directories.empty()) {
    DirectoryRecord root;
    root.location = static_cast<uint32_t>(tree.location(tree.directories.front()));
    root.data_length = tree.directories.front().bytes;
    root.recorded = image.settings.build_time;
    root.flags = flag_directory;
    static constexpr uint8_t root_identifier[1] = {self_identifier};
    root.identifier = root_identifier;
    root.identifier_length = 1;
    // The descriptor's copy of the root record never has system use bytes.
    fill_directory_record(sector.at<pvd::root_directory_record>(), root, false);
  }

  make_iso_date17(image.settings.build_time, sector.at<pvd::creation_date>().data());
  sector.bytes<pvd::modification_date>(sector.at<pvd::creation_date>().data(),
                                       pvd::creation_date.width);
  make_iso_date17(std::nullopt, sector.at<pvd::expiration_date>().data());
  make_iso_date17(std::nullopt, sector.at<pvd::effective_date>().data());
  sector.u8<pvd::file_structure_version>(version_1);
}

}  // namespace

void fill_primary_descriptor(const DiscImage& image, const IsoTree& tree, uint8_t* buffer) {
  namespace pvd = primary_descriptor;
  const FieldWriter sector(buffer, pvd::bytes);
  fill_header(sector, type_primary);
  fill_volume_fields(image, tree, sector);
  fill_text(sector.at<pvd::system_identifier>(), nullptr, 0);
  fill_volume_identifier(image, sector.at<pvd::volume_identifier>());
  const std::string volume_set = volume_set_text(image);
  fill_text(sector.at<pvd::volume_set_identifier>(), volume_set.data(), volume_set.size());
  fill_text(sector.at<pvd::publisher_identifier>(), nullptr, 0);
  fill_text(sector.at<pvd::data_preparer_identifier>(), nullptr, 0);
  const std::string_view application = application_name(image);
  fill_text(sector.at<pvd::application_identifier>(), application.data(), application.size());
  fill_text(sector.at<pvd::copyright_file_identifier>(), nullptr, 0);
  fill_text(sector.at<pvd::abstract_file_identifier>(), nullptr, 0);
  fill_text(sector.at<pvd::bibliographic_file_identifier>(), nullptr, 0);
}

// The Joliet descriptor records the label, the volume set and the
// application as they are, in UCS-2.
void fill_joliet_descriptor(const DiscImage& image, const IsoTree& tree, uint8_t* buffer) {
  namespace pvd = primary_descriptor;
  namespace svd = supplementary_descriptor;
  const FieldWriter sector(buffer, pvd::bytes);
  fill_header(sector, type_supplementary);
  sector.u8<svd::volume_flags>(0);  // only registered escape sequences
  sector.bytes<svd::escape_sequences>(joliet_escape_sequence, sizeof joliet_escape_sequence);
  fill_volume_fields(image, tree, sector);
  fill_ucs2(sector.at<pvd::system_identifier>(), {});
  fill_ucs2(sector.at<pvd::volume_identifier>(), joliet_volume_identifier(image));
  fill_ucs2(sector.at<pvd::volume_set_identifier>(), widened(volume_set_text(image)));
  fill_ucs2(sector.at<pvd::publisher_identifier>(), {});
  fill_ucs2(sector.at<pvd::data_preparer_identifier>(), {});
  fill_ucs2(sector.at<pvd::application_identifier>(), widened(application_name(image)));
  fill_ucs2(sector.at<pvd::copyright_file_identifier>(), {});
  fill_ucs2(sector.at<pvd::abstract_file_identifier>(), {});
  fill_ucs2(sector.at<pvd::bibliographic_file_identifier>(), {});
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

void write_primary_descriptor(const DiscImage& image, const IsoTree& tree, SectorEmitter& out) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_primary_descriptor(image, tree, buffer);
  out.emit_sectors(buffer, 1);
}

void write_joliet_descriptor(const DiscImage& image, const IsoTree& tree, SectorEmitter& out) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_joliet_descriptor(image, tree, buffer);
  out.emit_sectors(buffer, 1);
}

void write_set_terminator(const DiscImage&, SectorEmitter& out) {
  uint8_t* buffer = out.get_sector_buffer(1);
  if (buffer != nullptr) fill_header(FieldWriter(buffer, sector_bytes), type_terminator);
  out.emit_sectors(buffer, 1);
}

}  // namespace kestrel::iso9660
