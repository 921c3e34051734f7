#!/usr/bin/env bash
# Checks that every tracked C, C++ and header file is formatted the way the
# project's .clang-format says. Prints the files that differ and exits 1 when
# there are any; `clang-format -i FILE` mends one.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

if ! command -v clang-format >/dev/null 2>&1; then
  echo "check-format: clang-format is not installed" >&2
  exit 1
fi

unformatted=()
while IFS= read -r -d '' file; do
  if ! clang-format --style=file "$file" | cmp -s - "$file"; then
    unformatted+=("$file")
  fi
done < <(git ls-files -z -- '*.c' '*.cpp' '*.h')

if [[ ${#unformatted[@]} -gt 0 ]]; then
  echo "check-format: ${#unformatted[@]} file(s) differ from .clang-format:" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "check-format: every source matches .clang-format"
