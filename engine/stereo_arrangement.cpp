#include "engine/stereo_arrangement.h"

namespace kestrel {

bool arrange_stereo_pairs(ImageWriter&, SourceNode&) {
  // Interleaved stereoscopic layout is not built yet: every clip is written
  // as an ordinary real-time file.
  return false;
}

}  // namespace kestrel
