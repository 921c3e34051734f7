// One node of the in-memory tree of the source folder: a file or a directory,
// with the name forms and layout values that the UDF writers add. The ISO
// 9660 side keeps its hierarchies apart (iso9660/iso_tree.h).
// Nodes live in the tree's NodeArena, zero-filled when taken, never freed one
// by one.
#pragma once

#include <cstdint>

#include "platform/native_text.h"

namespace kestrel {

namespace bluray {
struct StereoPair;
}

// What a node stands for.
enum class NodeKind : uint8_t {
  plain = 0,                // ordinary file, or any directory
  base_view_clip = 1,       // data lies inside the interleaved block of its pair
  dependent_view_clip = 2,  // carries the interleaved block of both views
  stereo_virtual_file = 3,  // made by the scan; spans the interleaved block
  unpaired_clip = 4,        // a Blu-ray stream clip in no pair; a real-time file in UDF
};

struct SourceNode {
  SourceNode* next;         // next sibling, primary order
  SourceNode* first_child;  // primary order
  SourceNode* parent;       // the root is its own parent

  const char16_t* name;           // UTF-16 name for the image, zero-terminated; empty for the root
  const NativeChar* native_name;  // the name exactly as on disk, zero-terminated
  const uint8_t* udf_name;        // UDF name bytes: 8-bit when udf_name_8bit, else UTF-16 units

  int64_t created;  // seconds since 1970-01-01 00:00:00 UTC
  int64_t modified;
  int64_t accessed;

  uint64_t size;  // files: bytes

  const bluray::StereoPair* stereo_pair;  // clips of a stereoscopic pair
  SourceNode* dependent_node;             // the dependent-view clip of the pair
  SourceNode* base_node;                  // the base-view clip of the pair
  // Files stored once: the file whose copy of the data this one's records
  // point at (null: it has a copy of its own).
  const SourceNode* shares_data_of;

  uint32_t sectors;       // files: size in 2048-byte sectors, rounded up
  uint32_t data_offset;   // files: first data sector relative to the data area
  uint32_t unique_id;     // UDF unique ID; 0 for the root
  uint32_t icb_block;     // block of the UDF (extended) file entry
  uint32_t icb_sectors;   // blocks of the UDF entry (1 unless interleaved), from the layout
  uint32_t extent_count;  // allocation descriptors of the data, from the layout

  // Directories only.
  uint32_t file_children;       // files directly inside
  uint32_t directory_children;  // sub-directories directly inside
  uint32_t fid_block;           // first block of the file identifier descriptors
  uint32_t fid_bytes;           // byte length of those descriptors

  uint16_t name_length;         // UTF-16 units of `name`
  uint16_t native_name_length;  // characters of `native_name`
  // Files: the other names of this file (hard links) that UDF records as
  // identifiers of this node's file entry; its 16-bit link count holds no more.
  uint16_t hard_link_names;
  uint8_t udf_name_length;
  uint8_t udf_name_8bit;  // 1: recorded with compression ID 8 (DVD-video names below U+0100)
  uint8_t is_directory;
  uint8_t executable;      // files: someone may execute it in the source
  uint8_t may_have_holes;  // files: a sparse file, whose holes are not read
  // 1: a hard link of `shares_data_of`, whose UDF file entry names it too; it
  // has no entry of its own.
  uint8_t shares_entry;
  NodeKind kind;
};

}  // namespace kestrel
