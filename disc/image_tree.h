// The source folder as the image will hold it: the tree of SourceNodes the
// scan builds, which the ISO 9660 and UDF layouts name, order and place.
#pragma once

#include <cstdint>

#include "disc/source_node.h"
#include "platform/native_text.h"
#include "platform/node_arena.h"

namespace kestrel {

struct ImageTree {
  NativeString source_folder;  // canonical, ending in a separator
  // The image being built, when it lies inside the source folder: the scan
  // leaves it (and its temporary file) out, so an image never holds itself.
  NativeString output_path;
  SourceNode* root = nullptr;
  NodeArena* arena = nullptr;    // owns every node and name
  uint32_t directory_count = 0;  // root excluded
  uint32_t file_count = 0;
  // Files that are a second name of another file's UDF entry (hard links):
  // the entries are file_count less these.
  uint32_t shared_entries = 0;
  bool dvd_video_mode = false;
  SourceNode* stereo_folder = nullptr;
};

}  // namespace kestrel
