#include "engine/hybrid_tables.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/boot_files.h"
#include "engine/image_writer.h"
#include "partition/mbr_records.h"
#include "udf/udf_volume.h"

namespace kestrel {
namespace {

constexpr uint64_t blocks_per_sector = sector_bytes / partition::block_bytes;
static_assert(mbr_boot_code_bytes == partition::mbr::boot_code.width);

BootImage* image_for(ImageWriter& writer, BootPlatform platform) {
  for (BootImage& image : writer.boot.images) {
    if (image.file.platform == platform) return &image;
  }
  return nullptr;
}

// The code file as a native path: inside the source, or as the user named it.
NativeString code_file_path(const ImageWriter& writer, const MbrBootCode& code) {
  if (!code.in_source) return code.path;
  NativeString path = writer.tree.source_folder + code.path;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(writer.tree.source_folder.size()),
               path.end(), NativeChar('/'), native_separator);
  return path;
}

// The first `wanted` bytes of a file, and its size.
bool read_start(const NativeString& path, uint8_t* buffer, size_t wanted, size_t& got,
                uint64_t& size, SystemError& error) {
  FindEntry entry;
  FileHandle file;
  if (!stat_path(path, entry) || entry.is_directory || entry.is_special ||
      !file.open(path, file_mode_read)) {
    error = file.last_error();
    return false;
  }
  size = entry.size;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(wanted, size));
  got = file.read(buffer, count);
  error = file.last_error();
  return got == count;
}

// The code, which the front end checked when it was chosen, is read and
// checked again: it is the build's input now.
bool read_boot_code(ImageWriter& writer, const MbrBootCode& code) {
  const NativeString path = code_file_path(writer, code);
  uint8_t bytes[partition::mbr::bytes + 1] = {};
  size_t got = 0;
  uint64_t size = 0;
  SystemError error = 0;
  if (!read_start(path, bytes, sizeof bytes, got, size, error)) {
    writer.report.fail(BuildError::source_read_failed, path, error);
    return false;
  }
  if (got != size || identify_mbr_code(bytes, got) != code.kind) {
    writer.report.fail(BuildError::boot_file_unusable, path);
    return false;
  }
  std::memcpy(writer.hybrid.boot_code.data(), bytes, mbr_boot_code_bytes);
  return true;
}

// The BIOS boot file must be the loader the code starts; the bytes that its
// patch replaces are kept, for the boot information table's checksum.
bool pair_with_loader(ImageWriter& writer, BootImage& bios, MbrCodeKind kind) {
  const NativeString path = node_file_path(writer, *bios.node);
  const auto head = std::make_unique<uint8_t[]>(mbr_pairing_head_bytes);
  size_t got = 0;
  uint64_t size = 0;
  SystemError error = 0;
  if (!read_start(path, head.get(), mbr_pairing_head_bytes, got, size, error)) {
    writer.report.fail(BuildError::source_read_failed, path, error);
    return false;
  }
  if (size != bios.node->size) {
    writer.report.fail(BuildError::source_changed, path);
    return false;
  }
  if (!pairs_with(kind, head.get(), got, size)) {
    writer.report.fail(BuildError::boot_file_unusable, path);
    return false;
  }
  const MbrCodeLoader& loader = mbr_code_loader(kind);
  if (!loader.patches_boot_file) return true;
  BootFilePatch& patch = bios.patch;
  if (loader.patch_offset > got || got - loader.patch_offset < sizeof patch.original) {
    writer.report.fail(BuildError::boot_file_unusable, path);
    return false;
  }
  patch.present = true;
  patch.offset = loader.patch_offset;
  std::memcpy(patch.original, head.get() + loader.patch_offset, sizeof patch.original);
  // The copy is checked against the source's sum as it is written, table or not.
  if (!bios.file.info_table && !sum_boot_file(path, size, bios.checksum, error)) {
    writer.report.fail(error != 0 ? BuildError::source_read_failed : BuildError::source_changed,
                       path, error);
    return false;
  }
  return true;
}

void put_le64(uint8_t* out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

// What the disk's GUID is made from: the volume's time and label (as the
// UDF d-string of the label, whether the image has UDF or not), and where
// the image ends and its boot files lie.
partition::Guid disk_guid_of(const ImageWriter& writer) {
  uint8_t label[udf::label_dstring_bytes] = {};
  udf::make_label_dstring(writer, label);
  uint8_t seed[8 * 4 + sizeof label] = {};
  put_le64(seed, static_cast<uint64_t>(writer.settings.build_time));
  put_le64(seed + 8, writer.layout.image_sectors);
  put_le64(seed + 16, writer.hybrid.disk.efi_first_block);
  put_le64(seed + 24, writer.hybrid.disk.loader_block);
  std::memcpy(seed + 32, label, sizeof label);
  return partition::derived_guid(seed, sizeof seed, 0);
}

bool still_writing(const ImageWriter& writer) {
  return !writer.write_failed && !writer.report.failed();
}

}  // namespace

bool resolve_hybrid_tables(ImageWriter& writer) {
  writer.hybrid = HybridPlan{};
  const BootSetup& request = writer.boot_request;
  if (!request.disk_tables || !writer.boot.present()) return true;
  if (request.mbr_code.present()) {
    BootImage* bios = image_for(writer, BootPlatform::bios);
    if (bios == nullptr) {
      writer.report.fail(BuildError::boot_file_unusable, code_file_path(writer, request.mbr_code));
      return false;
    }
    if (!read_boot_code(writer, request.mbr_code) ||
        !pair_with_loader(writer, *bios, request.mbr_code.kind))
      return false;
    writer.hybrid.mbr_code = request.mbr_code;
  }
  writer.hybrid.wanted =
      writer.hybrid.mbr_code.present() || image_for(writer, BootPlatform::uefi) != nullptr;
  return true;
}

bool place_hybrid_tables(ImageWriter& writer) {
  HybridPlan& plan = writer.hybrid;
  if (!plan.wanted) return true;
  partition::HybridDisk& disk = plan.disk;
  disk.total_blocks = uint64_t{writer.layout.image_sectors} * blocks_per_sector;
  disk.backup_entries_block = plan.backup_entries_sector * blocks_per_sector;
  if (const BootImage* efi = image_for(writer, BootPlatform::uefi)) {
    disk.efi_first_block = writer.layout.file_data_sector(*efi->node) * blocks_per_sector;
    disk.efi_blocks = (efi->node->size + partition::block_bytes - 1) / partition::block_bytes;
  }
  if (plan.mbr_code.present()) {
    BootImage& bios = *image_for(writer, BootPlatform::bios);
    const MbrCodeLoader& loader = mbr_code_loader(plan.mbr_code.kind);
    const uint64_t first = writer.layout.file_data_sector(*bios.node) * blocks_per_sector;
    disk.boot_code = plan.boot_code.data();
    disk.loader_block = first + loader.loaded_block_offset;
    if (bios.patch.present) put_le64(bios.patch.bytes, first + loader.patched_block_offset);
  }
  disk.disk_guid = disk_guid_of(writer);
  if (!partition::can_describe(disk)) {
    writer.report.fail(BuildError::layout_mismatch);
    return false;
  }
  return true;
}

bool write_hybrid_system_area(ImageWriter& writer, const DiscArea&) {
  uint8_t* buffer = writer.get_sector_buffer(static_cast<uint32_t>(hybrid_system_area_sectors));
  if (buffer != nullptr) partition::fill_system_area(writer.hybrid.disk, buffer);
  writer.emit_sectors(buffer, static_cast<uint32_t>(hybrid_system_area_sectors));
  return still_writing(writer);
}

bool write_backup_gpt_entries(ImageWriter& writer, const DiscArea&) {
  uint8_t* buffer = writer.get_sector_buffer(static_cast<uint32_t>(backup_gpt_entry_sectors));
  if (buffer != nullptr) partition::fill_backup_entries(writer.hybrid.disk, buffer);
  writer.emit_sectors(buffer, static_cast<uint32_t>(backup_gpt_entry_sectors));
  return still_writing(writer);
}

bool write_backup_gpt_header(ImageWriter& writer, const DiscArea&) {
  uint8_t* buffer = writer.get_sector_buffer(1);
  if (buffer != nullptr) {
    partition::fill_backup_header(writer.hybrid.disk,
                                  buffer + partition::backup_header_offset_in_sector);
  }
  writer.emit_sectors(buffer, 1);
  return still_writing(writer);
}

bool write_udf_anchor_and_backup_gpt_header(ImageWriter& writer, const DiscArea& area) {
  uint8_t* buffer = writer.get_sector_buffer(1);
  if (buffer != nullptr) {
    udf::fill_anchor(writer, buffer, static_cast<uint32_t>(area.first_sector));
    partition::fill_backup_header(writer.hybrid.disk,
                                  buffer + partition::backup_header_offset_in_sector);
  }
  writer.emit_sectors(buffer, 1);
  return still_writing(writer);
}

}  // namespace kestrel
