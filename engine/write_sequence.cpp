// The write sequence: every structure and every file's contents appended as
// whole sectors in image order, from the first sector to the last, for each
// file-system choice.
#include "engine/image_writer.h"
#include "engine/tree_walk.h"
#include "iso9660/iso_volume.h"
#include "udf/udf_volume.h"

namespace kestrel {
namespace {

// Fixed sectors of the UDF volume structure (UDF 2.2.3: the anchor at 256).
constexpr uint32_t main_sequence_sector = 32;
constexpr uint32_t reserve_sequence_sector_102 = 48;
constexpr uint32_t integrity_sector = 64;
constexpr uint32_t anchor_sector = 256;
constexpr uint32_t primary_descriptor_sector = 16;
constexpr uint32_t set_terminator_sector = 17;
// UDF 2.50: the metadata file data starts one 32-sector unit into the partition.
constexpr uint32_t metadata_data_offset = 32;

}  // namespace

bool ImageWriter::write_sequence(SectorOutput& sink, ProgressHook hook, void* context) {
  sink_ = &sink;
  hook_ = hook;
  hook_context_ = context;
  emitted_sectors = 0;
  write_failed = false;
  content_bytes_copied = 0;
  if (failed() || root == nullptr || image_sectors == 0) {
    write_failed = true;
    return false;
  }

  // The files are read from here on, while the structures are written.
  if (!start_reading_contents()) return false;
  bool ok = false;
  if (fs_flags == fs_iso9660) {
    ok = write_iso_only();
  } else if ((fs_flags & fs_udf) && udf_revision >= udf_revision_250) {
    ok = write_udf250();
  } else if (fs_flags & fs_udf) {
    ok = write_udf102();
  }
  ok = ok && !write_failed && !failed();
  if (ok && emitted_sectors != image_sectors) {
    fail(BuildError::layout_mismatch);
    ok = false;
  }
  content_reader_.reset();
  sink_ = nullptr;
  hook_ = nullptr;
  return ok;
}

// Path tables and directories, from iso_area_start.
static void write_iso_tables_and_directories(ImageWriter& writer) {
  writer.expect_position(writer.iso_area_start);
  write_path_table(writer, true);
  write_path_table(writer, false);
  walk_directories_breadth_first(writer.root, ChildOrder::iso9660, [&](SourceNode& directory) {
    writer.expect_position(static_cast<uint64_t>(writer.iso_area_start) +
                           2 * writer.path_table_sectors + directory.iso_dir_sector);
    write_iso_directory(writer, directory);
    return !writer.write_failed;
  });
}

bool ImageWriter::write_iso_only() {
  emit_zero_sectors(system_area_sectors);
  expect_position(primary_descriptor_sector);
  write_primary_descriptor(*this);
  expect_position(set_terminator_sector);
  write_set_terminator(*this);
  write_iso_tables_and_directories(*this);
  expect_position(file_data_sector_start());
  if (!write_file_contents()) return false;
  pad_to(image_sectors);
  return !write_failed;
}

bool ImageWriter::write_udf102() {
  emit_zero_sectors(system_area_sectors);
  if (fs_flags & fs_iso9660) {
    expect_position(primary_descriptor_sector);
    write_primary_descriptor(*this);
    expect_position(set_terminator_sector);
    write_set_terminator(*this);
  }
  write_recognition_sequence(*this);
  pad_to(main_sequence_sector);
  write_volume_sequence(*this, main_sequence_sector);
  pad_to(reserve_sequence_sector_102);
  write_volume_sequence(*this, reserve_sequence_sector_102);
  pad_to(integrity_sector);
  write_integrity(*this, integrity_sector);
  write_terminating_descriptor(*this, integrity_sector + 1);
  pad_to(anchor_sector);
  write_anchor(*this, anchor_sector);
  if (fs_flags & fs_iso9660) write_iso_tables_and_directories(*this);
  expect_position(data_base);
  const uint64_t blocks = write_file_set(*this);
  // Every later address depends on the file structure taking exactly the
  // blocks the layout reserved.
  if (blocks != metadata_blocks) {
    fail(BuildError::layout_mismatch);
    return false;
  }
  expect_position(file_data_sector_start());
  if (!write_file_contents()) return false;
  pad_to(image_sectors - 1);
  write_anchor(*this, image_sectors - 1);
  return !write_failed;
}

bool ImageWriter::write_udf250() {
  emit_zero_sectors(system_area_sectors);
  write_recognition_sequence(*this);
  pad_to(main_sequence_sector);
  write_volume_sequence(*this, main_sequence_sector);
  pad_to(integrity_sector);
  write_integrity(*this, integrity_sector);
  write_terminating_descriptor(*this, integrity_sector + 1);
  pad_to(anchor_sector);
  write_anchor(*this, anchor_sector);
  pad_to(data_base);
  write_metadata_file_entry(*this, data_base, false);
  pad_to(data_base + metadata_data_offset);

  const uint64_t metadata_start = emitted_sectors;
  const uint64_t blocks = write_file_set(*this);
  if (blocks > metadata_blocks) {
    fail(BuildError::layout_mismatch);
    return false;
  }
  pad_to(metadata_start + metadata_blocks);
  expect_position(file_data_sector_start());
  if (!write_file_contents()) return false;

  expect_position(mirror_entry_sector);
  write_metadata_file_entry(*this, mirror_entry_sector, true);
  pad_to(mirror_data_sector);
  if (write_file_set(*this) != blocks) {
    fail(BuildError::layout_mismatch);
    return false;
  }
  pad_to(static_cast<uint64_t>(mirror_data_sector) + metadata_blocks);
  write_volume_sequence(*this, mirror_data_sector + metadata_blocks);
  pad_to(image_sectors - 1);
  write_anchor(*this, image_sectors - 1);
  return !write_failed;
}

}  // namespace kestrel
