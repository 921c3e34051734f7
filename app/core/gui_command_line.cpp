#include "app/core/gui_command_line.h"

#include <algorithm>
#include <cstring>

namespace kestrel::app {

const wchar_t* const usage_text =
    L"Usage:\tkestrel [switches] [source folder]\n\nSwitches:\n\t-label  [label]\n\t-output "
    L"[target iso file]\n\nExamples:\n\tkestrel \"d:\\foo\" -output \"d:\\foo.iso\" -label \"foo\"";

namespace {

wchar_t ascii_lower(wchar_t c) {
  return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

std::optional<SourceRequest> parse_gui_arguments(const std::vector<std::wstring>& arguments) {
  SourceRequest request;
  bool have_source = false;
  const size_t count = arguments.size();
  for (size_t i = 1; i < count; ++i) {
    const std::wstring& argument = arguments[i];
    if (!argument.empty() && (argument[0] == L'/' || argument[0] == L'-')) {
      const wchar_t letter = argument.size() > 1 ? ascii_lower(argument[1]) : L'\0';
      if ((letter == L'l' || letter == L'o') && i + 1 < count) {
        (letter == L'l' ? request.label : request.output) = arguments[i + 1];
        ++i;
      } else if (letter == L'l' || letter == L'o') {
        ++i;  // a switch at the very end has no value
      }
      continue;
    }
    request.source = argument;
    have_source = true;
  }
  if (!have_source) return std::nullopt;
  if (!request.source.empty() && request.source[0] == L':') return std::nullopt;
  if (request.source.size() > 1 && request.source.back() == L'"') request.source.back() = L'\\';
  return request;
}

std::vector<uint8_t> encode_forwarded_command_line(std::u16string_view current_directory,
                                                   std::u16string_view command_line) {
  // A cut directory would name another folder; such a block is not made.
  if (current_directory.size() > forwarded_directory_chars - 1) return {};
  // The directory and its NUL take the 261 reserved characters; a directory
  // of 260 characters fills them, and the block grows by one character so
  // that the command line still ends in its NUL (without it the receiver
  // refuses the block and the forwarded command line is lost).
  const size_t reserved = std::max(forwarded_directory_chars, current_directory.size() + 2);
  const size_t size = 2 * command_line.size() + 2 * reserved;
  std::vector<uint8_t> block(size, 0);
  // UTF-16 in the byte order of the machine, as WM_COPYDATA carries it.
  std::memcpy(block.data(), current_directory.data(), 2 * current_directory.size());
  std::memcpy(block.data() + 2 * (current_directory.size() + 1), command_line.data(),
              2 * command_line.size());
  return block;
}

std::optional<ForwardedCommandLine> decode_forwarded_command_line(const void* data, size_t size) {
  if (data == nullptr || size == 0 || size % 2 != 0 || size > forwarded_block_limit)
    return std::nullopt;
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, size);
  const size_t directory_end = text.find(u'\0');
  if (directory_end == std::u16string::npos || directory_end >= forwarded_directory_chars)
    return std::nullopt;
  const size_t line_start = directory_end + 1;
  const size_t line_end = text.find(u'\0', line_start);
  if (line_end == std::u16string::npos) return std::nullopt;
  ForwardedCommandLine block;
  block.current_directory = text.substr(0, directory_end);
  block.command_line = text.substr(line_start, line_end - line_start);
  return block;
}

}  // namespace kestrel::app
