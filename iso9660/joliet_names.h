// The names of the Joliet hierarchy: the source names in UCS-2, as far as
// Joliet can hold them, and their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disc/source_node.h"

namespace kestrel::iso9660 {

// Joliet holds names of up to 64 UCS-2 units (128 bytes); a file's version
// number follows.
inline constexpr size_t max_joliet_name_units = 64;

// One child of a directory while the Joliet names of its folder are made.
struct JolietChild {
  SourceNode* node;
  std::u16string name;  // as recorded, without the version number, when altered
  bool altered;         // differs from the source name

  // The name as recorded: the source name itself unless altered.
  std::u16string_view text() const {
    return altered ? std::u16string_view(name) : std::u16string_view(node->name, node->name_length);
  }
};

// The name of one node as Joliet can hold it, before the names of its
// folder are made unique: the characters Joliet forbids (control
// characters, * / : ; ? \), unpaired surrogates and the dots a name ends
// with (which readers drop) become "_"; a name longer than 64 units is
// shortened, keeping its extension. Characters
// beyond the Basic Multilingual Plane stay as their surrogate pairs, which
// is how Windows and Linux read them, and are never cut in half.
std::u16string joliet_name(std::u16string_view name, bool& altered);

// The children of `directory` with their Joliet names, unique within the
// folder without regard to case (as Windows and Linux look Joliet names
// up), in the order of their records: by UCS-2 code units.
void name_joliet_children(const SourceNode& directory, std::vector<JolietChild>& children);

// Upper case of a UCS-2 unit for the comparison of names without regard to
// case: ASCII, Latin-1, Greek and Cyrillic letters.
char16_t fold_case(char16_t unit);

}  // namespace kestrel::iso9660
