# Cross-compiles Kelvane for 64-bit Windows with the MinGW-w64 compiler
# (Debian: g++-mingw-w64-x86-64-posix) and runs the results under Wine.
#
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
#
# Every executable is linked statically, so Kelvane.exe, mdlinfo.exe and the
# test programs need no MinGW runtime DLLs beside them. GoogleTest is built
# from its sources (tests/CMakeLists.txt), since the host's libraries are of
# no use to a Windows program.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KELVANE_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model: GoogleTest and std::thread need it.
find_program(CMAKE_C_COMPILER NAMES ${KELVANE_MINGW_PREFIX}-gcc-posix ${KELVANE_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${KELVANE_MINGW_PREFIX}-g++-posix ${KELVANE_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${KELVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KELVANE_MINGW_PREFIX})
# Libraries built for MinGW by tools/mingw-deps.sh (libspng, zlib).
if(KELVANE_MINGW_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${KELVANE_MINGW_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# GoogleTest from the sources Debian's googletest package installs.
set(KELVANE_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources to build the tests against")

# Wine runs the Windows programs for CTest and for GoogleTest's test
# discovery. Debian's wine64 package keeps its loader outside PATH.
find_program(KELVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine /usr/lib64/wine /usr/libexec/wine)
if(KELVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all ${KELVANE_WINE})
endif()
