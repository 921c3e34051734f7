// Built by a layering test as if it were part of udf/: the formats' shared
// headers, the Blu-ray types and the platform are below it.
#include "bluray/stereo_pair.h"
#include "disc/disc_image.h"
#include "platform/file_system.h"
#include "udf/udf_records.h"
