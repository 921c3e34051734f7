// Requests from outside to stop the program, caught so that a build can wind
// down, remove its temporary file and leave an existing target as it was,
// instead of being ended in the middle of a write. On POSIX these are the
// signals SIGINT (Ctrl-C), SIGTERM, SIGHUP (the terminal closed, an ssh
// session ended) and SIGQUIT (Ctrl-\); on Windows the console's control
// events: Ctrl+C, Ctrl+Break, the console window closed, log-off and
// shut-down.
#pragma once

#include <atomic>

namespace kestrel {

// Starts catching the requests. A hang-up that was ignored when the program
// started (nohup) stays ignored.
void catch_stop_requests();

// Gives the requests back to the system's default handling, for a program
// that has nothing left to clean up.
void release_stop_requests();

// `flag` (a build job's cancel flag) is set by every later request, and at
// once when one came already; null to stop setting one.
void set_stop_flag(std::atomic<bool>* flag);

// True once a request came.
bool stop_requested();

// The exit status the first request calls for: 128 + the number of its
// signal; 0 when none came. A Windows console event counts as the POSIX
// signal of the same meaning: Ctrl+C as SIGINT (130), Ctrl+Break as SIGQUIT
// (131), a closed console and log-off as SIGHUP (129), shut-down as SIGTERM
// (143).
int stop_exit_status();

#ifdef _WIN32
// The console control handler itself, for tests. For a closed console, a
// log-off and a shut-down the system ends the process as soon as the
// handler returns, so it does not return: the program winds its build
// down and ends by itself while the handler waits (in tests, until
// release_waiting_console_handler lets one waiting handler go). Returns
// whether the event was one of those above.
bool handle_console_event(unsigned long event);
void release_waiting_console_handler();
// The exit status an event calls for (see stop_exit_status); 0 for others.
int console_event_exit_status(unsigned long event);
#endif

}  // namespace kestrel
