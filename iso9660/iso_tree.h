// One ISO 9660 directory hierarchy (ECMA-119 6.8): the records of every
// directory with their identifiers, in the order the directories are
// recorded, with each directory's number in the path table, its size and its
// place. The primary volume has one; a supplementary volume (Joliet) is a
// second instance over the same source nodes, sharing every file's extents.
//
// The directories are kept breadth first, each directory's sub-directories
// in identifier order: that is the order of the path table (ECMA-119 6.9.1),
// so a directory's number is its index + 1, and the order in which the
// directory extents follow one another. The records of one directory are
// contiguous in `entries`.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "disc/source_node.h"

namespace kestrel::iso9660 {

// The hierarchies an ISO 9660 volume may carry.
enum class Hierarchy : uint8_t {
  primary,  // d-characters (ECMA-119 7.4)
  joliet,   // UCS-2, big-endian, in a supplementary volume descriptor
};

// How a record stands in its directory. Rock Ridge (RRIP 4.1.5) moves a
// directory that would lie deeper than ECMA-119's eight levels into a
// relocation folder of the root, both marked as relocated, and leaves a
// file record in its place that links to it, so that readers of Rock Ridge
// see it where it belongs.
enum class RecordRole : uint8_t {
  plain = 0,
  relocated,   // a directory away from where it belongs, or their folder ("RE")
  child_link,  // the file record left in a relocated directory's place ("CL")
};

// One record of a directory besides "." and "..": a file or a
// sub-directory.
struct IsoEntry {
  SourceNode* node;
  // Files: the first byte of the identifier in IsoTree::identifiers.
  // Directories: the index of the directory in IsoTree::directories.
  uint32_t link;
  // Files: bytes of the identifier, the version number excluded.
  uint8_t identifier_length;
  uint8_t is_directory;
  // Files, Joliet: the identifier is the source name as it is, recorded in
  // UCS-2 when the record is written; nothing is stored for it.
  uint8_t source_named;
  RecordRole role;
};

struct IsoDirectory {
  SourceNode* node;
  uint32_t parent;       // index of the parent directory; the root's is its own, 0
  uint32_t first_entry;  // its records are entries[first_entry, first_entry + entry_count)
  uint32_t entry_count;
  uint32_t identifier_at;  // the identifier in IsoTree::identifiers (the root has none)
  uint8_t identifier_length;
  uint8_t source_named;  // as for IsoEntry
  RecordRole role;       // plain or relocated
  uint32_t sector;       // first sector, counted from the start of the directory area
  uint32_t bytes;        // Data Length of the extent
  // Rock Ridge: the directory it belongs in (its parent unless relocated),
  // and where the continuation areas of its records start in the tree's.
  uint32_t rock_ridge_parent;
  uint64_t continuation;
};

// An identifier as a record holds it: bytes of its own, or a source name
// that the record holds in UCS-2, big-endian (Joliet).
struct IdentifierText {
  std::span<const uint8_t> stored;
  std::u16string_view name;

  size_t size() const { return stored.size() + 2 * name.size(); }
  // Copies the recorded bytes to `out`, which holds size() bytes.
  void copy_to(uint8_t* out) const {
    for (const uint8_t byte : stored) *out++ = byte;
    for (const char16_t unit : name) {
      *out++ = static_cast<uint8_t>(unit >> 8);
      *out++ = static_cast<uint8_t>(unit & 0xFF);
    }
  }
};

class IsoTree {
 public:
  explicit IsoTree(Hierarchy hierarchy = Hierarchy::primary) : hierarchy_(hierarchy) {}

  Hierarchy hierarchy() const { return hierarchy_; }

  std::vector<IsoEntry> entries;
  std::vector<IsoDirectory> directories;  // the root first; number = index + 1
  // The directories in the order their extents follow one another.
  std::vector<uint32_t> extent_order;
  // Every identifier as recorded, back to back, without version numbers.
  std::vector<uint8_t> identifiers;
  // Rock Ridge entries in the records' system use (primary hierarchy); the
  // directory index of every relocated directory by its source node; and
  // the folder of the root that holds them, which is in no source folder.
  bool rock_ridge = false;
  std::unordered_map<const SourceNode*, uint32_t> relocated;
  std::unique_ptr<SourceNode> relocation_folder;

  // Sizes, from the layout.
  uint64_t path_table_bytes = 0;
  uint32_t path_table_sectors = 0;
  uint32_t directory_sectors = 0;
  uint64_t continuation_bytes = 0;  // Rock Ridge continuation areas
  uint32_t continuation_sectors = 0;
  // Places, from the disc map: the type L and type M path tables and the
  // first sector of the directory area.
  uint32_t path_table_l_sector = 0;
  uint32_t path_table_m_sector = 0;
  uint32_t directory_area_sector = 0;
  uint32_t continuation_area_sector = 0;

  std::span<const IsoEntry> entries_of(const IsoDirectory& directory) const {
    return std::span<const IsoEntry>(entries).subspan(directory.first_entry, directory.entry_count);
  }
  // The recorded identifier of a file entry or of a directory, without its
  // version number.
  IdentifierText identifier(const IsoEntry& entry) const {
    if (entry.is_directory) return identifier(directories[entry.link]);
    if (entry.source_named) return {{}, name_of(*entry.node)};
    return {std::span<const uint8_t>(identifiers).subspan(entry.link, entry.identifier_length), {}};
  }
  IdentifierText identifier(const IsoDirectory& directory) const {
    if (directory.source_named) return {{}, name_of(*directory.node)};
    return {std::span<const uint8_t>(identifiers)
                .subspan(directory.identifier_at, directory.identifier_length),
            {}};
  }
  static std::u16string_view name_of(const SourceNode& node) {
    return {node.name, node.name_length};
  }
  // Absolute first sector of a directory's extent.
  uint64_t location(const IsoDirectory& directory) const {
    return static_cast<uint64_t>(directory_area_sector) + directory.sector;
  }

 private:
  Hierarchy hierarchy_;
};

}  // namespace kestrel::iso9660
