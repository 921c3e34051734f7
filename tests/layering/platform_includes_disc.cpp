// Built by a layering test as if it were part of platform/; it must not
// build: the formats are above the platform layer.
#include "disc/source_node.h"
