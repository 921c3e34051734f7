// UDF names and the UDF order of a directory.
//
// A name is recorded as an OSTA CS0 d-character string (UDF 2.1.1): UTF-16
// units with compression ID 16, or, for DVD-video discs, the 8-bit ANSI form
// with compression ID 8, which is what DVD players expect. `udf_name` keeps
// the bytes exactly as the file identifier records them, UTF-16 units high
// byte first, so that comparing the bytes compares the units.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/code_page.h"
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

// The recorded bytes of `text`, at most `capacity` of them, cut on a
// character boundary: ANSI code-page bytes in DVD-video mode, else UTF-16
// units high byte first, never half of a surrogate pair.
std::string encode_udf_text(const DiscImage& image, std::u16string_view text, size_t capacity) {
  std::string bytes;
  if (image.tree.dvd_video_mode) {
    // No code page needs more than 3 bytes for one UTF-16 unit.
    bytes.resize(std::min(capacity, text.size() * 3));
    bytes.resize(ansi_from_utf16(text, bytes.data(), bytes.size()));
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

std::string encode_udf_text(const DiscImage& image, std::u16string_view text) {
  return encode_udf_text(image, text, std::string::npos);
}

// The name as it would be recorded if it were allowed any length.
std::string full_udf_name(const DiscImage& image, const SourceNode& node) {
  return encode_udf_text(image, node_name(node));
}

// `name` with `suffix` ("~N", or nothing) before its extension, cut so that it
// fits in a file identifier. The extension (from the last dot that is not the
// first character) is kept whole when it is short enough; the part before it
// is cut on a character boundary.
std::string fitted_udf_name(const DiscImage& image, std::u16string_view name,
                            std::u16string_view suffix) {
  std::u16string_view base = name;
  std::string extension;
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos && dot > 0) {
    extension = encode_udf_text(image, name.substr(dot));
    if (extension.size() <= max_kept_extension_bytes) {
      base = name.substr(0, dot);
    } else {
      extension.clear();
    }
  }
  const std::string suffix_bytes = encode_udf_text(image, suffix);
  std::string result =
      encode_udf_text(image, base, max_udf_name_bytes - suffix_bytes.size() - extension.size());
  result += suffix_bytes;
  result += extension;
  return result;
}

void store_udf_name(DiscImage& image, SourceNode& node, std::string_view bytes) {
  node.udf_name_length = static_cast<uint8_t>(bytes.size());
  node.udf_name = nullptr;
  if (bytes.empty() || image.tree.arena == nullptr) return;
  node.udf_name = static_cast<const uint8_t*>(image.tree.arena->copy(bytes.data(), bytes.size()));
  if (node.udf_name == nullptr) {
    node.udf_name_length = 0;
    image.report.fail(BuildError::out_of_memory);
  }
}

bool was_shortened(const DiscImage& image, const SourceNode& node) {
  // No code page takes more than two bytes for a UTF-16 unit of a name that
  // fits in 127 units, so only longer names can have been cut.
  if (node.name_length <= max_udf_name_bytes / 2) return false;
  return full_udf_name(image, node).size() > max_udf_name_bytes;
}

// Names the later of two or more children that ended up with the same UDF
// name: a shortened name can meet a sibling's, and in DVD-video mode two
// names can meet in the ANSI form. Names that were recorded in full keep
// them; the others get "~N" before their extension, N counting from 1 until
// the name is free. Which one keeps the plain form is decided by the full
// UTF-16 names, so the result does not depend on the enumeration order.
void make_udf_names_unique(DiscImage& image, SourceNode& directory) {
  std::unordered_map<std::string_view, std::vector<SourceNode*>> by_name;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next) {
    by_name[udf_name_bytes(*child)].push_back(child);
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
      std::string candidate;
      do {
        const std::string digits = std::to_string(number++);
        std::u16string suffix = u"~";
        suffix.append(digits.begin(), digits.end());
        candidate = fitted_udf_name(image, node_name(node), suffix);
      } while (by_name.count(candidate) != 0);
      store_udf_name(image, node, candidate);
      if (image.report.failed()) return;
      by_name[udf_name_bytes(node)].push_back(&node);
      if (!ranked[i].first)
        image.report.warn(BuildWarning::name_made_unique, node_file_path(image, node));
    }
  }
}

// Unsigned byte order; for UTF-16 names stored high byte first this is the
// order of the 16-bit units. A name that is a prefix of another sorts first.
bool udf_name_less(const SourceNode* a, const SourceNode* b) {
  return udf_name_bytes(*a) < udf_name_bytes(*b);
}

}  // namespace

void make_udf_name(DiscImage& image, SourceNode& node) {
  std::string bytes = full_udf_name(image, node);
  if (bytes.size() > max_udf_name_bytes) {
    bytes = fitted_udf_name(image, node_name(node), {});
    image.report.warn(BuildWarning::name_shortened, node_file_path(image, node));
  }
  store_udf_name(image, node, bytes);
}

void sort_udf_children(DiscImage& image, SourceNode& directory, bool keep_order) {
  make_udf_names_unique(image, directory);
  if (image.report.failed() || keep_order) return;
  std::vector<SourceNode*> children;
  for (SourceNode* child = directory.first_child; child != nullptr; child = child->next)
    children.push_back(child);
  if (children.size() < 2) return;
  // A stable sort gives the same order as exchanging neighbours until no pair
  // is out of order, in n log n steps for folders of many thousand files.
  std::stable_sort(children.begin(), children.end(), udf_name_less);
  directory.first_child = children.front();
  for (size_t i = 0; i + 1 < children.size(); ++i) children[i]->next = children[i + 1];
  children.back()->next = nullptr;
}

}  // namespace kestrel::udf
