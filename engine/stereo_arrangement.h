// The stereoscopic arrangement of a Blu-ray stream folder: marks the clips of
// each pair found by the analysis, and adds the virtual interleaved files.
#pragma once

#include "engine/image_writer.h"

namespace kestrel {

// True when every pair of writer.stereo_pairs was arranged; on false the
// tree is as before and the caller marks the clips as unpaired.
bool arrange_stereo_pairs(ImageWriter& writer, SourceNode& stream_folder);

}  // namespace kestrel
