// Windows: the console control events that ask a program to stop.
#include <windows.h>

#include "platform/stop_requests.h"

namespace kestrel {
namespace {

// The POSIX signal numbers whose meaning each event has.
constexpr int interrupt_signal = 2;   // SIGINT
constexpr int quit_signal = 3;        // SIGQUIT
constexpr int hang_up_signal = 1;     // SIGHUP
constexpr int terminate_signal = 15;  // SIGTERM
constexpr int signal_exit_base = 128;

std::atomic<int> first_signal{0};
std::atomic<std::atomic<bool>*> stop_flag{nullptr};

// Set only by release_waiting_console_handler (tests), and then lets one
// waiting handler go; made on first use.
HANDLE handler_release() {
  static const HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  return event;
}

int signal_for(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT: return interrupt_signal;
    case CTRL_BREAK_EVENT: return quit_signal;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT: return hang_up_signal;
    case CTRL_SHUTDOWN_EVENT: return terminate_signal;
    default: return 0;
  }
}

// The system ends the process when the handler of these returns.
bool ends_the_process(DWORD event) {
  return event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
}

BOOL WINAPI on_console_event(DWORD event) { return handle_console_event(event) ? TRUE : FALSE; }

}  // namespace

int console_event_exit_status(unsigned long event) {
  const int number = signal_for(event);
  return number == 0 ? 0 : signal_exit_base + number;
}

bool handle_console_event(unsigned long event) {
  const int number = signal_for(event);
  if (number == 0) return false;
  int none = 0;
  first_signal.compare_exchange_strong(none, number);
  if (std::atomic<bool>* flag = stop_flag.load()) flag->store(true);
  // The program's own thread removes the temporary file and ends the
  // process; the system would end it (and leave the file) the moment this
  // returned. It gives a few seconds (five for a closed console) before it
  // ends the process all the same.
  if (ends_the_process(event)) {
    if (handler_release() != nullptr) {
      WaitForSingleObject(handler_release(), INFINITE);
    } else {
      Sleep(INFINITE);
    }
  }
  return true;
}

void release_waiting_console_handler() {
  if (handler_release() != nullptr) SetEvent(handler_release());
}

void catch_stop_requests() {
  handler_release();
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void release_stop_requests() { SetConsoleCtrlHandler(on_console_event, FALSE); }

void set_stop_flag(std::atomic<bool>* flag) {
  stop_flag.store(flag);
  if (flag != nullptr && first_signal.load() != 0) flag->store(true);
}

bool stop_requested() { return first_signal.load() != 0; }

int stop_exit_status() {
  const int number = first_signal.load();
  return number == 0 ? 0 : signal_exit_base + number;
}

}  // namespace kestrel
