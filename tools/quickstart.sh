#!/usr/bin/env bash
# Quick start on a fresh Debian 12 machine: installs the packages, builds a
# release kestrel-cli into build/, makes an image of the sample folder and
# lists what is inside it.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

bash tools/install-deps.sh

generator=()
if command -v ninja >/dev/null 2>&1; then
  generator=(-G Ninja)
fi
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=Release
cmake --build build --target kestrel-cli -j "${KESTREL_JOBS:-2}"

build/kestrel-cli -yes -output build/sample.iso examples/sample-folder
echo
echo "Contents of build/sample.iso:"
7zz l build/sample.iso
