// The map of each layout: which areas an image has, where each starts, and
// what fills it. The three planning functions at the end read like the
// tables of their layouts; the writers before them fill one area each.
#include "engine/disc_map.h"

#include <limits>

#include "engine/hybrid_tables.h"
#include "engine/image_writer.h"
#include "iso9660/iso_volume.h"
#include "udf/udf_volume.h"

namespace kestrel {
namespace {

// Fixed sectors. ECMA-119 6.2.1: the system area takes sectors 0-15, and the
// volume descriptors follow from 16. UDF 2.2.3: an anchor at sector 256; the
// main and reserve volume descriptor sequences and the integrity sequence of
// this program's UDF volumes sit at 32, 48 and 64, each in a 16-sector
// extent. UDF 2.50 images keep every area in 32-sector units: the physical
// partition starts at 288 with the metadata file entry, and the metadata
// file data one unit later.
constexpr uint64_t primary_descriptor_sector = 16;
// El Torito: the boot record (ECMA-119 8.2) is the descriptor at sector 17,
// where the firmware looks for it: right after the primary descriptor.
constexpr uint64_t el_torito_boot_record_sector = 17;
constexpr uint64_t main_sequence_sector = 32;
constexpr uint64_t reserve_sequence_sector_102 = 48;
constexpr uint64_t integrity_sector = 64;
constexpr uint64_t anchor_sector = 256;
constexpr uint64_t metadata_data_sector_250 = udf250_partition_start + image_alignment_sectors;

// Sectors of the fixed-size structures.
constexpr uint64_t recognition_sequence_sectors = 3;  // BEA01, NSR0x, TEA01
constexpr uint64_t boot_catalog_sectors = 1;          // El Torito: at most 64 entries
constexpr uint64_t volume_sequence_sectors = 6;       // five descriptors and a terminator
constexpr uint64_t integrity_sequence_sectors = 2;    // the descriptor and a terminator

constexpr uint64_t max_sector_count = std::numeric_limits<uint32_t>::max();

uint64_t round_up(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

bool still_writing(const ImageWriter& writer) {
  return !writer.write_failed && !writer.report.failed();
}

// --- What fills each area --------------------------------------------------------

bool write_iso_primary_descriptor(ImageWriter& writer, const DiscArea&) {
  iso9660::write_primary_descriptor(writer, writer.iso.primary, writer);
  return still_writing(writer);
}

bool write_iso_set_terminator(ImageWriter& writer, const DiscArea&) {
  iso9660::write_set_terminator(writer, writer);
  return still_writing(writer);
}

bool write_joliet_descriptor(ImageWriter& writer, const DiscArea&) {
  iso9660::write_joliet_descriptor(writer, writer.iso.joliet, writer);
  return still_writing(writer);
}

template <iso9660::Hierarchy hierarchy, bool little_endian>
bool write_iso_path_table(ImageWriter& writer, const DiscArea&) {
  iso9660::write_path_table(writer.iso.tree(hierarchy), writer, little_endian);
  return still_writing(writer);
}

// Every directory of a hierarchy, each at the sector its records point at.
template <iso9660::Hierarchy hierarchy>
bool write_iso_directories(ImageWriter& writer, const DiscArea&) {
  return iso9660::write_iso_directories(writer, writer.iso.tree(hierarchy), writer.iso.record_dates,
                                        writer) &&
         still_writing(writer);
}

bool write_iso_boot_record(ImageWriter& writer, const DiscArea&) {
  iso9660::write_boot_record(writer, writer);
  return still_writing(writer);
}

bool write_iso_boot_catalog(ImageWriter& writer, const DiscArea&) {
  iso9660::write_boot_catalog(writer, writer);
  return still_writing(writer);
}

bool write_udf_recognition_sequence(ImageWriter& writer, const DiscArea&) {
  udf::write_recognition_sequence(writer, writer);
  return still_writing(writer);
}

bool write_udf_volume_sequence(ImageWriter& writer, const DiscArea& area) {
  udf::write_volume_sequence(writer, writer, static_cast<uint32_t>(area.first_sector));
  return still_writing(writer);
}

bool write_udf_integrity_sequence(ImageWriter& writer, const DiscArea& area) {
  udf::write_integrity(writer, writer, static_cast<uint32_t>(area.first_sector));
  udf::write_terminating_descriptor(writer, writer, static_cast<uint32_t>(area.first_sector + 1));
  return still_writing(writer);
}

bool write_udf_anchor(ImageWriter& writer, const DiscArea& area) {
  udf::write_anchor(writer, writer, static_cast<uint32_t>(area.first_sector));
  return still_writing(writer);
}

// The file set descriptor, its terminator, and every directory's identifiers
// and its children's entries. Every later address depends on the structure
// taking exactly the blocks the layout counted; in a UDF 2.50 metadata
// partition the rest of the area is zero.
bool write_udf_file_structure(ImageWriter& writer, const DiscArea& area) {
  const uint64_t blocks = udf::write_file_set(writer, writer);
  if (blocks != writer.layout.file_structure_blocks) {
    writer.report.fail(BuildError::layout_mismatch);
    return false;
  }
  return writer.pad_to(area.end_sector()) && still_writing(writer);
}

// The entry of the metadata file or of its mirror; one entry lists every
// extent of the metadata, which bounds its size.
bool write_udf_metadata_entry(ImageWriter& writer, const DiscArea& area, bool mirror) {
  if (!udf::write_metadata_file_entry(writer, writer, static_cast<uint32_t>(area.first_sector),
                                      mirror)) {
    writer.report.fail(BuildError::image_too_large);
    return false;
  }
  return still_writing(writer);
}

bool write_udf_metadata_file_entry(ImageWriter& writer, const DiscArea& area) {
  return write_udf_metadata_entry(writer, area, false);
}

bool write_udf_metadata_mirror_entry(ImageWriter& writer, const DiscArea& area) {
  return write_udf_metadata_entry(writer, area, true);
}

bool write_file_data(ImageWriter& writer, const DiscArea&) { return writer.write_file_contents(); }

// --- The plan of each layout -------------------------------------------------------

// Adds areas in sector order.
class Planner {
 public:
  explicit Planner(DiscMap& map) : map_(map) { map_.areas.clear(); }

  // An area at `first`, which is not before the end of the area before it.
  uint64_t place(std::string_view name, uint64_t first, uint64_t count, AreaWriter write) {
    map_.areas.push_back(DiscArea{name, first, count, write});
    end_ = first + count;
    return first;
  }
  // An area right after the one before it.
  uint64_t follow(std::string_view name, uint64_t count, AreaWriter write) {
    return place(name, end_, count, write);
  }
  uint64_t end() const { return end_; }
  // The next area follows from `sector` on, which is not before the end of
  // the area before it.
  void continue_at(uint64_t sector) { end_ = sector; }

 private:
  DiscMap& map_;
  uint64_t end_ = 0;
};

bool write_rock_ridge_continuations(ImageWriter& writer, const DiscArea&) {
  return iso9660::write_continuation_areas(writer, writer.iso.primary, writer) &&
         still_writing(writer);
}

// The names of one hierarchy's areas.
struct HierarchyAreas {
  std::string_view path_table_l;
  std::string_view path_table_m;
  std::string_view directories;
};
constexpr HierarchyAreas primary_areas{"ISO 9660 path table, type L", "ISO 9660 path table, type M",
                                       "ISO 9660 directories"};
constexpr HierarchyAreas joliet_areas{"Joliet path table, type L", "Joliet path table, type M",
                                      "Joliet directories"};

// The type L and type M path tables of a hierarchy, then every directory,
// each of the sizes the volume asks for; the volume learns where they lie.
template <iso9660::Hierarchy hierarchy>
void plan_hierarchy(ImageWriter& writer, Planner& plan, const HierarchyAreas& names) {
  iso9660::IsoTree& tree = writer.iso.tree(hierarchy);
  tree.path_table_l_sector = static_cast<uint32_t>(plan.follow(
      names.path_table_l, tree.path_table_sectors, write_iso_path_table<hierarchy, true>));
  tree.path_table_m_sector = static_cast<uint32_t>(plan.follow(
      names.path_table_m, tree.path_table_sectors, write_iso_path_table<hierarchy, false>));
  tree.directory_area_sector = static_cast<uint32_t>(
      plan.follow(names.directories, tree.directory_sectors, write_iso_directories<hierarchy>));
  // The Rock Ridge entries that do not fit their records continue here.
  if (tree.continuation_sectors != 0) {
    tree.continuation_area_sector = static_cast<uint32_t>(
        plan.follow("Rock Ridge continuation areas", tree.continuation_sectors,
                    write_rock_ridge_continuations));
  }
}

// From `first`: the tables and directories of the primary hierarchy, then
// those of the Joliet one.
void plan_iso_tables(ImageWriter& writer, Planner& plan, uint64_t first) {
  plan.continue_at(first);
  plan_hierarchy<iso9660::Hierarchy::primary>(writer, plan, primary_areas);
  if (writer.iso.extensions().joliet)
    plan_hierarchy<iso9660::Hierarchy::joliet>(writer, plan, joliet_areas);
}

// The volume descriptors one after the other from sector 16: the primary
// descriptor, the boot record of a bootable image, the Joliet descriptor,
// and the set terminator.
void plan_iso_descriptors(ImageWriter& writer, Planner& plan) {
  writer.boot.primary_descriptor_sector =
      static_cast<uint32_t>(plan.place("ISO 9660 primary volume descriptor",
                                       primary_descriptor_sector, 1, write_iso_primary_descriptor));
  if (writer.boot.present()) {
    const uint64_t boot_record =
        plan.follow("El Torito boot record volume descriptor", 1, write_iso_boot_record);
    if (boot_record != el_torito_boot_record_sector)
      writer.report.fail(BuildError::layout_mismatch);
  }
  if (writer.iso.extensions().joliet)
    plan.follow("Joliet supplementary volume descriptor", 1, write_joliet_descriptor);
  plan.follow("ISO 9660 volume descriptor set terminator", 1, write_iso_set_terminator);
}

// The boot catalog of a bootable image, right after the descriptors (and the
// UDF recognition sequence that follows them).
void plan_boot_catalog(ImageWriter& writer, Planner& plan) {
  if (!writer.boot.present()) return;
  writer.boot.catalog_sector = static_cast<uint32_t>(
      plan.follow("El Torito boot catalog", boot_catalog_sectors, write_iso_boot_catalog));
}

// With ISO 9660: the descriptors, the UDF recognition sequence after them and
// the boot catalog; without: the recognition sequence at 16.
void plan_udf_recognition(ImageWriter& writer, Planner& plan) {
  const bool with_iso = (writer.settings.fs_flags & fs_iso9660) != 0;
  if (with_iso) plan_iso_descriptors(writer, plan);
  plan.place("UDF volume recognition sequence", with_iso ? plan.end() : primary_descriptor_sector,
             recognition_sequence_sectors, write_udf_recognition_sequence);
  if (with_iso) plan_boot_catalog(writer, plan);
}

// The volume structure every UDF image starts with, after the recognition
// sequence: the main descriptor sequence, the reserve one when it has a
// fixed place, the integrity sequence and the first anchor.
void plan_udf_volume_structure(ImageWriter& writer, Planner& plan, bool fixed_reserve_sequence) {
  VolumeLayout& layout = writer.layout;
  layout.main_sequence_sector =
      static_cast<uint32_t>(plan.place("UDF main volume descriptor sequence", main_sequence_sector,
                                       volume_sequence_sectors, write_udf_volume_sequence));
  if (fixed_reserve_sequence) {
    layout.reserve_sequence_sector = static_cast<uint32_t>(
        plan.place("UDF reserve volume descriptor sequence", reserve_sequence_sector_102,
                   volume_sequence_sectors, write_udf_volume_sequence));
  }
  layout.integrity_sector =
      static_cast<uint32_t>(plan.place("UDF logical volume integrity sequence", integrity_sector,
                                       integrity_sequence_sectors, write_udf_integrity_sequence));
  plan.place("UDF anchor volume descriptor pointer", anchor_sector, 1, write_udf_anchor);
}

// The backup GPT's partition entries of a bootable image that starts from a
// disk, after the last structure (hybrid_tables.h).
void plan_backup_gpt_entries(ImageWriter& writer, Planner& plan) {
  if (!writer.hybrid.wanted) return;
  writer.hybrid.backup_entries_sector = plan.follow(
      "backup GPT partition entries", backup_gpt_entry_sectors, write_backup_gpt_entries);
}

// The image's end, in whole 32-sector units: a UDF volume's closing anchor
// in the last sector; a bootable image's backup GPT header in the last 512
// bytes of the last sector, after the anchor when there is one.
uint64_t close_image(ImageWriter& writer, Planner& plan, bool udf_anchor) {
  const bool gpt = writer.hybrid.wanted;
  const uint64_t image =
      round_up(plan.end() + (udf_anchor || gpt ? 1 : 0), image_alignment_sectors);
  if (udf_anchor && gpt) {
    plan.place("UDF anchor volume descriptor pointer, backup GPT header", image - 1, 1,
               write_udf_anchor_and_backup_gpt_header);
  } else if (udf_anchor) {
    plan.place("UDF anchor volume descriptor pointer", image - 1, 1, write_udf_anchor);
  } else if (gpt) {
    plan.place("backup GPT header", image - 1, 1, write_backup_gpt_header);
  }
  return image;
}

// The end of a UDF image with areas after the last UDF extent that are no
// part of the UDF volume (the ISO 9660 tables of a bootable UDF 2.50 image,
// the backup GPT's entries): the reserve sequence follows them, its extent
// ending right before the closing anchor. Readers that take the end of the
// volume's last extent for the volume's end (7-Zip) then find nothing after
// it but the anchor, which they also look for in the image's last sector.
uint64_t close_udf_after_foreign_areas(ImageWriter& writer, Planner& plan) {
  const uint64_t image =
      round_up(plan.end() + udf::volume_sequence_extent_sectors + 1, image_alignment_sectors);
  writer.layout.reserve_sequence_sector = static_cast<uint32_t>(plan.place(
      "UDF reserve volume descriptor sequence", image - 1 - udf::volume_sequence_extent_sectors,
      volume_sequence_sectors, write_udf_volume_sequence));
  return close_image(writer, plan, true);
}

// ISO 9660 only: descriptors, tables and directories from sector 16, then
// the file data, in whole 32-sector units.
uint64_t plan_iso9660(ImageWriter& writer, Planner& plan) {
  VolumeLayout& layout = writer.layout;
  plan_iso_descriptors(writer, plan);
  plan_boot_catalog(writer, plan);
  layout.data_base = static_cast<uint32_t>(plan.end());
  plan_iso_tables(writer, plan, plan.end());
  layout.data_start = static_cast<uint32_t>(plan.end() - layout.data_base);
  plan.follow("file data", layout.data_sectors, write_file_data);
  plan_backup_gpt_entries(writer, plan);
  return close_image(writer, plan, false);
}

// UDF 1.02, with the ISO 9660 side of a bridge image when it has one: the
// partition follows the ISO 9660 tables (or the first anchor) and holds the
// file structure, then the file data; a last anchor ends the image.
uint64_t plan_udf102(ImageWriter& writer, Planner& plan, uint64_t structure_blocks) {
  VolumeLayout& layout = writer.layout;
  const bool bridge = (writer.settings.fs_flags & fs_iso9660) != 0;
  // The reserve sequence has its place at 48, unless the image ends with
  // the backup GPT (close_udf_after_foreign_areas).
  const bool reserve_at_end = writer.hybrid.wanted;
  plan_udf_recognition(writer, plan);
  plan_udf_volume_structure(writer, plan, !reserve_at_end);
  if (bridge) plan_iso_tables(writer, plan, bridge_area_start);
  layout.data_base = static_cast<uint32_t>(plan.end());
  layout.metadata_blocks = static_cast<uint32_t>(structure_blocks);
  layout.data_start = layout.metadata_blocks;
  plan.follow("UDF file structure", structure_blocks, write_udf_file_structure);
  plan.follow("file data", layout.data_sectors, write_file_data);
  layout.partition_length = static_cast<uint32_t>(plan.end() - layout.data_base);
  if (!reserve_at_end) return close_image(writer, plan, true);
  plan_backup_gpt_entries(writer, plan);
  return close_udf_after_foreign_areas(writer, plan);
}

// UDF 2.50 with a metadata partition, every area in 32-sector units: the
// metadata file entry and its data, the file data, the mirror's entry and
// data, then the reserve descriptor sequence and a last anchor.
uint64_t plan_udf250(ImageWriter& writer, Planner& plan, uint64_t structure_blocks) {
  VolumeLayout& layout = writer.layout;
  const uint64_t metadata = round_up(structure_blocks, image_alignment_sectors);
  plan_udf_recognition(writer, plan);
  plan_udf_volume_structure(writer, plan, false);
  layout.data_base = udf250_partition_start;
  plan.place("UDF metadata file entry", udf250_partition_start, 1, write_udf_metadata_file_entry);
  plan.place("UDF metadata (file structure)", metadata_data_sector_250, metadata,
             write_udf_file_structure);
  layout.metadata_blocks = static_cast<uint32_t>(metadata);
  layout.data_start = static_cast<uint32_t>(plan.end() - udf250_partition_start);
  plan.follow("file data", layout.data_sectors, write_file_data);
  const uint64_t mirror_entry =
      plan.follow("UDF metadata mirror file entry", 1, write_udf_metadata_mirror_entry);
  // The mirror's data starts at the first 32-sector unit after its entry.
  const uint64_t mirror_data =
      (mirror_entry / image_alignment_sectors + 1) * image_alignment_sectors;
  plan.place("UDF metadata mirror (file structure)", mirror_data, metadata,
             write_udf_file_structure);
  layout.mirror_entry_sector = static_cast<uint32_t>(mirror_entry);
  layout.mirror_data_sector = static_cast<uint32_t>(mirror_data);
  layout.partition_length = static_cast<uint32_t>(mirror_data + metadata - udf250_partition_start);
  if (writer.settings.fs_flags & fs_iso9660) {
    // A bootable image carries an ISO 9660 volume of the whole tree beside
    // the UDF one, sharing its file data; its tables and directories, and the
    // backup GPT's entries, lie outside the UDF partition.
    plan_iso_tables(writer, plan, plan.end());
    plan_backup_gpt_entries(writer, plan);
    return close_udf_after_foreign_areas(writer, plan);
  }
  layout.reserve_sequence_sector =
      static_cast<uint32_t>(plan.follow("UDF reserve volume descriptor sequence",
                                        volume_sequence_sectors, write_udf_volume_sequence));
  return close_image(writer, plan, true);
}

}  // namespace

bool plan_disc_map(ImageWriter& writer, uint64_t file_structure_blocks) {
  const uint32_t flags = writer.settings.fs_flags;
  if (!(flags & (fs_iso9660 | fs_udf))) {
    writer.report.fail(BuildError::invalid_fs_code);
    return false;
  }
  // Every number below fits 64 bits: the tree's counts and sizes are 32-bit.
  Planner plan(writer.map);
  // A bootable image that starts from a disk carries its MBR and primary GPT
  // in the system area.
  if (writer.hybrid.wanted)
    plan.place("MBR and primary GPT", 0, hybrid_system_area_sectors, write_hybrid_system_area);
  uint64_t image = 0;
  if (flags == fs_iso9660) {
    image = plan_iso9660(writer, plan);
  } else if ((flags & fs_udf) && writer.settings.udf_revision >= udf_revision_250) {
    image = plan_udf250(writer, plan, file_structure_blocks);
  } else {
    image = plan_udf102(writer, plan, file_structure_blocks);
  }
  if (writer.report.failed()) return false;
  if (image > max_sector_count) {
    writer.report.fail(BuildError::image_too_large);
    return false;
  }
  writer.layout.file_structure_blocks = static_cast<uint32_t>(file_structure_blocks);
  writer.layout.image_sectors = static_cast<uint32_t>(image);
  writer.map.image_sectors = image;
  return true;
}

}  // namespace kestrel
