// The identifiers of the primary volume's records and their order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "disc/disc_image.h"
#include "iso9660/iso_tree.h"

namespace kestrel::iso9660 {

// ECMA-119 7.5.1: the version number 1 ends every file identifier.
inline constexpr std::string_view version_suffix = ";1";

// "8" + "." + "3" + ";1": the longest identifier of interchange level 1.
inline constexpr size_t max_primary_identifier_bytes = 14;

// An identifier of the primary volume as recorded; a file's with its
// version number. Held in place: a folder of many names makes no
// allocation for them.
struct PrimaryIdentifier {
  char bytes[max_primary_identifier_bytes] = {};
  uint8_t length = 0;

  std::string_view view() const { return {bytes, length}; }
};

// One child of a directory while the identifiers of its folder are made.
struct NamedChild {
  SourceNode* node;
  PrimaryIdentifier identifier;
  RecordRole role;  // how its record stands in the folder
};

// The identifier of one node, before the names of its folder are made
// unique: 8.3 with the version for a file, 8 characters for a directory.
std::string primary_identifier(const DiscImage& image, const SourceNode& node);
PrimaryIdentifier make_primary_identifier(const DiscImage& image, const SourceNode& node);

// The d-character (ECMA-119 7.4.1) that stands for one character of a name:
// "a"-"z" raised to upper case, "A"-"Z", "0"-"9" and "_" as they are, and
// "_" for any other.
char d_character(uint32_t c);

// Gives the children of one directory, in primary order, their
// identifiers, unique within the folder, and puts them in the order of their
// records (ECMA-119 9.3). Children with the same source name (only
// directories relocated to one folder can share one) keep the order they come
// in.
void name_primary_children(const DiscImage& image, std::vector<NamedChild>& children);

// Puts the children of every folder in the order of their source names
// (source_name_less), as UDF puts those of an image that has it; folders
// already in that order are left as they are.
void put_folders_in_name_order(SourceNode& root);

}  // namespace kestrel::iso9660
