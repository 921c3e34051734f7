// Counters of the fault-injection seam. They are atomics because a build runs
// on its worker thread while the test thread arms and reads them.
#include "platform/fault_injection.h"

#include <atomic>

namespace kestrel::fault_injection {
namespace {

struct ArmedFault {
  std::atomic<int> operation{-1};  // -1: nothing armed
  std::atomic<uint64_t> nth_call{0};
  std::atomic<FaultEffect> effect{FaultEffect::fail};
  std::atomic<SystemError> error{0};
};

ArmedFault armed;
std::atomic<uint64_t> calls[file_operation_count];
std::atomic<uint64_t> delivered{0};

}  // namespace

void reset() {
  armed.operation.store(-1);
  for (auto& count : calls) count.store(0);
}

void arm(FileOperation operation, uint64_t nth_call, FaultEffect effect, SystemError error) {
  armed.operation.store(-1);
  armed.nth_call.store(nth_call);
  armed.effect.store(effect);
  armed.error.store(error);
  armed.operation.store(static_cast<int>(operation));
}

uint64_t call_count(FileOperation operation) { return calls[static_cast<int>(operation)].load(); }

uint64_t faults_delivered() { return delivered.load(); }

InjectedFault next_call(FileOperation operation) {
  const uint64_t number = calls[static_cast<int>(operation)].fetch_add(1) + 1;
  InjectedFault fault;
  if (armed.operation.load() != static_cast<int>(operation) || armed.nth_call.load() != number)
    return fault;
  fault.active = true;
  fault.effect = armed.effect.load();
  fault.error = armed.error.load();
  delivered.fetch_add(1);
  return fault;
}

}  // namespace kestrel::fault_injection
