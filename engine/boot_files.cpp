#include "engine/boot_files.h"

#include <memory>

#include "engine/boot_platforms.h"
#include "iso9660/el_torito_records.h"
#include "iso9660/iso_records.h"

namespace kestrel {
namespace {

// Bytes read at a time while the checksum is computed.
constexpr size_t checksum_read_bytes = 64 * 1024;

NativeChar ascii_lower(NativeChar c) {
  return c >= 'A' && c <= 'Z' ? static_cast<NativeChar>(c + ('a' - 'A')) : c;
}

bool is_boot_path_separator(NativeChar c) { return c == '/' || is_path_separator(c); }

// The child of `directory` named `name`: the one named exactly so, else one
// named so but for case (names on Windows and on copied discs differ in
// case only).
const SourceNode* find_child(const SourceNode& directory, NativeStringView name) {
  const SourceNode* folded = nullptr;
  for (const SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    const NativeStringView child_name(child->native_name, child->native_name_length);
    if (child_name == name) return child;
    if (folded == nullptr && same_name_ignoring_case(child_name, name)) folded = child;
  }
  return folded;
}

const SourceNode* find_boot_node(const SourceNode& root, const NativeString& path) {
  const SourceNode* node = &root;
  size_t at = 0;
  while (at < path.size()) {
    size_t end = at;
    while (end < path.size() && !is_boot_path_separator(path[end])) ++end;
    if (end > at) {
      if (!node->is_directory) return nullptr;
      node = find_child(*node, NativeStringView(path).substr(at, end - at));
      if (node == nullptr) return nullptr;
    }
    at = end + 1;
  }
  return node == &root ? nullptr : node;
}

}  // namespace

bool sum_boot_file(const NativeString& path, uint64_t size, uint32_t& checksum,
                   SystemError& error) {
  FileHandle file;
  if (!file.open(path, file_mode_read)) {
    error = file.last_error();
    return false;
  }
  const auto buffer = std::make_unique<uint8_t[]>(checksum_read_bytes);
  uint32_t sum = 0;
  uint64_t offset = 0;
  while (offset < size) {
    const size_t wanted =
        static_cast<size_t>(std::min<uint64_t>(checksum_read_bytes, size - offset));
    const size_t got = file.read(buffer.get(), wanted);
    if (got != wanted) {
      error = file.last_error();
      return false;
    }
    sum = iso9660::add_boot_checksum(sum, buffer.get(), got, offset);
    offset += got;
  }
  checksum = sum;
  return true;
}

bool same_name_ignoring_case(NativeStringView a, NativeStringView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
  }
  return true;
}

bool resolve_boot_images(ImageWriter& writer) {
  writer.boot = BootCatalog{};
  if (writer.tree.root == nullptr) return false;
  for (const BootFile& file : writer.boot_request.files) {
    const NativeString shown = writer.tree.source_folder + file.path;
    const SourceNode* node = find_boot_node(*writer.tree.root, file.path);
    const bool usable =
        node != nullptr && !node->is_directory && node->kind == NodeKind::plain && node->size > 0 &&
        node->size <= iso9660::max_extent_bytes &&
        (!file.info_table || node->size >= iso9660::boot_info_table::checksum_start);
    if (!usable) {
      writer.report.fail(BuildError::boot_file_unusable, shown);
      return false;
    }
    BootImage image;
    image.file = file;
    image.node = node;
    image.platform_id = boot_platform_info(file.platform).el_torito_platform_id;
    image.load_sectors = boot_load_sectors(file, node->size);
    if (file.info_table) {
      const NativeString path = node_file_path(writer, *node);
      SystemError error = 0;
      if (!sum_boot_file(path, node->size, image.checksum, error)) {
        writer.report.fail(error != 0 ? BuildError::source_read_failed : BuildError::source_changed,
                           path, error);
        return false;
      }
    }
    writer.boot.images.push_back(image);
  }
  return true;
}

}  // namespace kestrel
