// Built by a layering test as if it were part of partition/; it must not
// build: the engine is above the formats.
#include "engine/hybrid_tables.h"
