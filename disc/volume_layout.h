// The sectors and sizes the layout fixed before the first sector is written,
// which the volume descriptors, directory records and file entries record.
#pragma once

#include <cstdint>

#include "disc/source_node.h"

namespace kestrel {

struct VolumeLayout {
  uint32_t image_sectors = 0;
  uint32_t data_sectors = 0;
  uint32_t data_start = 0;  // first data sector, counted from data_base
  // ISO 9660 only: the first sector after the volume descriptors (and the
  // boot catalog); with UDF: the partition start.
  uint32_t data_base = 0;
  uint32_t partition_length = 0;
  uint32_t metadata_blocks = 0;
  uint32_t file_structure_blocks = 0;  // UDF: what the file structure takes of metadata_blocks
  uint32_t mirror_entry_sector = 0;
  uint32_t mirror_data_sector = 0;
  // UDF: where the anchors send readers for the volume descriptor sequences,
  // and where the logical volume descriptor sends them for the integrity
  // sequence.
  uint32_t main_sequence_sector = 0;
  uint32_t reserve_sequence_sector = 0;
  uint32_t integrity_sector = 0;

  // Absolute sector of a file's data.
  uint64_t file_data_sector(const SourceNode& node) const {
    return static_cast<uint64_t>(data_base) + data_start + node.data_offset;
  }
  // First sector of the data area.
  uint64_t file_data_sector_start() const { return static_cast<uint64_t>(data_base) + data_start; }
};

}  // namespace kestrel
