// Windows console control events stop a build the way POSIX signals do
// (those are sent to the real kestrel-cli by tests/readers/check_stop_signals.sh):
// each sets the build's cancel flag and calls for the exit status of its
// signal; for a closed console, log-off and shut-down the handler does not
// return, since the system would end the process before the temporary file
// is removed.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/stop_requests.h"

namespace kestrel {
namespace {

using namespace std::chrono_literals;

// Wine gives a program started from a Unix shell a console of its own; on
// Windows the console is shared with whatever started the tests, which a
// generated Ctrl+C would stop too.
bool console_is_own() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool becomes_true(const std::atomic<bool>& flag) {
  for (int i = 0; i < 200 && !flag.load(); ++i) std::this_thread::sleep_for(10ms);
  return flag.load();
}

TEST(StopRequests, ConsoleEventsCallForTheStatusOfTheirSignals) {
  EXPECT_EQ(console_event_exit_status(CTRL_C_EVENT), 130);
  EXPECT_EQ(console_event_exit_status(CTRL_BREAK_EVENT), 131);
  EXPECT_EQ(console_event_exit_status(CTRL_CLOSE_EVENT), 129);
  EXPECT_EQ(console_event_exit_status(CTRL_LOGOFF_EVENT), 129);
  EXPECT_EQ(console_event_exit_status(CTRL_SHUTDOWN_EVENT), 143);
  EXPECT_EQ(console_event_exit_status(7), 0);
  EXPECT_FALSE(handle_console_event(7));
}

// Ctrl+C and Ctrl+Break as the console delivers them, where this process
// has a console of its own (Wine delivers Ctrl+C, not Ctrl+Break, to a
// console made with AllocConsole; what it does not deliver is handed to the
// handler directly); then the events that end the process, handed to the
// handler directly, as no test can close its own console and live.
TEST(StopRequests, EveryConsoleEventStopsTheBuildAndTheClosingOnesWaitForIt) {
  std::atomic<bool> cancel{false};
  catch_stop_requests();
  set_stop_flag(&cancel);
  // A process started in a new process group ignores Ctrl+C until told not
  // to; one whose output goes to pipes (ctest) has no console yet.
  SetConsoleCtrlHandler(nullptr, FALSE);
  const bool own_console = console_is_own() && (FreeConsole(), AllocConsole() != FALSE);
  for (const DWORD event : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
    cancel.store(false);
    if (!own_console || !GenerateConsoleCtrlEvent(event, 0)) {
      std::printf("note: console event %lu handed to the handler directly\n", event);
      EXPECT_TRUE(handle_console_event(event));
    }
    EXPECT_TRUE(becomes_true(cancel)) << "event " << event;
    EXPECT_TRUE(stop_requested());
  }
  for (const DWORD event :
       {DWORD{CTRL_CLOSE_EVENT}, DWORD{CTRL_LOGOFF_EVENT}, DWORD{CTRL_SHUTDOWN_EVENT}}) {
    cancel.store(false);
    std::atomic<bool> returned{false};
    std::thread handler([&] {
      EXPECT_TRUE(handle_console_event(event));
      returned.store(true);
    });
    EXPECT_TRUE(becomes_true(cancel)) << "event " << event;
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned.load()) << "the handler of event " << event << " returned";
    release_waiting_console_handler();
    handler.join();
    EXPECT_TRUE(returned.load());
  }
  // The first request decides the status.
  EXPECT_NE(stop_exit_status(), 0);
  set_stop_flag(nullptr);
  release_stop_requests();
}

}  // namespace
}  // namespace kestrel
#endif
