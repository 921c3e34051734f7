// The command line of the Windows program: "kestrel [switches] [source
// folder]" with "-label" and "-output", from the program's own arguments or
// forwarded by a second start to the running window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::app {

// What a command line asks of the main window. Label and output are set only
// when their switch came with a value.
struct SourceRequest {
  std::wstring source;
  std::optional<std::wstring> output;
  std::optional<std::wstring> label;
};

// Finds source, label and output in an argument vector whose element 0 is the
// program. A switch begins with '/' or '-'; its second character (ASCII
// letters compared without case) selects it: 'l' takes the next argument as
// the label, 'o' as the output file; any other switch is skipped and
// consumes nothing. Every other argument is the source; the last one wins.
// No request without a source, or when the source begins with ':'. A quoted
// drive root ("D:\" arrives as D:") gets its backslash back.
std::optional<SourceRequest> parse_gui_arguments(const std::vector<std::wstring>& arguments);

// The usage text shown by the options menu.
extern const wchar_t* const usage_text;

// The block a second start sends to the running window (WM_COPYDATA): the
// sender's current directory and its full command line, each as UTF-16 with
// a terminating NUL, in a zero-filled block of 2 x (command line length) +
// 522 bytes (524 when the directory is 260 characters long, so that the
// command line keeps its NUL).
struct ForwardedCommandLine {
  std::u16string current_directory;
  std::u16string command_line;
};

// Characters reserved for the current directory, its NUL included.
inline constexpr size_t forwarded_directory_chars = 261;
// Upper bound accepted for a received block: the longest command line
// Windows can start a process with (32767 characters) plus the directory.
inline constexpr size_t forwarded_block_limit = 2 * 32768 + 2 * forwarded_directory_chars;

// Builds the block; empty when the directory is longer than 260 characters
// (it would not fit the receiver's path buffer).
std::vector<uint8_t> encode_forwarded_command_line(std::u16string_view current_directory,
                                                   std::u16string_view command_line);

// Reads a block received from another process. Refuses blocks that are odd
// in size, too large, or lack either terminating NUL; the directory must be
// shorter than 261 characters.
std::optional<ForwardedCommandLine> decode_forwarded_command_line(const void* data, size_t size);

}  // namespace kestrel::app
