// The ISO 9660 side of an image: its hierarchy with identifiers, order,
// directory and path-table sizes, and the writers of the volume descriptors,
// both path tables and every directory. The volume owns its sizes; the disc
// map asks for them, places each area and tells the volume where it lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "disc/disc_image.h"
#include "disc/sector_emitter.h"
#include "iso9660/iso_tree.h"
#include "iso9660/record_dates.h"

namespace kestrel::iso9660 {

class IsoVolume {
 public:
  // The hierarchy of the primary volume descriptor, and the Joliet one of
  // the supplementary volume descriptor when the image has it.
  IsoTree primary{Hierarchy::primary};
  IsoTree joliet{Hierarchy::joliet};

  // Puts the source folders in the order the volume names them in, where
  // that order is the volume's to give (an image without UDF, with Joliet).
  // Called once the source tree is complete and before the data is placed,
  // which follows the folders' order.
  void order_source_folders(DiscImage& image);

  // Names, orders and sizes every directory and path table, after
  // order_source_folders(). It changes nothing of the source tree, so the
  // files may be read meanwhile. False, with the build failed, when the
  // volume cannot hold the tree.
  bool lay_out(DiscImage& image);

  // The extensions the volume carries: what was asked, unless the image is
  // a DVD-video image, which keeps its plain volume.
  NameExtensions extensions() const { return extensions_; }
  IsoTree& tree(Hierarchy hierarchy) { return hierarchy == Hierarchy::joliet ? joliet : primary; }
  // Names that the Joliet hierarchy records otherwise than the source has
  // them: shortened, with characters replaced, or numbered to be unique.
  uint32_t joliet_names_altered() const { return joliet_names_altered_; }
  // The dates of the records, worked out as the directories are written.
  RecordDates record_dates;

 private:
  NameExtensions extensions_;
  uint32_t joliet_names_altered_ = 0;
};

// The passes below read the image and the source tree and change only the
// hierarchy they are given, so the two hierarchies are built side by side;
// a failure goes to `report`.
// Builds the primary hierarchy of the source tree: identifiers and order;
// with Rock Ridge, the directories deeper than eight levels relocated.
bool build_primary_tree(const DiscImage& image, BuildReport& report, IsoTree& tree,
                        bool rock_ridge = false);
// Builds the Joliet hierarchy; counts the names it alters.
bool build_joliet_tree(const DiscImage& image, BuildReport& report, IsoTree& tree,
                       uint32_t& altered_names);
// Sizes and places every directory of a tree within its directory area.
bool size_iso_directories(const DiscImage& image, BuildReport& report, IsoTree& tree);
// Bytes of one path table of a tree.
uint64_t size_path_table(const IsoTree& tree);

// Writers, called at the sectors the disc map gave them.
void write_primary_descriptor(const DiscImage& image, const IsoTree& tree, SectorEmitter& out);
// The supplementary volume descriptor of the Joliet hierarchy.
void write_joliet_descriptor(const DiscImage& image, const IsoTree& tree, SectorEmitter& out);
void write_set_terminator(const DiscImage& image, SectorEmitter& out);
void write_path_table(const IsoTree& tree, SectorEmitter& out, bool little_endian);
// Every directory of the tree, each at its place; false when one is not
// where the layout put it, or the output failed.
// `dates` is shared by the hierarchies of one image.
bool write_iso_directories(const DiscImage& image, const IsoTree& tree, RecordDates& dates,
                           SectorEmitter& out);
// The Rock Ridge continuation areas of a tree's records, at their place.
bool write_continuation_areas(const DiscImage& image, const IsoTree& tree, SectorEmitter& out);
// Bootable images: the boot record volume descriptor and the El Torito boot
// catalog of image.boot.
void write_boot_record(const DiscImage& image, SectorEmitter& out);
void write_boot_catalog(const DiscImage& image, SectorEmitter& out);

// The sectors of one directory extent and of one path table, filled into
// zeroed buffers of ceil(bytes / 2048) and path_table_sectors sectors.
void fill_iso_directory(const DiscImage& image, const IsoTree& tree, const IsoDirectory& directory,
                        RecordDates& dates, uint8_t* buffer);
void fill_path_table(const IsoTree& tree, bool little_endian, uint8_t* buffer);
// Fills the primary volume descriptor sector.
void fill_primary_descriptor(const DiscImage& image, const IsoTree& tree, uint8_t* sector);
// Fills the Joliet supplementary volume descriptor sector.
void fill_joliet_descriptor(const DiscImage& image, const IsoTree& tree, uint8_t* sector);

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
