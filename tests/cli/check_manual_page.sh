#!/usr/bin/env bash
# The manual page kestrel-cli(1) as man shows it and as Debian's tools read
# it: groff and man find nothing to warn about, lexgrog finds its NAME line,
# and every switch that `kestrel-cli -help` lists has its paragraph.
#
#   check_manual_page.sh KESTREL-CLI PAGE
#
# Exits 77 (skipped) when groff, man or lexgrog is not installed.
set -u
cli="$1"
page="$2"
for tool in groff man lexgrog; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
failures=0
passes=0
check() {  # check CONDITION-STATUS MESSAGE
  if [ "$1" -eq 0 ]; then passes=$((passes + 1)); else echo "FAIL: $2"; failures=$((failures + 1)); fi
}
export LC_ALL=C.UTF-8 MANWIDTH=80

warnings="$(groff -man -ww -z "$page" 2>&1)"
[ -z "$warnings" ]; check $? "groff -man -ww warns: $warnings"
# As lintian renders it.
warnings="$(man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)"
[ -z "$warnings" ]; check $? "man --warnings warns: $warnings"
names="$(lexgrog "$page" 2>&1)"
[[ "$names" == *'"kestrel-cli - build an ISO 9660 or UDF disc image from one folder"'* ]]
check $? "lexgrog finds no NAME line: $names"

rendered="$(man -l "$page" 2>/dev/null | col -bx)"
[ -n "$rendered" ]; check $? "man -l shows nothing"
for section in SYNOPSIS DESCRIPTION OPTIONS LAYOUTS "DISC FOLDERS" WARNINGS REPORT \
               "EXIT STATUS" ENVIRONMENT EXAMPLES "REPORTING BUGS"; do
  grep -q "^$section\$" <<<"$rendered"; check $? "no section $section"
done
# Leftovers of the template would show as text.
! grep -q '\[\[\|@[A-Z_]*@' <<<"$rendered"; check $? "a template marker is left in the page"

# Every switch of -help, with its short form and argument as -help shows
# them, heads a paragraph of OPTIONS; and the synopsis names it.
help="$("$cli" -help)"
switches=0
while read -r heading; do
  switches=$((switches + 1))
  # "-o, -output FILE" in -help is "-o FILE, -output FILE" in the page.
  if [[ "$heading" =~ ^(-[a-z]),\ (-[a-z-]+)(\ [A-Z]+)?$ ]]; then
    tag="${BASH_REMATCH[1]}${BASH_REMATCH[3]}, ${BASH_REMATCH[2]}${BASH_REMATCH[3]}"
    name="${BASH_REMATCH[2]}"
  else
    tag="$heading"
    name="${heading%% *}"
  fi
  # A short tag shares its line with the paragraph's first words.
  grep -qE -- "^       ${tag//./\\.}( |\$)" <<<"$rendered"; check $? "the page has no paragraph for $tag"
  sed -n '/^SYNOPSIS$/,/^DESCRIPTION$/p' <<<"$rendered" | grep -qF -- "[$name"
  check $? "the synopsis does not name $name"
done < <(sed -nE 's/^  (-[^ ]+(, -[^ ]+)?( [A-Z]+)?)  .*/\1/p' <<<"$help")
[ "$switches" -ge 10 ]; check $? "only $switches switches found in -help"
for layout in iso9660 bridge udf102 udf250; do
  grep -qE "^       $layout( |\$)" <<<"$rendered"; check $? "LAYOUTS has no $layout"
done

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
