// Runs part of a test on a thread of its own on which the system refuses
// chosen system calls: above all, to set up queued system calls (io_uring_setup fails with the
// given error), as in a container whose seccomp profile forbids io_uring (ENOSYS) or on a kernel
// where it is switched off (EPERM). Threads started from there inherit the refusal, so a whole
// build, its reader threads included, takes the paths that make one call at a time.
#pragma once

#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
#include <initializer_list>
#include <thread>
#include <utility>
#include <vector>

namespace kestrel::test {

// Runs `work` on a thread of its own on which each of the system calls
// `calls` fails with `error` (threads started from there inherit that).
// False where the refusal could not be set up; `work` has not run then.
template <typename Work>
bool run_with_calls_refused(int error, std::initializer_list<unsigned> calls, Work&& work) {
  bool refused = false;
  std::thread([&] {
    // Load the call's number; each check jumps to the refusal at the end.
    std::vector<sock_filter> rules;
    rules.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    size_t left = calls.size();
    for (const unsigned call : calls)
      rules.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, call, static_cast<uint8_t>(left--), 0));
    rules.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    rules.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)));
    const sock_fprog program{static_cast<unsigned short>(rules.size()), rules.data()};
    // Both settings belong to this thread alone and end with it.
    refused = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
              prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
    if (refused) work();
  }).join();
  return refused;
}

template <typename Work>
bool run_with_queued_calls_refused(int error, Work&& work) {
  return run_with_calls_refused(error, {__NR_io_uring_setup}, std::forward<Work>(work));
}

}  // namespace kestrel::test

#endif
