// Windows: no reader for groups of small files; each is read on its own, and
// no system calls are queued.
#include "platform/small_files.h"

namespace kestrel {

std::unique_ptr<SmallFileReader> SmallFileReader::create() { return nullptr; }

void allow_queued_system_calls(bool) {}

bool queued_system_calls_allowed() { return false; }

}  // namespace kestrel
