// The ISO 9660 side of an image: identifiers and their order, directory and
// path-table sizing, and the writers of the primary volume descriptor, the
// terminator, both path tables and every directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "disc/disc_image.h"
#include "disc/sector_emitter.h"

namespace kestrel::iso9660 {

// Gives one node its ISO 9660 identifier (iso_name, iso_name_length).
void make_iso_name(DiscImage& image, SourceNode& node);

// The byte stored for one identifier byte: unchanged, or in DVD-video mode
// restricted to the d-characters "0"-"9", "A"-"Z" (others become "_").
char map_iso_char(const DiscImage& image, char c);

// Builds the ISO 9660 child order (iso_first_child / iso_next) of a directory.
void sort_iso_children(DiscImage& image, SourceNode& directory);

struct IsoLayoutCounters {
  uint64_t path_table_bytes = 0;
  uint64_t directory_sectors = 0;
  uint32_t next_directory_number = 1;
};

// Layout visitor, run breadth first in ISO 9660 order over the directories:
// fills iso_dir_number, iso_dir_sector and iso_dir_bytes. Returns false (and
// fails the build) when the directories cannot be numbered.
bool size_iso_directory(DiscImage& image, SourceNode& directory, IsoLayoutCounters& counters);

// Writers, called at the sectors the layout gave them.
void write_primary_descriptor(const DiscImage& image, SectorEmitter& out);
void write_set_terminator(const DiscImage& image, SectorEmitter& out);
void write_path_table(const DiscImage& image, SectorEmitter& out, bool little_endian);
void write_iso_directory(const DiscImage& image, SectorEmitter& out, SourceNode& directory);
// Bootable images: the boot record volume descriptor and the El Torito boot
// catalog of image.boot.
void write_boot_record(const DiscImage& image, SectorEmitter& out);
void write_boot_catalog(const DiscImage& image, SectorEmitter& out);

// A text field of the primary volume descriptor: the first `width` bytes of
// `text` with "a"-"z" raised to upper case, then spaces. A null text gives
// spaces only.
void fill_text_field(uint8_t* destination, size_t width, const char* text, size_t text_length);

// ECMA-119 9.1.5 recording date and time (7 bytes) of `time`, local time with
// its offset from UTC in 15-minute units; all zero when the time cannot be
// broken down.
void make_iso_date7(int64_t time, uint8_t* destination);
// ECMA-119 8.4.26.1 date and time (17 bytes): 16 digits and the offset; with
// no time, sixteen "0" digits and offset 0.
void make_iso_date17(std::optional<int64_t> time, uint8_t* destination);

}  // namespace kestrel::iso9660
