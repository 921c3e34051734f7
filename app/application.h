// Process start-up, the single-instance rule and the command lines that reach
// the main window: the program's own, and those forwarded by a second start.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kestrel::app {

// Runs the program: settings path, single instance, shell verb migration,
// themes, then the main window as a modal dialog. Always returns 0.
int run_application(HINSTANCE instance);

HINSTANCE app_instance();
void set_app_instance(HINSTANCE instance);

// The program's own arguments (element 0 is the program), read once by the
// main window when it opens.
const std::vector<std::wstring>& program_arguments();
void set_program_arguments(std::vector<std::wstring> arguments);
// Splits a command line the way the program's own is split.
std::vector<std::wstring> split_command_line(const wchar_t* command_line);

// True when this process may go on; false when it handed its command line to
// the running instance and must end.
bool check_single_instance();
// Raises the running instance's window and sends it this process's current
// directory and command line.
void forward_command_line(HWND window);
// The main window's handler of WM_COPYDATA.
void receive_command_line(HWND window, const COPYDATASTRUCT* block);
// Finds source, label and output in an argument vector and fills the main
// window. Relative paths of a forwarded line are resolved against the
// sender's directory (`base_directory`); nullptr for the program's own.
void parse_command_line(const std::vector<std::wstring>& arguments, const wchar_t* base_directory);

}  // namespace kestrel::app
