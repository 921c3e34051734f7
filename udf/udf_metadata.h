// UDF 2.50 metadata file entries, built into a sector buffer
// (write_metadata_file_entry in udf_volume.h emits them).
#pragma once

#include <cstdint>

#include "disc/disc_image.h"

namespace kestrel::udf {

// Fills the metadata file entry (mirror clear) or the metadata mirror file
// entry (mirror set) for absolute sector `sector` into a zero-filled sector.
// False when the metadata needs more extents than one entry can list.
bool fill_metadata_file_entry(const DiscImage& image, uint8_t* buffer, uint32_t sector,
                              bool mirror);

}  // namespace kestrel::udf
