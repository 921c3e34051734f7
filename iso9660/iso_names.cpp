// ISO 9660 identifiers of the primary volume, made from the long names, and
// their order (ECMA-119 7.5, 9.3). Identifiers keep to interchange level 1:
// d-characters only ("A"-"Z", "0"-"9", "_"), a file's name and extension of
// at most 8 and 3 of them with one separator between, a directory's of at
// most 8. Since every letter is upper case, identifiers that differ are
// different to readers that fold case too. Names that shorten alike within a
// folder are told apart with "_N".
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "iso9660/iso_names.h"
#include "iso9660/short_name_table.h"
#include "iso9660/unit_order.h"
#include "platform/code_page.h"

namespace kestrel::iso9660 {
namespace {

// The converted name is bounded like a Windows path component buffer.
constexpr size_t ansi_name_capacity = 260;
constexpr size_t base_name_bytes = 8;
constexpr size_t extension_bytes = 3;
static_assert(max_primary_identifier_bytes ==
              base_name_bytes + 1 + extension_bytes + version_suffix.size());
static_assert(max_primary_identifier_bytes <= ShortNameTable::max_key_bytes);
constexpr char separator = '.';

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// ECMA-119 9.3 record order: by name, then by extension (every version is
// 1), the shorter of two parts counting as padded with spaces (0x20) and
// bytes comparing by their values. A name of at most 8 bytes and an
// extension of at most 3, each padded with spaces and packed high byte
// first, compare as the numbers they make.
struct OrderKey {
  uint64_t name = 0;
  uint32_t extension = 0;

  bool operator<(const OrderKey& other) const {
    return name != other.name ? name < other.name : extension < other.extension;
  }
};

template <typename Number>
Number packed(std::string_view part, size_t width) {
  Number value = 0;
  for (size_t i = 0; i < width; ++i)
    value = static_cast<Number>(value << 8 | static_cast<uint8_t>(i < part.size() ? part[i] : ' '));
  return value;
}

// Made from the identifier alone, without a look at the node, which in a
// wide folder is a cache miss: a directory identifier holds neither a
// separator nor a version, so the split below leaves it whole.
OrderKey order_key(const NamedChild& child) {
  std::string_view identifier = child.identifier.view();
  std::string_view extension;
  if (identifier.ends_with(version_suffix)) identifier.remove_suffix(version_suffix.size());
  const size_t dot = identifier.find(separator);
  if (dot != std::string_view::npos) {
    extension = identifier.substr(dot + 1);
    identifier = identifier.substr(0, dot);
  }
  return {packed<uint64_t>(identifier, base_name_bytes),
          packed<uint32_t>(extension, extension_bytes)};
}

// Marks the identifier of a name that met a sibling's: "_", a d-character.
constexpr char unique_marker = '_';
// Bytes of the base kept in the key that numbers the renamed identifiers: the
// base as it is cut for a one-digit "_N".
constexpr size_t numbering_key_base_bytes = base_name_bytes - 2;

// True when the identifier holds the whole name. DVD-video images keep
// their old test, which counts bytes only: nothing was cut or added but the
// version. Elsewhere the identifier, without its version and without the
// separator a name without one gets, must be the name itself.
bool holds_whole_name(const DiscImage& image, const NamedChild& child) {
  const SourceNode& node = *child.node;
  if (image.tree.dvd_video_mode) {
    const size_t added = node.is_directory ? 0 : version_suffix.size();
    return size_t{node.name_length} + added == child.identifier.length;
  }
  std::string_view identifier = child.identifier.view();
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

// Gives `child` the identifier of its base cut to make room for "_N", with N
// the lowest number not yet taken among names of that form.
void number_identifier(NamedChild& child, ShortNameTable& taken, ShortNameTable& next_number) {
  const PrimaryIdentifier identifier = child.identifier;
  const std::string_view text = identifier.view();
  // A file's identifier is base "." extension ";1"; the extension has no dot.
  const size_t separator_at = child.node->is_directory ? text.size() : text.rfind(separator);
  const std::string_view base = text.substr(0, separator_at);
  const std::string_view tail = text.substr(separator_at);
  // The key: the base as cut for a one-digit number, "/", the tail.
  char key[max_primary_identifier_bytes + 1];
  const size_t key_base = std::min(base.size(), numbering_key_base_bytes);
  std::copy_n(base.data(), key_base, key);
  key[key_base] = '/';
  std::copy(tail.begin(), tail.end(), key + key_base + 1);
  uint32_t& number = next_number.number(std::string_view(key, key_base + 1 + tail.size()), 1);
  PrimaryIdentifier candidate;
  for (;;) {
    char digits[10];
    const auto written = std::to_chars(digits, digits + sizeof digits, number++).ptr;
    const auto suffix_bytes = static_cast<size_t>(written - digits) + 1;
    // Beyond ten million look-alikes the number no longer fits the base:
    // the record keeps its shared identifier.
    if (suffix_bytes > base_name_bytes) return;
    const size_t kept = std::min(base.size(), base_name_bytes - suffix_bytes);
    char* out = std::copy_n(base.data(), kept, candidate.bytes);
    *out++ = unique_marker;
    out = std::copy(digits, written, out);
    out = std::copy(tail.begin(), tail.end(), out);
    candidate.length = static_cast<uint8_t>(out - candidate.bytes);
    if (!taken.contains(candidate.view())) break;
  }
  child.identifier = candidate;
  taken.insert(candidate.view());
}

// Two children whose names shorten to one identifier would give two records
// that no reader can tell apart: a lookup by name finds only one of the
// files. One of them keeps the identifier (keeper_of); the others are
// numbered with "_N", counting per cut base and extension, so a folder of
// many look-alike names is numbered in one pass. `naming_order` holds the
// children in the order they are named in.
void make_identifiers_unique(const DiscImage& image, const std::vector<NamedChild*>& naming_order) {
  const auto count = static_cast<uint32_t>(naming_order.size());
  // Every child's identifier is taken once, plain or numbered: the table
  // never holds more identifiers than there are children. While the plain
  // ones go in, each keeps the number of its group of look-alikes, the
  // groups numbered in the naming order of their first member, so that the
  // numbers given below are reproducible. One look-up per child: no sort.
  ShortNameTable taken(count);
  constexpr uint32_t no_group = UINT32_MAX;
  std::vector<uint32_t> group_of(count);
  std::vector<uint32_t> group_starts;  // members before the group, once counted
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t& group = taken.number(naming_order[i]->identifier.view(), no_group);
    if (group == no_group) {
      group = static_cast<uint32_t>(group_starts.size());
      group_starts.push_back(0);
    }
    group_of[i] = group;
    ++group_starts[group];
  }
  // The members of each group side by side, in naming order (a counting
  // sort): group g's are members[group_starts[g] .. group_starts[g + 1]).
  uint32_t before = 0;
  for (uint32_t& start : group_starts) before += std::exchange(start, before);
  group_starts.push_back(count);
  std::vector<NamedChild*> members(count);
  {
    std::vector<uint32_t> next(group_starts.begin(), group_starts.end() - 1);
    for (uint32_t i = 0; i < count; ++i) members[next[group_of[i]]++] = naming_order[i];
  }
  // The numbers are kept per cut base and extension, of which a folder has
  // few: that table starts small and grows as it must.
  ShortNameTable next_number(0);
  std::vector<NamedChild*> group;
  for (size_t g = 0; g + 1 < group_starts.size(); ++g) {
    if (group_starts[g + 1] - group_starts[g] < 2) continue;
    group.assign(members.begin() + group_starts[g], members.begin() + group_starts[g + 1]);
    const NamedChild* keeper = keeper_of(image, group);
    for (NamedChild* child : group) {
      if (child != keeper) number_identifier(*child, taken, next_number);
    }
  }
}

// The children in the order they are named in: by source name, so that the
// same folder gives the same identifiers whatever order the system lists it
// in; DVD-video images keep the order they have always been named in.
std::vector<NamedChild*> naming_order(const DiscImage& image, std::vector<NamedChild>& children) {
  std::vector<NamedChild*> order;
  order.reserve(children.size());
  for (NamedChild& child : children) order.push_back(&child);
  const auto less = [](const NamedChild* a, const NamedChild* b) {
    return source_name_less(*a->node, *b->node);
  };
  // A folder that UDF has put in name order needs no sort.
  if (!image.tree.dvd_video_mode && !std::is_sorted(order.begin(), order.end(), less))
    std::stable_sort(order.begin(), order.end(), less);
  return order;
}

}  // namespace

char d_character(uint32_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
  if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '_') return static_cast<char>(c);
  return '_';
}

std::string primary_identifier(const DiscImage& image, const SourceNode& node) {
  return std::string(make_primary_identifier(image, node).view());
}

PrimaryIdentifier make_primary_identifier(const DiscImage& image, const SourceNode& node) {
  PrimaryIdentifier made;
  char* identifier = made.bytes;
  size_t length = 0;
  // The characters of the name, as the identifier is made of them: in
  // DVD-video mode the bytes of its ANSI form, as DVD-video images have
  // always recorded them; otherwise each character, a surrogate pair being
  // one. The last separator splits a file's name from its extension.
  auto make = [&](auto characters, size_t count, auto is_separator, auto step) {
    size_t separator_at = count;
    if (!node.is_directory) {
      for (size_t i = count; i-- > 0;) {
        if (is_separator(characters[i])) {
          separator_at = i;
          break;
        }
      }
    }
    // Up to `limit` characters of [from, to), a surrogate pair being one.
    auto append = [&](size_t from, size_t to, size_t limit) {
      for (size_t i = from, taken = 0; i < to && taken < limit; i += step(i, to), ++taken)
        identifier[length++] = d_character(static_cast<uint32_t>(characters[i]));
    };
    if (node.is_directory) {
      // A directory identifier has no separator and no version (ECMA-119 7.6).
      append(0, count, base_name_bytes);
      return;
    }
    append(0, separator_at, base_name_bytes);
    // The separator is written even without an extension (ECMA-119 7.5.1).
    identifier[length++] = separator;
    if (separator_at < count) append(separator_at + 1, count, extension_bytes);
    for (const char c : version_suffix) identifier[length++] = c;
  };
  if (image.tree.dvd_video_mode) {
    char ansi[ansi_name_capacity];
    const size_t ansi_length =
        ansi_from_utf16(std::u16string_view(node.name, node.name_length), ansi, sizeof ansi);
    make(
        reinterpret_cast<const uint8_t*>(ansi), ansi_length,
        [](uint8_t c) { return c == separator; }, [](size_t, size_t) { return size_t{1}; });
  } else {
    const char16_t* text = node.name;
    make(
        text, size_t{node.name_length}, [](char16_t c) { return c == u'.'; },
        [text](size_t i, size_t to) {
          return is_high_surrogate(text[i]) && i + 1 < to && is_low_surrogate(text[i + 1])
                     ? size_t{2}
                     : size_t{1};
        });
  }
  made.length = static_cast<uint8_t>(length);
  return made;
}

void name_primary_children(const DiscImage& image, std::vector<NamedChild>& children) {
  for (NamedChild& child : children) child.identifier = make_primary_identifier(image, *child.node);
  // Ascending identifiers; equal identifiers (only past ten million
  // look-alikes) in reverse naming order. A stable sort of the reversed
  // list gives exactly that, in n log n.
  std::vector<std::pair<OrderKey, NamedChild*>> order;
  order.reserve(children.size());
  for (auto it = children.rbegin(); it != children.rend(); ++it)
    order.emplace_back(order_key(*it), &*it);
  const auto by_key = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(order.begin(), order.end(), by_key);
  // Look-alikes lie next to each other once sorted; most folders have none
  // and are done here, in whatever order the system listed them.
  const auto same = [](const auto& a, const auto& b) {
    return a.second->identifier.view() == b.second->identifier.view();
  };
  if (std::adjacent_find(order.begin(), order.end(), same) != order.end()) {
    const std::vector<NamedChild*> naming = naming_order(image, children);
    make_identifiers_unique(image, naming);
    order.clear();
    for (auto it = naming.rbegin(); it != naming.rend(); ++it)
      order.emplace_back(order_key(**it), *it);
    std::stable_sort(order.begin(), order.end(), by_key);
  }
  std::vector<NamedChild> sorted;
  sorted.reserve(order.size());
  for (const auto& entry : order) sorted.push_back(std::move(*entry.second));
  children = std::move(sorted);
}

void put_folders_in_name_order(SourceNode& root) {
  // Each child with its name at hand, so that comparing two reads their
  // names and not first the nodes, which lie all over a wide folder.
  struct Child {
    std::u16string_view name;
    SourceNode* node;
  };
  const auto less = [](const Child& a, const Child& b) {
    const int order = compare_units(a.name, b.name);
    return order != 0 ? order < 0 : source_name_less(*a.node, *b.node);
  };
  std::vector<SourceNode*> pending{&root};
  std::vector<Child> children;
  while (!pending.empty()) {
    SourceNode& folder = *pending.back();
    pending.pop_back();
    children.clear();
    for (SourceNode* child = folder.first_child; child != nullptr; child = child->next) {
      children.push_back(Child{{child->name, child->name_length}, child});
      if (child->is_directory) pending.push_back(child);
    }
    if (std::is_sorted(children.begin(), children.end(), less)) continue;
    // Two entries of one source folder never have the same native name, so
    // the order is total and any sort gives it; std::sort needs no buffer.
    std::sort(children.begin(), children.end(), less);
    folder.first_child = children.front().node;
    for (size_t i = 0; i + 1 < children.size(); ++i) children[i].node->next = children[i + 1].node;
    children.back().node->next = nullptr;
  }
}

}  // namespace kestrel::iso9660
