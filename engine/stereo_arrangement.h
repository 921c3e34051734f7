// The stereoscopic arrangement of a Blu-ray stream folder: marks the clips of
// each pair found by the analysis, and adds the virtual interleaved files.
// How the clips' data is then described in UDF is udf/udf_allocation.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/image_writer.h"

namespace kestrel {

// The folder of interleaved files inside BDMV/STREAM, and the extension of
// each interleaved file ("00001.ssif" spans clips 00001 and its partner).
inline constexpr std::u16string_view stereo_folder_name = u"SSIF";
inline constexpr std::u16string_view stereo_file_extension = u".ssif";

// True when every pair of writer.stereo_pairs was arranged. On false the tree
// is exactly as before (apart from the clip kinds, which the caller resets by
// marking the clips as unpaired), and every title has its warning.
bool arrange_stereo_pairs(ImageWriter& writer, SourceNode& stream_folder);

// Warns of each title of `pairs`, none of which is interleaved: those that
// failed with their reason and the file at fault, the others as kept back
// by them. `movie_folder` is the Blu-ray movie folder's name on disk.
void warn_titles_not_interleaved(ImageWriter& writer, const bluray::StereoPairList& pairs,
                                 NativeStringView movie_folder);

}  // namespace kestrel
