// Runs part of a test on a thread of its own on which the system refuses to
// set up queued system calls (io_uring_setup fails with the given error), as
// in a container whose seccomp profile forbids io_uring (ENOSYS) or on a
// kernel where it is switched off (EPERM). Threads started from there inherit
// the refusal, so a whole build, its reader threads included, takes the paths
// that make one call at a time.
#pragma once

#ifdef __linux__
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

#include <cstddef>
#include <thread>

namespace kestrel::test {

// False where the refusal could not be set up; `work` has not run then.
template <typename Work>
bool run_with_queued_calls_refused(int error, Work&& work) {
  bool refused = false;
  std::thread([&] {
    sock_filter rules[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | static_cast<unsigned>(error)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(sizeof rules / sizeof rules[0]), rules};
    // Both settings belong to this thread alone and end with it.
    refused = prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
              prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
    if (refused) work();
  }).join();
  return refused;
}

}  // namespace kestrel::test

#endif
