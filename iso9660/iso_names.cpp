// ISO 9660 identifiers made from the long names, and their order (ECMA-119
// 7.5, 9.3). Identifiers keep to the 8.3 lengths of interchange level 1; names
// that shorten alike within a folder are told apart with "~N".
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "iso9660/iso_volume.h"
#include "platform/code_page.h"

namespace kestrel::iso9660 {
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

std::string_view identifier_of(const SourceNode& node) {
  return {node.iso_name, node.iso_name_length};
}

// Marks the identifier of a name that met a sibling's; "~" is not a
// d-character, so DVD-video mode stores it as "_" like any other.
constexpr char unique_marker = '~';
// Bytes of the base kept in the key that numbers the renamed identifiers: the
// base as it is cut for a one-digit "~N".
constexpr size_t numbering_key_base_bytes = base_name_bytes - 2;

bool store_identifier(DiscImage& image, SourceNode& node, std::string_view identifier) {
  // Stored zero-terminated, in the arena with the rest of the tree.
  void* stored =
      image.tree.arena != nullptr ? image.tree.arena->allocate(identifier.size() + 1) : nullptr;
  if (stored == nullptr) {
    image.report.fail(BuildError::out_of_memory);
    return false;
  }
  std::memcpy(stored, identifier.data(), identifier.size());
  static_cast<char*>(stored)[identifier.size()] = '\0';
  node.iso_name = static_cast<const char*>(stored);
  node.iso_name_length = static_cast<uint8_t>(identifier.size());
  return true;
}

// True when the identifier holds the whole name: nothing was cut or added
// but the version (a name of one byte per character).
bool holds_whole_name(const SourceNode& node) {
  const size_t added = node.is_directory ? 0 : sizeof version_suffix - 1;
  return size_t{node.name_length} + added == node.iso_name_length;
}

// The one of a group of look-alikes that keeps the plain identifier: the
// first in primary order that it names in full, else the first.
SourceNode* keeper_of(const std::vector<SourceNode*>& group) {
  for (SourceNode* node : group) {
    if (holds_whole_name(*node)) return node;
  }
  return group.front();
}

// Gives `node` the identifier of its base cut to make room for "~N", with N
// the lowest number not yet taken among names of that form.
bool number_identifier(DiscImage& image, SourceNode& node,
                       std::unordered_set<std::string_view>& taken,
                       std::unordered_map<std::string, uint32_t>& next_number) {
  const std::string_view identifier = identifier_of(node);
  // A file's identifier is base "." extension ";1"; the extension has no dot.
  const size_t separator_at = node.is_directory ? identifier.size() : identifier.rfind(separator);
  const std::string_view base = identifier.substr(0, separator_at);
  const std::string_view tail = identifier.substr(separator_at);
  std::string key(base.substr(0, numbering_key_base_bytes));
  key += '/';
  key += tail;
  uint32_t& number = next_number.try_emplace(key, 1).first->second;
  std::string candidate;
  for (;;) {
    std::string suffix(1, map_iso_char(image, unique_marker));
    suffix += std::to_string(number++);
    // Beyond ten million look-alikes the number no longer fits the base:
    // the record keeps its shared identifier.
    if (suffix.size() > base_name_bytes) return true;
    candidate.assign(base.substr(0, std::min(base.size(), base_name_bytes - suffix.size())));
    candidate += suffix;
    candidate += tail;
    if (taken.count(candidate) == 0) break;
  }
  if (!store_identifier(image, node, candidate)) return false;
  taken.insert(identifier_of(node));
  return true;
}

// Two children whose names shorten to one identifier would give two records
// that no reader can tell apart: a lookup by name finds only one of the
// files. One of them keeps the identifier (keeper_of); the others are
// numbered with "~N", counting per cut base and extension, so a folder of
// many look-alike names is numbered in one pass.
void make_iso_names_unique(DiscImage& image, SourceNode& directory) {
  std::unordered_map<std::string_view, std::vector<SourceNode*>> by_identifier;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    by_identifier[identifier_of(*child)].push_back(child);
  }
  std::unordered_set<std::string_view> taken;
  for (const auto& entry : by_identifier) taken.insert(entry.first);
  std::unordered_map<std::string, uint32_t> next_number;
  // Groups in the primary order of their first member, so that the numbers
  // are reproducible.
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    const auto found = by_identifier.find(identifier_of(*child));
    if (found == by_identifier.end() || found->second.size() < 2 || found->second.front() != child)
      continue;
    const SourceNode* keeper = keeper_of(found->second);
    for (SourceNode* node : found->second) {
      if (node != keeper && !number_identifier(image, *node, taken, next_number)) return;
    }
  }
}

}  // namespace

char map_iso_char(const DiscImage& image, char c) {
  if (!image.tree.dvd_video_mode) return c;
  // DVD players read d-characters only: "0"-"9", "A"-"Z" and "_".
  if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) return c;
  return '_';
}

void make_iso_name(DiscImage& image, SourceNode& node) {
  char ansi[ansi_name_capacity];
  const size_t ansi_length =
      ansi_from_utf16(std::u16string_view(node.name, node.name_length), ansi, sizeof ansi);
  const std::string_view name(ansi, ansi_length);

  char identifier[max_identifier_bytes + 1];
  size_t length = 0;
  auto append_mapped = [&](std::string_view part, size_t limit) {
    for (size_t i = 0; i < part.size() && i < limit; ++i)
      identifier[length++] = map_iso_char(image, part[i]);
  };

  if (node.is_directory) {
    // A directory identifier has no separator and no version (ECMA-119 7.6).
    append_mapped(name, base_name_bytes);
  } else {
    const size_t dot = name.rfind(separator);
    const std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    const std::string_view extension =
        dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    append_mapped(base, base_name_bytes);
    // The separator is written even without an extension (ECMA-119 7.5.1).
    identifier[length++] = separator;
    append_mapped(extension, extension_bytes);
    for (const char c : std::string_view(version_suffix)) identifier[length++] = c;
  }
  if (!store_identifier(image, node, std::string_view(identifier, length))) {
    node.iso_name = "";
    node.iso_name_length = 0;
  }
}

void sort_iso_children(DiscImage& image, SourceNode& directory) {
  // Ascending identifiers; equal identifiers (only past ten million
  // look-alikes) in reverse primary order. A stable sort of the reversed
  // primary list gives exactly that, in n log n.
  std::vector<SourceNode*> children;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    children.push_back(child);
  const auto sort_children = [&] {
    std::reverse(children.begin(), children.end());
    std::stable_sort(children.begin(), children.end(), identifier_less);
  };
  sort_children();
  // Look-alikes lie next to each other once sorted; most folders have none
  // and are done here.
  const auto same = [](const SourceNode* a, const SourceNode* b) {
    return identifier_of(*a) == identifier_of(*b);
  };
  if (std::adjacent_find(children.begin(), children.end(), same) != children.end()) {
    make_iso_names_unique(image, directory);
    children.clear();
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
      children.push_back(child);
    sort_children();
  }

  SourceNode* following = nullptr;
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    (*it)->iso_next = following;
    following = *it;
  }
  directory.iso_first_child = following;
}

}  // namespace kestrel::iso9660
