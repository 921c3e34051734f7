// Windows: no reader for groups of small files; each is read on its own.
#include "platform/small_files.h"

namespace kestrel {

std::unique_ptr<SmallFileReader> SmallFileReader::create() { return nullptr; }

}  // namespace kestrel
