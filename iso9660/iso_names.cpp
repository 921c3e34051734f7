// ISO 9660 identifiers of the primary volume, made from the long names, and
// their order (ECMA-119 7.5, 9.3). Identifiers keep to the 8.3 lengths of
// interchange level 1; names that shorten alike within a folder are told
// apart with "~N".
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "iso9660/iso_names.h"
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

bool identifier_less(const NamedChild* a, const NamedChild* b) {
  // Unsigned byte order over the whole identifier; a prefix sorts first.
  const size_t common = std::min(a->identifier.size(), b->identifier.size());
  const int order = std::memcmp(a->identifier.data(), b->identifier.data(), common);
  if (order != 0) return order < 0;
  return a->identifier.size() < b->identifier.size();
}

// Marks the identifier of a name that met a sibling's; "~" is not a
// d-character, so DVD-video mode stores it as "_" like any other.
constexpr char unique_marker = '~';
// Bytes of the base kept in the key that numbers the renamed identifiers: the
// base as it is cut for a one-digit "~N".
constexpr size_t numbering_key_base_bytes = base_name_bytes - 2;

// True when the identifier holds the whole name: nothing was cut or added
// but the version (a name of one byte per character).
bool holds_whole_name(const NamedChild& child) {
  const size_t added = child.node->is_directory ? 0 : version_suffix.size();
  return size_t{child.node->name_length} + added == child.identifier.size();
}

// The one of a group of look-alikes that keeps the plain identifier: the
// first in primary order that it names in full, else the first.
NamedChild* keeper_of(const std::vector<NamedChild*>& group) {
  for (NamedChild* child : group) {
    if (holds_whole_name(*child)) return child;
  }
  return group.front();
}

// Gives `child` the identifier of its base cut to make room for "~N", with N
// the lowest number not yet taken among names of that form.
void number_identifier(const DiscImage& image, NamedChild& child,
                       std::unordered_set<std::string>& taken,
                       std::unordered_map<std::string, uint32_t>& next_number) {
  const std::string identifier = child.identifier;
  // A file's identifier is base "." extension ";1"; the extension has no dot.
  const size_t separator_at =
      child.node->is_directory ? identifier.size() : identifier.rfind(separator);
  const std::string_view base = std::string_view(identifier).substr(0, separator_at);
  const std::string_view tail = std::string_view(identifier).substr(separator_at);
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
    if (suffix.size() > base_name_bytes) return;
    candidate.assign(base.substr(0, std::min(base.size(), base_name_bytes - suffix.size())));
    candidate += suffix;
    candidate += tail;
    if (taken.count(candidate) == 0) break;
  }
  child.identifier = candidate;
  taken.insert(candidate);
}

// Two children whose names shorten to one identifier would give two records
// that no reader can tell apart: a lookup by name finds only one of the
// files. One of them keeps the identifier (keeper_of); the others are
// numbered with "~N", counting per cut base and extension, so a folder of
// many look-alike names is numbered in one pass.
void make_identifiers_unique(const DiscImage& image, std::vector<NamedChild>& children) {
  std::unordered_map<std::string_view, std::vector<NamedChild*>> by_identifier;
  for (NamedChild& child : children) by_identifier[child.identifier].push_back(&child);
  std::unordered_set<std::string> taken;
  for (const auto& entry : by_identifier) taken.insert(std::string(entry.first));
  std::unordered_map<std::string, uint32_t> next_number;
  // Groups in the primary order of their first member, so that the numbers
  // are reproducible. The groups are collected before any identifier
  // changes, since the map's keys view the identifiers.
  std::vector<std::vector<NamedChild*>> groups;
  for (NamedChild& child : children) {
    const auto found = by_identifier.find(child.identifier);
    if (found == by_identifier.end() || found->second.size() < 2 || found->second.front() != &child)
      continue;
    groups.push_back(found->second);
  }
  for (const std::vector<NamedChild*>& group : groups) {
    const NamedChild* keeper = keeper_of(group);
    for (NamedChild* child : group) {
      if (child != keeper) number_identifier(image, *child, taken, next_number);
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

std::string primary_identifier(const DiscImage& image, const SourceNode& node) {
  char ansi[ansi_name_capacity];
  const size_t ansi_length =
      ansi_from_utf16(std::u16string_view(node.name, node.name_length), ansi, sizeof ansi);
  const std::string_view name(ansi, ansi_length);

  std::string identifier;
  identifier.reserve(max_identifier_bytes);
  auto append_mapped = [&](std::string_view part, size_t limit) {
    for (size_t i = 0; i < part.size() && i < limit; ++i)
      identifier += map_iso_char(image, part[i]);
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
    identifier += separator;
    append_mapped(extension, extension_bytes);
    identifier += version_suffix;
  }
  return identifier;
}

void name_primary_children(const DiscImage& image, const SourceNode& directory,
                           std::vector<NamedChild>& children) {
  children.clear();
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    children.push_back(NamedChild{child, primary_identifier(image, *child)});
  // Ascending identifiers; equal identifiers (only past ten million
  // look-alikes) in reverse primary order. A stable sort of the reversed
  // primary list gives exactly that, in n log n.
  std::vector<NamedChild*> order;
  const auto sort_children = [&] {
    order.clear();
    for (auto it = children.rbegin(); it != children.rend(); ++it) order.push_back(&*it);
    std::stable_sort(order.begin(), order.end(), identifier_less);
  };
  sort_children();
  // Look-alikes lie next to each other once sorted; most folders have none
  // and are done here.
  const auto same = [](const NamedChild* a, const NamedChild* b) {
    return a->identifier == b->identifier;
  };
  if (std::adjacent_find(order.begin(), order.end(), same) != order.end()) {
    make_identifiers_unique(image, children);
    sort_children();
  }
  std::vector<NamedChild> sorted;
  sorted.reserve(order.size());
  for (NamedChild* child : order) sorted.push_back(std::move(*child));
  children = std::move(sorted);
}

}  // namespace kestrel::iso9660
