// ISO 9660 identifiers made from the long names, and their order (ECMA-119
// 7.5, 9.3). Identifiers keep to the 8.3 lengths of interchange level 1; they
// are not made unique, so two names may give two records with one identifier.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "iso9660/iso_volume.h"
#include "platform/code_page.h"

namespace kestrel {
namespace {

// The converted name is bounded like a Windows path component buffer.
constexpr size_t ansi_name_capacity = 260;
constexpr size_t base_name_bytes = 8;
constexpr size_t extension_bytes = 3;
// "8" + "." + "3" + ";1".
constexpr size_t max_identifier_bytes = base_name_bytes + 1 + extension_bytes + 2;
constexpr char separator = '.';
constexpr char version_suffix[] = ";1";  // ECMA-119 7.5.1 file version number 1

bool identifier_less(const SourceNode* a, const SourceNode* b) {
  // Unsigned byte order over the whole identifier; a prefix sorts first.
  const size_t common = std::min<size_t>(a->iso_name_length, b->iso_name_length);
  const int order = std::memcmp(a->iso_name, b->iso_name, common);
  if (order != 0) return order < 0;
  return a->iso_name_length < b->iso_name_length;
}

}  // namespace

char map_iso_char(const ImageWriter& writer, char c) {
  if (!writer.dvd_video_mode) return c;
  // DVD players read d-characters only: "0"-"9", "A"-"Z" and "_".
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return c;
  return '_';
}

void make_iso_name(ImageWriter& writer, SourceNode& node) {
  char ansi[ansi_name_capacity];
  const size_t ansi_length = ansi_from_utf16(std::u16string_view(node.name, node.name_length), ansi, sizeof ansi);
  const std::string_view name(ansi, ansi_length);

  char identifier[max_identifier_bytes + 1];
  size_t length = 0;
  auto append_mapped = [&](std::string_view part, size_t limit) {
    for (size_t i = 0; i < part.size() && i < limit; ++i) identifier[length++] = map_iso_char(writer, part[i]);
  };

  if (node.is_directory) {
    // A directory identifier has no separator and no version (ECMA-119 7.6).
    append_mapped(name, base_name_bytes);
  } else {
    const size_t dot = name.rfind(separator);
    const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    const std::string_view extension = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    append_mapped(base, base_name_bytes);
    // The separator is written even without an extension (ECMA-119 7.5.1).
    identifier[length++] = separator;
    append_mapped(extension, extension_bytes);
    for (const char c : std::string_view(version_suffix)) identifier[length++] = c;
  }
  identifier[length] = '\0';

  void* stored = writer.arena != nullptr ? writer.arena->copy(identifier, length + 1) : nullptr;
  if (stored == nullptr) {
    writer.fail(BuildError::out_of_memory);
    node.iso_name = "";
    node.iso_name_length = 0;
    return;
  }
  node.iso_name = static_cast<const char*>(stored);
  node.iso_name_length = static_cast<uint8_t>(length);
}

void sort_iso_children(ImageWriter&, SourceNode& directory) {
  // Ascending identifiers; equal identifiers in reverse primary order. A
  // stable sort of the reversed primary list gives exactly that, in n log n.
  std::vector<SourceNode*> children;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) children.push_back(child);
  std::reverse(children.begin(), children.end());
  std::stable_sort(children.begin(), children.end(), identifier_less);

  SourceNode* following = nullptr;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    (*it)->iso_next = following;
    following = *it;
  }
  directory.iso_first_child = following;
}

}  // namespace kestrel
