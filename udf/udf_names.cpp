// UDF names and the UDF order of a directory.
//
// A name is recorded as an OSTA CS0 d-character string (UDF 2.1.1): UTF-16
// units with compression ID 16, or compression ID 8, one byte per character,
// for a name whose characters all lie below U+0100. A reader takes each
// 8-bit byte as the code point of that value, so a name with any other
// character keeps the 16-bit form and reads back as typed. A file
// identifier holds 254 bytes: 127 characters in the 16-bit form, 254 in the
// 8-bit one. So the 8-bit form is taken where it is needed, for a name of
// more than 127 such characters, and on DVD-video discs, whose players
// expect 8-bit names, for every name it can hold; other names keep the
// 16-bit form. `udf_name` keeps the bytes exactly as the file identifier
// records them, UTF-16 units high byte first, so that comparing the bytes of
// two names of one form compares their characters.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "udf/udf_files.h"
#include "udf/udf_volume.h"

namespace kestrel::udf {
namespace {

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The longest extension kept when a name is shortened; a longer one is cut
// with the rest of the name.
constexpr size_t max_kept_extension_bytes = max_udf_name_bytes / 2;

std::u16string_view node_name(const SourceNode& node) {
  if (node.name == nullptr) return {};
  return {node.name, node.name_length};
}

std::string_view udf_name_bytes(const SourceNode& node) {
  if (node.udf_name == nullptr) return {};
  return {reinterpret_cast<const char*>(node.udf_name), node.udf_name_length};
}

// A name as its file identifier records it: the bytes after the
// compression ID, and whether they are 8-bit characters.
struct UdfName {
  std::string bytes;
  bool eight_bit = false;
};

bool below_u0100(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit < 0x100; });
}

// The 8-bit form, for names it can hold: on DVD-video discs always, else
// when the 16-bit form would cut the name. Outside DVD-video discs an 8-bit
// name thus always has more than 127 characters and a 16-bit one at most
// 127, so two names of different forms never read back equal.
bool records_eight_bit(const DiscImage& image, std::u16string_view text) {
  constexpr size_t sixteen_bit_capacity = max_udf_name_bytes / 2;
  return below_u0100(text) && (image.tree.dvd_video_mode || text.size() > sixteen_bit_capacity);
}

// The recorded bytes of `text` in the chosen form, at most `capacity` of
// them, cut on a character boundary: one byte per character in the 8-bit
// form, else UTF-16 units high byte first, never half of a surrogate pair.
std::string encode_udf_text(bool eight_bit, std::u16string_view text, size_t capacity) {
  std::string bytes;
  if (eight_bit) {
    const size_t count = std::min(capacity, text.size());
    bytes.reserve(count);
    for (size_t i = 0; i < count; ++i) bytes.push_back(static_cast<char>(text[i]));
    return bytes;
  }
  size_t units = std::min(capacity / 2, text.size());
  if (units > 0 && units < text.size() && is_high_surrogate(text[units - 1]) &&
      is_low_surrogate(text[units])) {
    --units;
  }
  bytes.reserve(units * 2);
  for (size_t i = 0; i < units; ++i) {
    bytes.push_back(static_cast<char>(text[i] >> 8));
    bytes.push_back(static_cast<char>(text[i] & 0xFF));
  }
  return bytes;
}

std::u16string decode_udf_text(const UdfName& name) {
  std::u16string text;
  if (name.eight_bit) {
    for (const char byte : name.bytes) text.push_back(static_cast<uint8_t>(byte));
    return text;
  }
  for (size_t i = 0; i + 1 < name.bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(static_cast<uint8_t>(name.bytes[i]) << 8 |
                                         static_cast<uint8_t>(name.bytes[i + 1])));
  }
  return text;
}

// The name as it would be recorded if it were allowed any length.
UdfName full_udf_name(const DiscImage& image, const SourceNode& node) {
  const std::u16string_view name = node_name(node);
  const bool eight_bit = records_eight_bit(image, name);
  return {encode_udf_text(eight_bit, name, std::string::npos), eight_bit};
}

// `name` with `suffix` ("~N", or nothing) before its extension, cut so that it
// fits in a file identifier. The extension (from the last dot that is not the
// first character) is kept whole when it is short enough; the part before it
// is cut on a character boundary.
UdfName fitted_udf_name(const DiscImage& image, std::u16string_view name,
                        std::u16string_view suffix) {
  const bool eight_bit = records_eight_bit(image, name);
  std::u16string_view base = name;
  std::string extension;
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos && dot > 0) {
    extension = encode_udf_text(eight_bit, name.substr(dot), std::string::npos);
    if (extension.size() <= max_kept_extension_bytes) {
      base = name.substr(0, dot);
    } else {
      extension.clear();
    }
  }
  const std::string suffix_bytes = encode_udf_text(eight_bit, suffix, std::string::npos);
  UdfName result{
      encode_udf_text(eight_bit, base, max_udf_name_bytes - suffix_bytes.size() - extension.size()),
      eight_bit};
  result.bytes += suffix_bytes;
  result.bytes += extension;
  // The cut may have taken every character beyond U+00FF: the form follows
  // what is recorded, so equal recorded names always have equal bytes.
  if (!eight_bit && image.tree.dvd_video_mode) {
    const std::u16string recorded = decode_udf_text(result);
    if (below_u0100(recorded)) result = {encode_udf_text(true, recorded, std::string::npos), true};
  }
  return result;
}

void store_udf_name(DiscImage& image, SourceNode& node, const UdfName& name) {
  const std::string& bytes = name.bytes;
  node.udf_name_length = static_cast<uint8_t>(bytes.size());
  node.udf_name_8bit = name.eight_bit ? 1 : 0;
  node.udf_name = nullptr;
  if (bytes.empty() || image.tree.arena == nullptr) return;
  node.udf_name = static_cast<const uint8_t*>(image.tree.arena->copy(bytes.data(), bytes.size()));
  if (node.udf_name == nullptr) {
    node.udf_name_length = 0;
    image.report.fail(BuildError::out_of_memory);
  }
}

bool was_shortened(const DiscImage& image, const SourceNode& node) {
  // Neither form takes more than two bytes for a UTF-16 unit, so only names
  // longer than 127 units can have been cut.
  if (node.name_length <= max_udf_name_bytes / 2) return false;
  return full_udf_name(image, node).bytes.size() > max_udf_name_bytes;
}

// What a reader sees of a recorded name: equal for two nodes exactly when
// their recorded names read back equal, since the form follows the name.
struct RecordedName {
  bool eight_bit;
  std::string_view bytes;
  bool operator==(const RecordedName&) const = default;
};
struct RecordedNameHash {
  size_t operator()(const RecordedName& name) const {
    return std::hash<std::string_view>()(name.bytes) ^ static_cast<size_t>(name.eight_bit);
  }
};

RecordedName recorded_name(const SourceNode& node) {
  return {node.udf_name_8bit != 0, udf_name_bytes(node)};
}

// A shortened name that then met a sibling's: its warning gives the name
// the image records in the end. The warnings of a directory's children are
// the last ones when its names are made unique.
void rename_shortened(DiscImage& image, const SourceNode& node, std::u16string final_name) {
  const NativeString path = node_file_path(image, node);
  auto& warnings = image.report.warnings;
  for (auto entry = warnings.rbegin(); entry != warnings.rend(); ++entry) {
    if (entry->warning == BuildWarning::name_shortened && entry->path == path) {
      entry->renamed.new_name = std::move(final_name);
      return;
    }
  }
}

// Names the later of two or more children that ended up with the same UDF
// name: a shortened name can meet a sibling's. Names that were recorded in full keep
// them; the others get "~N" before their extension, N counting from 1 until
// the name is free. Which one keeps the plain form is decided by the full
// UTF-16 names, so the result does not depend on the enumeration order.
void make_udf_names_unique(DiscImage& image, SourceNode& directory) {
  std::unordered_map<RecordedName, std::vector<SourceNode*>, RecordedNameHash> by_name;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    by_name[recorded_name(*child)].push_back(child);
  }
  std::vector<std::vector<SourceNode*>> collisions;
  for (auto& [name, nodes] : by_name) {
    if (nodes.size() > 1) collisions.push_back(nodes);
  }
  if (collisions.empty()) return;
  // Handle the groups in a fixed order, so that the numbers are reproducible.
  std::sort(collisions.begin(), collisions.end(), [](const auto& a, const auto& b) {
    return udf_name_bytes(*a.front()) < udf_name_bytes(*b.front());
  });
  for (auto& nodes : collisions) {
    std::vector<std::pair<bool, SourceNode*>> ranked;
    for (SourceNode* node : nodes) ranked.emplace_back(was_shortened(image, *node), node);
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
      if (a.first != b.first) return !a.first;  // names recorded in full first
      return node_name(*a.second) < node_name(*b.second);
    });
    uint32_t number = 1;
    for (size_t i = 1; i < ranked.size(); ++i) {
      SourceNode& node = *ranked[i].second;
      UdfName candidate;
      do {
        const std::string digits = std::to_string(number++);
        std::u16string suffix = u"~";
        suffix.append(digits.begin(), digits.end());
        candidate = fitted_udf_name(image, node_name(node), suffix);
      } while (by_name.count(RecordedName{candidate.eight_bit, candidate.bytes}) != 0);
      store_udf_name(image, node, candidate);
      if (image.report.failed()) return;
      by_name[recorded_name(node)].push_back(&node);
      if (ranked[i].first) {
        rename_shortened(image, node, decode_udf_text(candidate));
      } else {
        image.report.warn_renamed(BuildWarning::name_made_unique, node_file_path(image, node),
                                  NamingFileSystem::udf, decode_udf_text(candidate));
      }
    }
  }
}

// The order of the names' characters (16-bit units); a name that is a
// prefix of another sorts first. Names of one form compare as unsigned
// bytes, which for UTF-16 stored high byte first is the order of the units.
bool udf_name_less(const SourceNode* a, const SourceNode* b) {
  if (a->udf_name_8bit == b->udf_name_8bit) return udf_name_bytes(*a) < udf_name_bytes(*b);
  auto units = [](const SourceNode& node) {
    return decode_udf_text(UdfName{std::string(udf_name_bytes(node)), node.udf_name_8bit != 0});
  };
  return units(*a) < units(*b);
}

}  // namespace

void make_udf_name(DiscImage& image, SourceNode& node) {
  const std::u16string_view text = node_name(node);
  // Most names fit the 16-bit form whole: their bytes go straight into the
  // arena, with no string in between (a wide folder has many thousands).
  if (!records_eight_bit(image, text) && text.size() * 2 <= max_udf_name_bytes &&
      image.tree.arena != nullptr && !text.empty()) {
    auto* bytes = static_cast<uint8_t*>(image.tree.arena->allocate(text.size() * 2));
    if (bytes == nullptr) {
      node.udf_name = nullptr;
      node.udf_name_length = 0;
      image.report.fail(BuildError::out_of_memory);
      return;
    }
    for (size_t i = 0; i < text.size(); ++i) {
      bytes[2 * i] = static_cast<uint8_t>(text[i] >> 8);
      bytes[2 * i + 1] = static_cast<uint8_t>(text[i] & 0xFF);
    }
    node.udf_name = bytes;
    node.udf_name_length = static_cast<uint8_t>(text.size() * 2);
    node.udf_name_8bit = 0;
    return;
  }
  UdfName name = full_udf_name(image, node);
  if (name.bytes.size() > max_udf_name_bytes) {
    name = fitted_udf_name(image, text, {});
    image.report.warn_renamed(BuildWarning::name_shortened, node_file_path(image, node),
                              NamingFileSystem::udf, decode_udf_text(name));
  }
  store_udf_name(image, node, name);
}

void sort_udf_children(DiscImage& image, SourceNode& directory, bool keep_order) {
  // Each child with its recorded name at hand, so that comparing two reads
  // their names and not first the nodes, which lie all over a wide folder.
  struct Child {
    std::string_view bytes;
    bool eight_bit;
    SourceNode* node;
  };
  const auto less = [](const Child& a, const Child& b) {
    if (a.eight_bit == b.eight_bit) return a.bytes < b.bytes;
    return udf_name_less(a.node, b.node);
  };
  std::vector<Child> children;
  const auto sort_children = [&] {
    children.clear();
    for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
      children.push_back(Child{udf_name_bytes(*child), child->udf_name_8bit != 0, child});
    // A stable sort gives the same order as exchanging neighbours until no
    // pair is out of order, in n log n steps for folders of many thousand
    // files.
    std::stable_sort(children.begin(), children.end(), less);
  };
  sort_children();
  if (children.size() < 2) return;
  // Two names that read back alike are neighbours in that order. Most
  // folders have none, and need no table of their names.
  const auto alike = [&](const Child& a, const Child& b) { return !less(a, b); };
  if (std::adjacent_find(children.begin(), children.end(), alike) != children.end()) {
    make_udf_names_unique(image, directory);
    if (image.report.failed()) return;
    sort_children();
  }
  if (keep_order) return;
  directory.first_child = children.front().node;
  for (size_t i = 0; i + 1 < children.size(); ++i) children[i].node->next = children[i + 1].node;
  children.back().node->next = nullptr;
}

}  // namespace kestrel::udf
