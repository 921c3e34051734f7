#include "cli/help_text.h"

#include <algorithm>
#include <string_view>

#include "cli/switch_table.h"

namespace kestrel::cli {
namespace {

constexpr size_t line_width = 79;
constexpr size_t switch_indent = 2;
constexpr size_t column_gap = 2;

// "-o, -output FILE" or "-map".
std::string switch_heading(const SwitchDefinition& definition) {
  std::string heading;
  if (!definition.short_name.empty()) {
    heading += '-';
    heading += definition.short_name;
    heading += ", ";
  }
  heading += '-';
  heading += definition.name;
  if (!definition.argument.empty()) {
    heading += ' ';
    heading += definition.argument;
  }
  return heading;
}

// `text` broken into lines of at most line_width columns after `indent`
// columns; the first line continues `line` (already `indent` wide).
void append_wrapped(std::string& out, std::string line, std::string_view text, size_t indent) {
  size_t start = 0;
  bool line_has_words = false;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(start, end - start);
    if (line_has_words && line.size() + 1 + word.size() > line_width) {
      out += line + '\n';
      line.assign(indent, ' ');
      line_has_words = false;
    }
    if (line_has_words) line += ' ';
    line += word;
    line_has_words = true;
    start = end + 1;
  }
  out += line + '\n';
}

}  // namespace

std::string usage_text() {
  std::string text =
      "Usage: kestrel-cli [switches] SOURCE\n"
      "\n"
      "Builds one disc image (.iso) from the folder SOURCE.\n"
      "\n";
  size_t column = 0;
  for (const SwitchDefinition& definition : switch_definitions())
    column = std::max(column, switch_heading(definition).size());
  column += switch_indent + column_gap;
  for (const SwitchDefinition& definition : switch_definitions()) {
    std::string line(switch_indent, ' ');
    line += switch_heading(definition);
    line.resize(std::max(column, line.size() + 1), ' ');
    std::string summary(definition.summary);
    if (!definition.default_text.empty()) {
      summary += " (default: ";
      summary += definition.default_text;
      summary += ')';
    }
    append_wrapped(text, line, summary, column);
  }
  text += "\n";
  append_wrapped(text, "",
                 "Switches may also be written with two dashes (--label). After -- every word "
                 "is the source.",
                 0);
  append_wrapped(text, "",
                 "A folder holding BDMV or BDAV is always written as a Blu-ray UDF 2.50 image, "
                 "one holding VIDEO_TS or AUDIO_TS as a DVD-video ISO 9660 + UDF 1.02 image. A "
                 "folder copied from a bootable disc (GRUB, ISOLINUX, installer discs) stays "
                 "bootable unless -no-boot is given.",
                 0);
  text += "\n";
  text +=
      "Exit codes: 0 done, 1 build failed, 2 usage error, 3 image exists (use -yes),\n"
      "128 + N stopped by signal N (130 Ctrl-C).\n";
  return text;
}

}  // namespace kestrel::cli
