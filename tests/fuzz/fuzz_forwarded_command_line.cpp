// Fuzz target: the command-line block a second start of the Windows program
// forwards to the running window (WM_COPYDATA). The whole input is the
// block, its size included, in a heap buffer of exactly that size so that
// AddressSanitizer stops any read past its end. A block the checker accepts
// is split into arguments the way the program splits its command line and
// handed to the argument parser.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/core/gui_command_line.h"

namespace {

// The argument rules of the Windows command line (the ones the program's
// split follows): white space separates arguments outside quotes; 2n
// backslashes before a quote give n backslashes and the quote toggles
// quoting; 2n + 1 give n backslashes and a literal quote; other backslashes
// are literal; "" inside quotes gives one quote. Argument 0, the program, is
// taken up to the first white space or between its quotes, without escapes.
std::vector<std::wstring> split_arguments(const std::u16string& line) {
  std::vector<std::wstring> arguments;
  size_t i = 0;
  const size_t n = line.size();
  auto is_space = [](char16_t c) { return c == u' ' || c == u'\t'; };

  std::wstring program;
  if (i < n && line[i] == u'"') {
    ++i;
    while (i < n && line[i] != u'"') program += static_cast<wchar_t>(line[i++]);
    if (i < n) ++i;
  } else {
    while (i < n && !is_space(line[i])) program += static_cast<wchar_t>(line[i++]);
  }
  arguments.push_back(program);

  while (true) {
    while (i < n && is_space(line[i])) ++i;
    if (i >= n) break;
    std::wstring argument;
    bool quoted = false;
    while (i < n && (quoted || !is_space(line[i]))) {
      if (line[i] == u'\\') {
        size_t backslashes = 0;
        while (i < n && line[i] == u'\\') {
          ++backslashes;
          ++i;
        }
        if (i < n && line[i] == u'"') {
          argument.append(backslashes / 2, L'\\');
          if (backslashes % 2 == 1) {
            argument += L'"';
            ++i;
          }
        } else {
          argument.append(backslashes, L'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {
          argument += L'"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += static_cast<wchar_t>(line[i++]);
      }
    }
    arguments.push_back(std::move(argument));
  }
  return arguments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kestrel::app;
  // The block exactly as received: nothing beyond `size` is addressable.
  std::unique_ptr<uint8_t[]> block(new uint8_t[size == 0 ? 1 : size]);
  if (size != 0) std::memcpy(block.get(), data, size);
  const auto forwarded = decode_forwarded_command_line(size == 0 ? nullptr : block.get(), size);
  if (!forwarded) return 0;

  // What was accepted fits the block: the directory, its NUL, the line and
  // its NUL, within the directory's limit.
  if (forwarded->current_directory.size() >= forwarded_directory_chars) std::abort();
  const size_t accepted_chars =
      forwarded->current_directory.size() + forwarded->command_line.size() + 2;
  if (2 * accepted_chars > size) std::abort();
  if (forwarded->current_directory.find(u'\0') != std::u16string::npos ||
      forwarded->command_line.find(u'\0') != std::u16string::npos)
    std::abort();

  // The sender's block for the same directory and line reads back the same
  // (a sender's line is at most 32767 characters, the longest Windows starts
  // a process with).
  constexpr size_t longest_sent_line = 32767;
  if (forwarded->command_line.size() <= longest_sent_line) {
    const std::vector<uint8_t> again =
        encode_forwarded_command_line(forwarded->current_directory, forwarded->command_line);
    const auto round_trip = decode_forwarded_command_line(again.data(), again.size());
    if (!round_trip || round_trip->current_directory != forwarded->current_directory ||
        round_trip->command_line != forwarded->command_line)
      std::abort();
  }

  const std::vector<std::wstring> arguments = split_arguments(forwarded->command_line);
  const auto request = parse_gui_arguments(arguments);
  if (request) {
    // A request always names a source, never one starting with ':'.
    if (request->source.empty() && arguments.size() < 2) std::abort();
    if (!request->source.empty() && request->source[0] == L':') std::abort();
  }
  return 0;
}
