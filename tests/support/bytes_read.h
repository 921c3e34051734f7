// How much this process has read from files, for tests that check that a
// build reads only what it must (holes, files told apart by size).
#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace kestrel::test {

// Bytes that this process has read from files so far (Linux: /proc/self/io,
// every thread's reads together); 0 where the system does not say.
inline uint64_t bytes_read_by_process() {
#ifdef __linux__
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
#endif
  return 0;
}

}  // namespace kestrel::test
