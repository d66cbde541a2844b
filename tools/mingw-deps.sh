#!/usr/bin/env bash
# Builds the libraries the Windows executables link statically, which Debian
# packages for Linux only: zlib and libspng (PNG encoding in mdlconvert).
# Also copies the header-only libraries the tests read glTF back with
# (tinygltf, nlohmann's JSON, stb's image loader) from Debian's packages,
# which install them where a cross build does not look.
#
#   tools/mingw-deps.sh PREFIX
#
# The sources are Debian's own source packages (the versions Debian's
# libspng-dev and zlib1g-dev are built from), fetched with apt-get source
# from a private deb-src list, so that apt checks them against Debian's
# signed index and nothing on the machine's apt configuration changes. They
# are cross-compiled as static libraries with the MinGW-w64 compiler and
# installed into PREFIX (include/ and lib/). A second run with the same
# versions does nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
prefix=$(realpath -m "${1:?usage: tools/mingw-deps.sh PREFIX}")
stamp="$prefix/.kelvane-deps"
versions="zlib 1:1.2.13.dfsg libspng 0.7.3 headers 1"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$versions" ]; then
  exit 0
fi

work="$prefix/src"
rm -rf "$work"
mkdir -p "$work/lists/partial" "$work/cache/archives/partial"
echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
  >"$work/sources.list"
apt_options=(-o "Dir::Etc::sourcelist=$work/sources.list" -o "Dir::Etc::sourceparts=-"
  -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o "APT::Get::List-Cleanup=0")
# As root, apt would hand the downloads to its own user, who cannot write
# into the build folder.
if [ "$(id -u)" -eq 0 ]; then apt_options+=(-o "APT::Sandbox::User=root"); fi
echo "== Debian sources of zlib and libspng =="
apt-get "${apt_options[@]}" -q update >/dev/null
(cd "$work" && apt-get "${apt_options[@]}" -q source zlib=1:1.2.13.dfsg-1 libspng=0.7.3-3 >/dev/null)

toolchain="$root/cmake/mingw-w64-x86_64.cmake"
jobs=$(nproc 2>/dev/null || echo 2)

echo "== zlib for MinGW-w64 =="
# Only the static library: zlib's DLL target needs a resource compiler set
# up for it, and nothing here links the DLL. Installed by hand under the
# name the linker looks for (-lz).
zlib="$work/zlib-1.2.13.dfsg"
cmake -S "$zlib" -B "$zlib/build-mingw" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -Wno-dev -Wno-deprecated >/dev/null
cmake --build "$zlib/build-mingw" -j"$jobs" --target zlibstatic >/dev/null
mkdir -p "$prefix/include" "$prefix/lib"
cp "$zlib/zlib.h" "$zlib/build-mingw/zconf.h" "$prefix/include/"
cp "$zlib/build-mingw/libzlibstatic.a" "$prefix/lib/libz.a"

echo "== libspng for MinGW-w64 =="
# libspng is one C file; its CMake file cannot build the static library
# alone, so it is compiled directly. SPNG_STATIC keeps its declarations free
# of dllimport.
spng="$work/libspng-0.7.3/spng"
cc=$(command -v x86_64-w64-mingw32-gcc-posix || command -v x86_64-w64-mingw32-gcc)
"$cc" -O2 -DNDEBUG -DSPNG_STATIC -DSPNG_DISABLE_OPT=1 -I"$prefix/include" -c "$spng/spng.c" -o "$work/spng.o"
x86_64-w64-mingw32-ar rcs "$prefix/lib/libspng.a" "$work/spng.o"
cp "$spng/spng.h" "$prefix/include/"

echo "== Header-only test libraries =="
cp /usr/include/tiny_gltf.h /usr/include/stb/stb_image.h "$prefix/include/"
cp -r /usr/include/nlohmann "$prefix/include/"

echo "$versions" >"$stamp"
