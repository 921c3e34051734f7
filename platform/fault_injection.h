// A fault-injection seam in the file and thread layer, for test builds only
// (the CMake option KESTREL_FAULT_INJECTION). A test arms one fault: the Nth
// open, read, write, folder listing or thread start from then on fails with
// a chosen error or, for reads and writes, comes up short. The layer asks
// `next_call` before each of those operations; in other builds it never does
// and the seam is inert.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

namespace kestrel::fault_injection {

enum class FileOperation : uint8_t {
  open = 0,      // FileHandle::open
  read,          // FileHandle::read
  write,         // FileHandle::write
  list,          // DirectoryFinder::find_first
  start_thread,  // the build's worker thread (start_build)
};
inline constexpr int file_operation_count = 5;

enum class FaultEffect : uint8_t {
  fail = 0,     // the call does nothing and reports the error
  short_count,  // the call moves half the bytes asked for, then reports the error
};

// What the file layer is to do with the call it is about to make.
struct InjectedFault {
  bool active = false;
  FaultEffect effect = FaultEffect::fail;
  SystemError error = 0;
};

// Counts the calls of every operation from zero again and clears any fault.
void reset();

// Arms one fault: the `nth_call` (counted from 1 since the last reset) of
// `operation` gets `effect` with `error` (0 for a short read, which looks like
// the end of the file). One fault at a time; arming replaces the last one.
void arm(FileOperation operation, uint64_t nth_call, FaultEffect effect, SystemError error);

// Calls of `operation` since the last reset.
uint64_t call_count(FileOperation operation);

// Faults delivered since the process started (for the test report).
uint64_t faults_delivered();

// Called by the file layer before each operation; counts the call and tells
// whether it is the one to fail.
InjectedFault next_call(FileOperation operation);

}  // namespace kestrel::fault_injection
