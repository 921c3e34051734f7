// The ISO 9660 side of an image: identifiers and their order, directory and
// path-table sizing, and the writers of the primary volume descriptor, the
// terminator, both path tables and every directory.
#pragma once

#include <cstdint>

#include "engine/image_writer.h"

namespace kestrel {

// Gives one node its ISO 9660 identifier (iso_name, iso_name_length).
void make_iso_name(ImageWriter& writer, SourceNode& node);

// Builds the ISO 9660 child order (iso_first_child / iso_next) of a directory.
void sort_iso_children(ImageWriter& writer, SourceNode& directory);

struct IsoLayoutCounters {
  uint64_t path_table_bytes = 0;
  uint64_t directory_sectors = 0;
  uint32_t next_directory_number = 1;
};

// Layout visitor, run breadth first in ISO 9660 order over the directories:
// fills iso_dir_number, iso_dir_sector and iso_dir_bytes. Returns false (and
// fails the build) when the directories cannot be numbered.
bool size_iso_directory(ImageWriter& writer, SourceNode& directory, IsoLayoutCounters& counters);

// Writers, called at the sectors the layout gave them.
void write_primary_descriptor(ImageWriter& writer);
void write_set_terminator(ImageWriter& writer);
void write_path_table(ImageWriter& writer, bool little_endian);
void write_iso_directory(ImageWriter& writer, SourceNode& directory);

}  // namespace kestrel
