// The stereoscopic arrangement of a Blu-ray stream folder: marks the clips of
// each pair found by the analysis, and adds the virtual interleaved files.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/image_writer.h"

namespace kestrel {

// The folder of interleaved files inside BDMV/STREAM, and the extension of
// each interleaved file ("00001.ssif" spans clips 00001 and its partner).
inline constexpr std::u16string_view stereo_folder_name = u"SSIF";
inline constexpr std::u16string_view stereo_file_extension = u".ssif";

// A long allocation descriptor's extent length holds at most this many
// sectors (a 30-bit byte length, in whole sectors: 0x3FFFF000 bytes).
inline constexpr uint32_t max_extent_sectors = 0x7FFFE;

// Allocation descriptors needed for a list of extent lengths in sectors.
uint64_t descriptor_count_for_extents(const std::vector<uint32_t>& extents);

// Blocks an extended file entry with `descriptors` long allocation
// descriptors takes: 114 fit in the entry itself; beyond that the entry
// holds 113 and a continuation, and each allocation extent block 125 and a
// continuation (126 in the last one).
uint32_t entry_blocks_for_descriptors(uint64_t descriptors);

// True when every pair of writer.stereo_pairs was arranged. On false the tree
// is exactly as before (apart from the clip kinds, which the caller resets by
// marking the clips as unpaired), and every title has its warning.
bool arrange_stereo_pairs(ImageWriter& writer, SourceNode& stream_folder);

// Warns of each title of `pairs`, none of which is interleaved: those that
// failed with their reason and the file at fault, the others as kept back
// by them. `movie_folder` is the Blu-ray movie folder's name on disk.
void warn_titles_not_interleaved(ImageWriter& writer, const StereoPairList& pairs,
                                 NativeStringView movie_folder);

}  // namespace kestrel

namespace kestrel {

// One allocation extent of an interleaved clip: where it starts, in sectors
// from the start of the pair's interleaved block, and its length in bytes.
struct InterleavedPiece {
  uint64_t offset_sectors;
  uint32_t length_bytes;
};

// The pieces of a base-view or dependent-view clip inside its pair's block
// (D0, B0, D1, B1, ...), each extent cut into pieces of at most
// max_extent_sectors. The block starts at the dependent clip's data_offset.
std::vector<InterleavedPiece> interleaved_extents(const SourceNode& clip);

}  // namespace kestrel
