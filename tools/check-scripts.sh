#!/usr/bin/env bash
# Checks every tracked shell script with shellcheck, warnings and errors
# (style notes are left to the author). Prints the findings and exits 1 when
# there are any.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

if ! command -v shellcheck >/dev/null 2>&1; then
  echo "check-scripts: shellcheck is not installed" >&2
  exit 1
fi

scripts=()
while IFS= read -r -d '' script; do
  scripts+=("$script")
done < <(git ls-files -z -- '*.sh' .ci/run)

# -x follows the helpers that the reader checks source.
if ! shellcheck -x --severity=warning "${scripts[@]}"; then
  echo "check-scripts: shellcheck found the problems above" >&2
  exit 1
fi
echo "check-scripts: ${#scripts[@]} scripts pass shellcheck"
