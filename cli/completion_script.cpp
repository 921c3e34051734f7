#include "cli/completion_script.h"

#include "cli/command_line.h"
#include "cli/switch_table.h"

namespace kestrel::cli {
namespace {

// "-label|--label|-l" for a bash case pattern.
std::string case_pattern(const SwitchDefinition& definition) {
  std::string pattern = "-" + std::string(definition.name) + "|--" + std::string(definition.name);
  if (!definition.short_name.empty()) pattern += "|-" + std::string(definition.short_name);
  return pattern;
}

// A case pattern that no word on a command line is, for a kind of value that
// no switch takes.
constexpr std::string_view no_switch = "-@no-switch@";

// The case patterns of the switches that `wanted` picks.
template <typename Predicate>
std::string patterns_where(Predicate wanted) {
  std::string patterns;
  for (const SwitchDefinition& definition : switch_definitions()) {
    if (!wanted(definition)) continue;
    if (!patterns.empty()) patterns += '|';
    patterns += case_pattern(definition);
  }
  return patterns.empty() ? std::string(no_switch) : patterns;
}

std::string patterns_of(SwitchValue kind) {
  return patterns_where([kind](const SwitchDefinition& d) { return d.value == kind; });
}

}  // namespace

std::string bash_completion_script() {
  std::string names;
  for (const SwitchDefinition& definition : switch_definitions()) {
    if (!names.empty()) names += ' ';
    names += "-" + std::string(definition.name);
  }
  std::string layouts;
  for (const std::string_view layout : layout_names()) {
    if (!layouts.empty()) layouts += ' ';
    layouts += layout;
  }
  std::string script =
      "# bash completion for kestrel-cli                     -*- shell-script -*-\n"
      "# Made from the switch table of kestrel-cli when it is built.\n"
      "\n"
      "# The source folder given on the line so far, skipping switch values.\n"
      "_kestrel_cli_source() {\n"
      "  local i word ended=\n"
      "  for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do\n"
      "    ((i == COMP_CWORD)) && continue\n"
      "    word=${COMP_WORDS[i]}\n"
      "    if [[ -z $ended ]]; then\n"
      "      case $word in\n"
      "        --) ended=1; continue ;;\n"
      "        @VALUE_SWITCHES@) ((i++)); continue ;;\n"
      "        -?*) continue ;;\n"
      "      esac\n"
      "    fi\n"
      "    printf '%s\\n' \"$word\"\n"
      "    return\n"
      "  done\n"
      "}\n"
      "\n"
      "_kestrel_cli() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev='' i folder\n"
      "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  COMPREPLY=()\n"
      "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
      "    if [[ ${COMP_WORDS[i]} == -- ]]; then\n"
      "      compopt -o filenames 2>/dev/null\n"
      "      mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")\n"
      "      return\n"
      "    fi\n"
      "  done\n"
      "  case $prev in\n"
      "    @LAYOUT_SWITCHES@)\n"
      "      mapfile -t COMPREPLY < <(compgen -W \"@LAYOUTS@\" -- \"$cur\")\n"
      "      return ;;\n"
      "    @PATH_SWITCHES@)\n"
      "      compopt -o filenames 2>/dev/null\n"
      "      mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
      "      return ;;\n"
      "    @SOURCE_PATH_SWITCHES@)\n"
      "      # A path inside the source folder, once the source is on the line.\n"
      "      folder=$(_kestrel_cli_source)\n"
      "      [[ -n $folder && -d $folder ]] || return\n"
      "      folder=${folder%/}/\n"
      "      compopt -o filenames 2>/dev/null\n"
      "      mapfile -t COMPREPLY < <(compgen -f -- \"$folder$cur\")\n"
      "      COMPREPLY=(\"${COMPREPLY[@]#\"$folder\"}\")\n"
      "      return ;;\n"
      "    @OTHER_VALUE_SWITCHES@)\n"
      "      return ;;\n"
      "  esac\n"
      "  if [[ $cur == -* ]]; then\n"
      "    if [[ $cur == --* ]]; then\n"
      "      mapfile -t COMPREPLY < <(compgen -W \"@NAMES@\" -P - -- \"${cur#-}\")\n"
      "    else\n"
      "      mapfile -t COMPREPLY < <(compgen -W \"@NAMES@\" -- \"$cur\")\n"
      "    fi\n"
      "    return\n"
      "  fi\n"
      "  compopt -o filenames 2>/dev/null\n"
      "  mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")\n"
      "}\n"
      "complete -F _kestrel_cli kestrel-cli\n";
  const std::pair<std::string_view, std::string> fills[] = {
      {"@VALUE_SWITCHES@",
       patterns_where([](const SwitchDefinition& d) { return !d.argument.empty(); })},
      {"@LAYOUT_SWITCHES@", patterns_of(SwitchValue::layout)},
      {"@LAYOUTS@", layouts},
      {"@PATH_SWITCHES@", patterns_of(SwitchValue::path)},
      {"@SOURCE_PATH_SWITCHES@", patterns_of(SwitchValue::path_in_source)},
      {"@OTHER_VALUE_SWITCHES@", patterns_where([](const SwitchDefinition& d) {
         return d.value == SwitchValue::text || d.value == SwitchValue::number;
       })},
      {"@NAMES@", names},
  };
  for (const auto& [marker, text] : fills) {
    for (size_t at = script.find(marker); at != std::string::npos; at = script.find(marker, at))
      script.replace(at, marker.size(), text);
  }
  return script;
}

}  // namespace kestrel::cli
