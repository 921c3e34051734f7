// Built by a layering test as if it were part of udf/; it must not build:
// the engine is above the formats.
#include "engine/image_writer.h"
