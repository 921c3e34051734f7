// ISO 9660 identifiers of the primary volume, made from the long names, and
// their order (ECMA-119 7.5, 9.3). Identifiers keep to interchange level 1:
// d-characters only ("A"-"Z", "0"-"9", "_"), a file's name and extension of
// at most 8 and 3 of them with one separator between, a directory's of at
// most 8. Since every letter is upper case, identifiers that differ are
// different to readers that fold case too. Names that shorten alike within a
// folder are told apart with "_N".
#include <algorithm>
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

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The name and extension of an identifier (ECMA-119 7.5.1); a directory's
// is all name.
struct IdentifierParts {
  std::string_view name;
  std::string_view extension;
};

IdentifierParts parts_of(const NamedChild& child) {
  std::string_view identifier = child.identifier;
  if (child.node->is_directory) return {identifier, {}};
  if (identifier.ends_with(version_suffix)) identifier.remove_suffix(version_suffix.size());
  const size_t dot = identifier.find(separator);
  if (dot == std::string_view::npos) return {identifier, {}};
  return {identifier.substr(0, dot), identifier.substr(dot + 1)};
}

// ECMA-119 9.3: the shorter of two parts counts as padded with spaces
// (0x20), and bytes compare by their values.
int compare_padded(std::string_view a, std::string_view b) {
  const size_t length = std::max(a.size(), b.size());
  for (size_t i = 0; i < length; ++i) {
    const auto x = static_cast<uint8_t>(i < a.size() ? a[i] : ' ');
    const auto y = static_cast<uint8_t>(i < b.size() ? b[i] : ' ');
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ECMA-119 9.3 record order: by name, then by extension (every version is 1).
bool identifier_less(const NamedChild* a, const NamedChild* b) {
  const IdentifierParts x = parts_of(*a), y = parts_of(*b);
  const int by_name = compare_padded(x.name, y.name);
  if (by_name != 0) return by_name < 0;
  return compare_padded(x.extension, y.extension) < 0;
}

// Marks the identifier of a name that met a sibling's: "_", a d-character.
constexpr char unique_marker = '_';
// Bytes of the base kept in the key that numbers the renamed identifiers: the
// base as it is cut for a one-digit "~N".
constexpr size_t numbering_key_base_bytes = base_name_bytes - 2;

// True when the identifier holds the whole name. DVD-video images keep
// their old test, which counts bytes only: nothing was cut or added but the
// version. Elsewhere the identifier, without its version and without the
// separator a name without one gets, must be the name itself.
bool holds_whole_name(const DiscImage& image, const NamedChild& child) {
  const SourceNode& node = *child.node;
  if (image.tree.dvd_video_mode) {
    const size_t added = node.is_directory ? 0 : version_suffix.size();
    return size_t{node.name_length} + added == child.identifier.size();
  }
  std::string_view identifier = child.identifier;
  const std::u16string_view name(node.name, node.name_length);
  if (!node.is_directory) {
    if (identifier.ends_with(version_suffix)) identifier.remove_suffix(version_suffix.size());
    if (name.find(u'.') == std::u16string_view::npos && identifier.ends_with(separator))
      identifier.remove_suffix(1);
  }
  return std::equal(identifier.begin(), identifier.end(), name.begin(), name.end(),
                    [](char a, char16_t b) { return static_cast<char16_t>(a) == b; });
}

// The one of a group of look-alikes that keeps the plain identifier: the
// first in naming order that it names in full, else the first.
NamedChild* keeper_of(const DiscImage& image, const std::vector<NamedChild*>& group) {
  for (NamedChild* child : group) {
    if (holds_whole_name(image, *child)) return child;
  }
  return group.front();
}

// Gives `child` the identifier of its base cut to make room for "~N", with N
// the lowest number not yet taken among names of that form.
void number_identifier(NamedChild& child, std::unordered_set<std::string>& taken,
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
    std::string suffix(1, unique_marker);
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
  // Groups in the naming order of their first member, so that the numbers
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
    const NamedChild* keeper = keeper_of(image, group);
    for (NamedChild* child : group) {
      if (child != keeper) number_identifier(*child, taken, next_number);
    }
  }
}

}  // namespace

char d_character(uint32_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_') return static_cast<char>(c);
  return '_';
}

std::string primary_identifier(const DiscImage& image, const SourceNode& node) {
  const std::u16string_view text(node.name, node.name_length);
  // The characters of the name, as the identifier is made of them: in
  // DVD-video mode the bytes of its ANSI form, as DVD-video images have
  // always recorded them; otherwise each character, a surrogate pair being
  // one. The last separator splits a file's name from its extension.
  std::vector<uint32_t> characters;
  size_t separator_at = std::string_view::npos;
  if (image.tree.dvd_video_mode) {
    char ansi[ansi_name_capacity];
    const size_t length = ansi_from_utf16(text, ansi, sizeof ansi);
    for (size_t i = 0; i < length; ++i) {
      if (ansi[i] == separator) separator_at = characters.size();
      characters.push_back(static_cast<uint8_t>(ansi[i]));
    }
  } else {
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'.') separator_at = characters.size();
      if (is_high_surrogate(text[i]) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) ++i;
      characters.push_back(text[i]);
    }
  }

  std::string identifier;
  identifier.reserve(max_identifier_bytes);
  auto append = [&](size_t from, size_t to, size_t limit) {
    for (size_t i = from; i < to && i - from < limit; ++i) identifier += d_character(characters[i]);
  };
  if (node.is_directory) {
    // A directory identifier has no separator and no version (ECMA-119 7.6).
    append(0, characters.size(), base_name_bytes);
    return identifier;
  }
  if (separator_at == std::string_view::npos) separator_at = characters.size();
  append(0, separator_at, base_name_bytes);
  // The separator is written even without an extension (ECMA-119 7.5.1).
  identifier += separator;
  append(separator_at + 1, characters.size(), extension_bytes);
  identifier += version_suffix;
  return identifier;
}

void name_primary_children(const DiscImage& image, std::vector<NamedChild>& children) {
  for (NamedChild& child : children) child.identifier = primary_identifier(image, *child.node);
  // The names are made in the order of the source names, so that the same
  // folder gives the same identifiers whatever order the system lists it
  // in; DVD-video images keep the order they have always been named in.
  if (!image.tree.dvd_video_mode) {
    std::stable_sort(children.begin(), children.end(),
                     [](const NamedChild& a, const NamedChild& b) {
                       const std::u16string_view x(a.node->name, a.node->name_length);
                       const std::u16string_view y(b.node->name, b.node->name_length);
                       if (x != y) return x < y;
                       return NativeStringView(a.node->native_name, a.node->native_name_length) <
                              NativeStringView(b.node->native_name, b.node->native_name_length);
                     });
  }
  // Ascending identifiers; equal identifiers (only past ten million
  // look-alikes) in reverse naming order. A stable sort of the reversed
  // list gives exactly that, in n log n.
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
