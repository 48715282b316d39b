#!/usr/bin/env bash
# Cross-builds RAZIVERA.dll for 32-bit and 64-bit Windows with MinGW-w64:
#   build-win32/RAZIVERA.dll  build-win32/libRAZIVERA.dll.a  build-win32/RAZIVERA.def
#   build-win64/RAZIVERA.dll  build-win64/libRAZIVERA.dll.a  build-win64/RAZIVERA.def
# With --tests the 64-bit tree also builds the test suite and the DLL
# checking programs, which ctest runs under Wine.
#   cmake/build-windows.sh [--tests]
set -euo pipefail
cd "$(dirname "$0")/.."

tests=OFF
case "${1:-}" in
  "") ;;
  --tests) tests=ON ;;
  *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac
jobs=${RZ_JOBS:-2}

configure_and_build() {  # <build dir> <toolchain> <tests ON/OFF>
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="cmake/$2" -DRAZIVERA_TESTS="$3"
  cmake --build "$1" -j "$jobs"
}

configure_and_build build-win32 mingw-i686.cmake OFF
configure_and_build build-win64 mingw-x86_64.cmake "$tests"
ls -l build-win32/RAZIVERA.dll build-win32/libRAZIVERA.dll.a build-win64/RAZIVERA.dll build-win64/libRAZIVERA.dll.a
