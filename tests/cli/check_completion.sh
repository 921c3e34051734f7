#!/usr/bin/env bash
# The bash completion of kestrel-cli, sourced into bash and driven as bash
# drives it (COMP_WORDS, COMP_CWORD): switches, the layouts after -fs, files
# after -output and -json, paths inside the source folder after the boot
# switches, folders for the source.
#
#   check_completion.sh KESTREL-CLI COMPLETION-SCRIPT
set -u
cli="$1"
script="$2"
scratch="${KESTREL_TEST_TMP:-/tmp}/completion-$$"
rm -rf "$scratch" && mkdir -p "$scratch/src/boot/grub" "$scratch/srcs" "$scratch/-odd"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
: > src.txt
: > src/boot/grub/efi.img
: > "src/boot/name with space.img"
failures=0
passes=0

# The script is generated; it is held to the rules of the project's own.
if command -v shellcheck >/dev/null; then
  if shellcheck -s bash "$script"; then passes=$((passes + 1)); else
    echo "FAIL: shellcheck finds faults in $script"; failures=$((failures + 1)); fi
fi

# shellcheck source=/dev/null
source "$script"

# offers WORD... :: EXPECTED...: the completions of the word marked with a
# leading ^ (or of the last word), sorted, are EXPECTED; none when nothing
# follows ::.
offers() {
  local words=() expected=() cursor=-1
  while [ "$1" != :: ]; do
    if [[ "$1" == ^* ]]; then cursor=${#words[@]}; words+=("${1#^}"); else words+=("$1"); fi
    shift
  done
  shift
  expected=("$@")
  ((cursor < 0)) && cursor=$((${#words[@]} - 1))
  COMP_WORDS=("${words[@]}")
  COMP_CWORD=$cursor
  COMPREPLY=()
  _kestrel_cli
  local got wanted
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sort)"
  wanted="$(printf '%s\n' "${expected[@]}" | sort)"
  if [ "$got" = "$wanted" ]; then
    passes=$((passes + 1))
  else
    echo "FAIL: completing '${words[*]}' offered [${got//$'\n'/ }], wanted [${wanted//$'\n'/ }]"
    failures=$((failures + 1))
  fi
}

if [ "$(complete -p kestrel-cli)" = "complete -F _kestrel_cli kestrel-cli" ]; then
  passes=$((passes + 1))
else
  echo "FAIL: kestrel-cli is not registered: $(complete -p kestrel-cli 2>&1)"
  failures=$((failures + 1))
fi

# Every switch that -help lists, and no other, is offered for a lone dash.
mapfile -t listed < <("$cli" -help | sed -nE 's/^  (-[a-z], )?(-[a-z-]+).*/\2/p')
offers kestrel-cli - :: "${listed[@]}"
offers kestrel-cli -la :: -label
offers kestrel-cli --qu :: --quiet
offers kestrel-cli ^-y src :: -yes
offers kestrel-cli -boot- :: -boot-bios -boot-efi -boot-load-size -boot-info-table -boot-hybrid-mbr
offers kestrel-cli -fs u :: udf102 udf250
offers kestrel-cli -yes -fs "" :: iso9660 bridge udf102 udf250
offers kestrel-cli -output sr :: src src.txt srcs
offers kestrel-cli -json src. :: src.txt
offers kestrel-cli -label "" :: 
offers kestrel-cli -boot-load-size "" :: 
# The source: folders only.
offers kestrel-cli -yes sr :: src srcs
# Boot files lie inside the source folder, which may come later on the line.
offers kestrel-cli -boot-efi ^boot/g src :: boot/grub
offers kestrel-cli -boot-efi ^boot/grub/ -yes src :: boot/grub/efi.img
offers kestrel-cli src -boot-bios "boot/na" :: "boot/name with space.img"
offers kestrel-cli -output x.iso -boot-bios b :: 
# After -- a word that looks like a switch is a folder.
offers kestrel-cli -- -o :: -odd

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
