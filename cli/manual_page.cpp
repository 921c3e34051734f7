#include "cli/manual_page.h"

#include "cli/switch_table.h"

namespace kestrel::cli {
namespace {

// Text for roff: a backslash is written \e, and a dash that begins a word
// (a switch) and every dash after it in that word \-, so the page shows and
// searches as the minus sign typed on the command line.
std::string roff_text(std::string_view text) {
  std::string out;
  bool in_switch = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ' ') in_switch = false;
    if (c == '-' && (i == 0 || text[i - 1] == ' ' || text[i - 1] == '(')) in_switch = true;
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && in_switch) {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string switch_text(std::string_view name) { return "\\fB" + roff_text(name) + "\\fR"; }

// Put before a word, \% keeps roff from hyphenating it at the end of a
// line: a switch must be read whole.
constexpr std::string_view no_hyphenation = "\\%";
std::string italic(std::string_view text) { return "\\fI" + roff_text(text) + "\\fR"; }

bool is_word_edge(char c) { return c == ',' || c == '.' || c == ';' || c == ')' || c == '('; }

// A description in roff, a sentence a line: the switches it names in bold,
// `argument` in italics. A line that would start with a dot or a quote, which
// roff reads as a request, starts with \& instead.
std::string roff_description(std::string_view text, std::string_view argument) {
  std::string out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(start, end - start);
    size_t lead = 0;
    while (lead < word.size() && word[lead] == '(') ++lead;
    size_t tail = word.size();
    while (tail > lead && is_word_edge(word[tail - 1])) --tail;
    const std::string_view core = word.substr(lead, tail - lead);
    const bool names_switch =
        core.size() > 1 && core[0] == '-' && find_switch(core.substr(1), true) != nullptr;
    const bool names_argument = !argument.empty() && core == argument;
    // A sentence starts a new line, so that roff knows it for one and sets
    // the wider space after it.
    if (start > 0 && !out.empty()) out += out.back() == '.' ? '\n' : ' ';
    const bool line_start = out.empty() || out.back() == '\n';
    if (line_start && !word.empty() && (word[0] == '.' || word[0] == '\'')) out += "\\&";
    if (names_switch || names_argument) {
      out += no_hyphenation;
      out += roff_text(word.substr(0, lead));
      out += names_switch ? switch_text(core) : italic(core);
      out += roff_text(word.substr(tail));
    } else {
      out += roff_text(word);
    }
    start = end + 1;
  }
  return out;
}

// "\fB\-o\fR \fIFILE\fR, \fB\-output\fR \fIFILE\fR"
std::string switch_forms(const SwitchDefinition& definition) {
  const auto form = [&](std::string_view name) {
    std::string text = std::string(no_hyphenation) + switch_text("-" + std::string(name));
    if (!definition.argument.empty()) text += " " + italic(definition.argument);
    return text;
  };
  std::string forms;
  if (!definition.short_name.empty()) forms = form(definition.short_name) + ", ";
  return forms + form(definition.name);
}

void replace_line(std::string& page, std::string_view marker, const std::string& text) {
  const std::string line = std::string(marker) + "\n";
  const size_t at = page.find(line);
  if (at != std::string::npos) page.replace(at, line.size(), text);
}

}  // namespace

std::string manual_synopsis() {
  // Left-aligned: spreading the words of a synopsis to both margins would
  // tear its brackets apart.
  std::string text = ".ad l\n.B kestrel\\-cli\n";
  for (const SwitchDefinition& definition : switch_definitions()) {
    // One unbreakable word each: "[-label TEXT]".
    text += std::string(no_hyphenation) + "[" + switch_text("-" + std::string(definition.name));
    if (!definition.argument.empty()) text += "\\ " + italic(definition.argument);
    text += "]\n";
  }
  return text + italic("SOURCE") + "\n.ad\n";
}

std::string manual_switches() {
  std::string text;
  for (const SwitchDefinition& definition : switch_definitions()) {
    text += ".TP\n" + switch_forms(definition) + "\n";
    std::string description(definition.description);
    if (!definition.default_text.empty()) {
      description += " The default is ";
      description += definition.default_text;
      description += '.';
    }
    text += roff_description(description, definition.argument) + "\n";
  }
  return text;
}

std::string manual_page(std::string_view page_template) {
  std::string page(page_template);
  replace_line(page, "[[synopsis]]", manual_synopsis());
  replace_line(page, "[[switches]]", manual_switches());
  return page;
}

}  // namespace kestrel::cli
