#!/usr/bin/env bash
# Installs what building and testing Kelvane needs on a Debian machine, when
# it is missing: the compiler, CMake, GoogleTest, Google Benchmark, libspng
# (mdlconvert's PNG encoder) and tinygltf with what it includes (the glTF
# reader the export tests read every output back with).
#   tools/deps.sh          what the build, the tests and the demo need
#   tools/deps.sh --fuzz   also clang with its libFuzzer runtime
#   tools/deps.sh --windows  also the MinGW-w64 cross compiler, Wine and
#                          GoogleTest's sources for the Windows build
#   tools/deps.sh --validate also Node.js with npm (the glTF validator) and the
#                          image converters that make the textures the
#                          validation models name
#   tools/deps.sh --preview  also Node.js with npm and Chromium (the preview)
#   tools/deps.sh --package  also dpkg-dev, which works out what the .deb
#                          depends on
#   tools/deps.sh --format   also clang-format
set -euo pipefail

missing=()
command -v g++ >/dev/null || missing+=(g++)
command -v cmake >/dev/null || missing+=(cmake)
command -v make >/dev/null || missing+=(make)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
[ -f /usr/include/gmock/gmock.h ] || missing+=(libgmock-dev)
[ -f /usr/include/benchmark/benchmark.h ] || missing+=(libbenchmark-dev)
[ -f /usr/include/spng.h ] || missing+=(libspng-dev)
[ -f /usr/include/tiny_gltf.h ] || missing+=(libtinygltf-dev)
[ -f /usr/include/nlohmann/json.hpp ] || missing+=(nlohmann-json3-dev)
[ -f /usr/include/stb/stb_image.h ] || missing+=(libstb-dev)
case "${1:-}" in
  --fuzz)
    command -v clang++ >/dev/null || missing+=(clang)
    compgen -G '/usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a' >/dev/null || missing+=(libclang-rt-dev)
    ;;
  --windows)
    command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=(g++-mingw-w64-x86-64-posix)
    # Debian's wine64 keeps its loader outside PATH.
    { [ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null || command -v wine >/dev/null; } || missing+=(wine64)
    [ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)
    # tools/mingw-deps.sh unpacks Debian source packages.
    command -v dpkg-source >/dev/null || missing+=(dpkg-dev)
    ;;
  --validate)
    command -v node >/dev/null || missing+=(nodejs)
    command -v npm >/dev/null || missing+=(npm)
    command -v pnmtopng >/dev/null || missing+=(netpbm)
    command -v cjpeg >/dev/null || missing+=(libjpeg-turbo-progs)
    ;;
  --preview)
    command -v node >/dev/null || missing+=(nodejs)
    command -v npm >/dev/null || missing+=(npm)
    [ -x /usr/bin/chromium ] || missing+=(chromium)
    ;;
  --package)
    command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
    ;;
  --format)
    command -v clang-format >/dev/null || missing+=(clang-format)
    ;;
esac

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
