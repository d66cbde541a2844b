#!/usr/bin/env bash
# Cross-builds the Windows executables (Kelvane.exe, mdlinfo.exe, mdlconvert.exe
# and the test programs) with MinGW-w64 in build-mingw/, packs them with the
# documents as build-mingw/kelvane-<version>-win64.zip, and tests them under
# Wine:
#   1. every GoogleTest suite, through CTest, each test program run by Wine;
#   2. the split of examples/sample.mdl, given to Kelvane.exe as
#      C:\models\ship.mdl, against the same split by the Linux build: the
#      MDL7 files must be byte-identical, the positions file, the level file
#      and the console output the same apart from the path and line ends.
#
#   tools/windows-test.sh
#
# Installs what is missing with apt-get first (the cross compiler, Wine,
# GoogleTest's sources). The Linux side is build/ (made when absent).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
tools/deps.sh --windows

find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

wine=$(find_wine)

build=build-mingw
jobs=$(nproc 2>/dev/null || echo 2)
started=$SECONDS

echo "== Libraries for the cross build (zlib, libspng) in $build/deps/ =="
tools/mingw-deps.sh "$build/deps"

echo "== Cross build (MinGW-w64) in $build/ =="
# Optimised as the Linux build/ is, without its debug information, which
# would only slow the build and the link.
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DKELVANE_MINGW_DEPS="$root/$build/deps" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVANE_WERROR=ON -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -DNDEBUG" >/dev/null
cmake --build "$build" -j"$jobs"

echo "== Package (.zip) =="
rm -f "$build"/kelvane-*.zip
(cd "$build" && cpack -G ZIP >/dev/null)
zips=("$build"/kelvane-*.zip)
# Read whole: grep -q stopping early would break the lister's pipe.
listing=$(cmake -E tar tf "${zips[0]}")
if ! grep -q '/bin/Kelvane.exe$' <<<"$listing"; then
  echo "missing from ${zips[0]}: bin/Kelvane.exe"
  exit 1
fi
echo "${zips[0]}"

# A Wine prefix of our own inside the build folder: nothing outside it is
# touched, and C: is $WINEPREFIX/drive_c. Creating it takes a few seconds;
# later starts are quick. The .NET and browser add-ons are not wanted.
export WINEPREFIX="$root/$build/wine-prefix"
export WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== Creating the Wine prefix =="
  WINEDLLOVERRIDES="mscoree,mshtml=" "$wine" wineboot --init >/dev/null 2>&1 || true
fi

echo "== Tests under Wine =="
failures=0
ctest --test-dir "$build" --output-on-failure -j"$jobs" || failures=$((failures + 1))

echo "== Sample split: Kelvane.exe on C:\\models\\ship.mdl against the Linux build =="
linux=build
if [ ! -f "$linux/CMakeCache.txt" ]; then
  cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$linux" -j"$jobs" --target Kelvane >/dev/null

compare="$root/$build/compare"
windows_models="$WINEPREFIX/drive_c/models"

# Names that differ only by design are made alike before comparing: the
# Windows run names its files C:\models\shipNNN.mdl (the level file quotes
# the backslashes), the Linux run just shipNNN.mdl.
same_text() {
  local what=$1 linux_file=$2 windows_file=$3 windows_prefix=$4
  if ! sed -e 's/\r$//' -e "s/$windows_prefix//g" "$windows_file" | cmp -s - "$linux_file"; then
    echo "DIFFERENT: $what"
    diff <(sed -e 's/\r$//' -e "s/$windows_prefix//g" "$windows_file") "$linux_file" | head -20 || true
    failures=$((failures + 1))
  fi
}

split_both() {
  local label=$1
  shift
  rm -rf "$compare/$label" "$windows_models"
  mkdir -p "$compare/$label" "$windows_models"
  cp examples/sample.mdl "$compare/$label/ship.mdl"
  cp examples/sample.mdl "$windows_models/ship.mdl"

  (cd "$compare/$label" && "$root/$linux/app/Kelvane" ship.mdl "$@" >"$compare/$label.linux-stdout.txt")
  (cd "$compare" && "$wine" "$root/$build/app/Kelvane.exe" 'C:\models\ship.mdl' "$@" >"$label.windows-stdout.txt")

  local linux_files windows_files
  linux_files=$(cd "$compare/$label" && ls | sort)
  windows_files=$(cd "$windows_models" && ls | sort)
  if [ "$linux_files" != "$windows_files" ]; then
    echo "DIFFERENT file lists ($label): Linux [$linux_files] Windows [$windows_files]"
    failures=$((failures + 1))
    return
  fi

  local name count
  count=0
  for name in $linux_files; do
    case $name in
      *_pos.txt)
        # A text file: every line ends in CR LF on Windows.
        if [ ! -s "$windows_models/$name" ] ||
          [ "$(grep -c $'\r$' "$windows_models/$name")" != "$(wc -l <"$windows_models/$name")" ]; then
          echo "DIFFERENT: $label $name does not end every line with CR LF"
          failures=$((failures + 1))
        fi
        same_text "$label $name" "$compare/$label/$name" "$windows_models/$name" 'C:\\models\\'
        ;;
      *.wmp)
        same_text "$label $name" "$compare/$label/$name" "$windows_models/$name" 'C:\\\\models\\\\'
        ;;
      *)
        # The model files and anything else binary: byte for byte.
        if cmp -s "$compare/$label/$name" "$windows_models/$name"; then
          case $name in ship.mdl) ;; *.mdl) count=$((count + 1)) ;; esac
        else
          echo "DIFFERENT: $label $name"
          cmp "$compare/$label/$name" "$windows_models/$name" || true
          failures=$((failures + 1))
        fi
        ;;
    esac
  done
  same_text "$label console output" "$compare/$label.linux-stdout.txt" "$compare/$label.windows-stdout.txt" 'C:\\models\\'
  echo "$label: $count MDL7 files byte-identical (options: ${*:-none})"
}

split_both plain
split_both full --offsetmesh --wmp --ext tga --nm
split_both all --all --disableMat

echo "Windows step took $((SECONDS - started)) s"
if [ "$failures" -ne 0 ]; then
  echo "Windows step FAILED: $failures failures (failed tests above count as one)"
  exit 1
fi
