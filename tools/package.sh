#!/usr/bin/env bash
# Builds the Release configuration with the default options in build-release/
# and runs its tests, makes the packages there (kelvane_<version>_amd64.deb
# and kelvane-<version>-Linux.tar.gz), unpacks the .deb into a scratch folder
# with dpkg -x, and splits examples/sample.mdl with the unpacked Kelvane: its
# console output and every file it writes must be byte-identical to those of
# the split by build/ (made when absent).
#
#   tools/package.sh
#
# Installs what is missing with apt-get first (dpkg-dev, for the libraries
# the .deb depends on).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/deps.sh --package

build=build-release
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Release build with the default options in $build/ =="
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "== Packages =="
rm -f "$build"/kelvane[_-]*.deb "$build"/kelvane[_-]*.tar.gz
(cd "$build" && cpack)
debs=("$build"/kelvane_*.deb)
tarballs=("$build"/kelvane-*.tar.gz)
if [ ${#debs[@]} -ne 1 ] || [ ${#tarballs[@]} -ne 1 ]; then
  echo "expected one .deb and one .tar.gz in $build/"
  exit 1
fi

unpacked=$build/unpacked
rm -rf "$unpacked"
dpkg -x "${debs[0]}" "$unpacked"
for file in usr/bin/Kelvane usr/bin/mdlinfo usr/share/doc/kelvane/README.md; do
  if [ ! -e "$unpacked/$file" ]; then
    echo "missing from ${debs[0]}: $file"
    exit 1
  fi
done
# The listing is read whole: grep -q would stop at the first match and, under
# pipefail, tar's broken pipe would count as a failed check.
listing=$(tar -tzf "${tarballs[0]}")
if ! grep -q '/bin/Kelvane$' <<<"$listing"; then
  echo "missing from ${tarballs[0]}: bin/Kelvane"
  exit 1
fi

echo "== Sample split: the unpacked Kelvane against build/ =="
reference=build
if [ ! -f "$reference/CMakeCache.txt" ]; then
  cmake -S . -B "$reference" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$reference" -j"$jobs" --target Kelvane >/dev/null

compare=$build/compare
rm -rf "$compare"
for who in packaged reference; do
  mkdir -p "$compare/$who"
  cp examples/sample.mdl "$compare/$who/ship.mdl"
done
options=(--offsetmesh --wmp --ext tga --nm)
(cd "$compare/packaged" && "$root/$unpacked/usr/bin/Kelvane" ship.mdl "${options[@]}" >../packaged.txt)
(cd "$compare/reference" && "$root/$reference/app/Kelvane" ship.mdl "${options[@]}" >../reference.txt)
diff -r "$compare/packaged" "$compare/reference"
diff "$compare/packaged.txt" "$compare/reference.txt"
echo "The unpacked Kelvane wrote the same $(ls "$compare/packaged" | wc -l) files as build/ (options: ${options[*]})"
