#!/usr/bin/env bash
# Builds Kelvane and splits the sample model into a fresh output folder.
#   tools/demo.sh [OUTPUT_FOLDER]     (default: out/)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh

out=${1:-out}
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target Kelvane

# The outputs land beside the input, so the split works on a copy.
rm -rf "$out"
mkdir -p "$out"
cp examples/sample.mdl "$out/ship.mdl"
echo "\$ Kelvane $out/ship.mdl --offsetmesh --wmp --ext tga --nm"
build/app/Kelvane "$out/ship.mdl" --offsetmesh --wmp --ext tga --nm
echo
echo "Written to $out/:"
ls -l "$out"
echo
echo "$out/ship_pos.txt:"
cat "$out/ship_pos.txt"
