// POSIX: the signals that ask a program to stop.
#include <signal.h>

#include <csignal>

#include "platform/stop_requests.h"

namespace kestrel {
namespace {

constexpr int caught_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// A process ended by a signal reports 128 + its number, as shells do.
constexpr int signal_exit_base = 128;

// The handler touches only lock-free atomics and a sig_atomic_t.
volatile std::sig_atomic_t first_signal = 0;
std::atomic<std::atomic<bool>*> stop_flag{nullptr};
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free &&
                  std::atomic<bool>::is_always_lock_free,
              "the signal handler may only touch lock-free atomics");

extern "C" void on_stop_signal(int number) {
  if (first_signal == 0) first_signal = number;
  if (std::atomic<bool>* flag = stop_flag.load()) flag->store(true);
}

bool ignored_from_the_start(int number) {
  struct sigaction current {};
  return sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

}  // namespace

void catch_stop_requests() {
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (const int number : caught_signals) sigaddset(&action.sa_mask, number);
  action.sa_flags = SA_RESTART;
  for (const int number : caught_signals) {
    // nohup's promise is kept. An ignored SIGINT or SIGQUIT is caught all the
    // same: a shell starts its background jobs with them ignored, and those
    // should still stop cleanly when sent one.
    if (number == SIGHUP && ignored_from_the_start(number)) continue;
    sigaction(number, &action, nullptr);
  }
}

void release_stop_requests() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (const int number : caught_signals) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != on_stop_signal) continue;
    sigaction(number, &action, nullptr);
  }
}

void set_stop_flag(std::atomic<bool>* flag) {
  stop_flag.store(flag);
  if (flag != nullptr && first_signal != 0) flag->store(true);
}

bool stop_requested() { return first_signal != 0; }

int stop_exit_status() { return first_signal == 0 ? 0 : signal_exit_base + first_signal; }

}  // namespace kestrel
