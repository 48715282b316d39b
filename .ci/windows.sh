#!/usr/bin/env bash
# CI for the Windows DLL: cross-builds RAZIVERA.dll for i686 and x86_64,
# checks the 32-bit export table and that a wrong argument count fails its
# link, runs the x86_64 test suite and the ordinal client under Wine, and
# compares the recordings written under Wine with those of the Linux build
# byte for byte; then packs each build's install tree as a ZIP, checks what it
# holds and links a program against each unpacked archive.
set -euo pipefail
cd "$(dirname "$0")/.."

need=(cmake ninja-build g++ googletest libgtest-dev pkg-config
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
export WINEDEBUG=-all
# A Wine prefix of our own, made once before anything runs in parallel.
export WINEPREFIX=${WINEPREFIX:-$PWD/build-win64/wineprefix}

echo "== cross-build both DLLs (x86_64 with its tests)"
cmake/build-windows.sh --tests

echo "== export tables"
tests/windows/check_exports.sh i686-w64-mingw32-objdump build-win32/RAZIVERA.dll src/frame/export_table.inc
tests/windows/check_exports.sh x86_64-w64-mingw32-objdump build-win64/RAZIVERA.dll src/frame/export_table.inc
tests/windows/check_stdcall_link.sh build-win32

echo "== x86_64 test suite and ordinal client under Wine"
mkdir -p "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1 || true
ctest --test-dir build-win64 --output-on-failure -j2

echo "== byte identity: Linux build against Wine"
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target byte_identity
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/tests/windows/byte_identity "$work/linux"
(cd build-win64/tests/windows && rm -rf identity-out ordinal-out &&
  "$wine" byte_identity.exe identity-out && "$wine" ordinal_client.exe ordinal-out)
status=0
for stem in little little-copy big big-copy; do
  for wine_file in "build-win64/tests/windows/identity-out/$stem.vzp" \
                   "build-win64/tests/windows/ordinal-out/ordinal-$stem.vzp"; do
    if cmp "$work/linux/$stem.vzp" "$wine_file"; then
      echo "same: $wine_file ($(stat -c %s "$wine_file") bytes)"
    else
      status=1
    fi
  done
done

echo "== install archives: one ZIP per architecture, and a program linked against each"
# The Linux build reads the recording first: the Windows program must agree.
cc -std=c99 -Wall -Wextra -Werror -I include -I build/include tests/downstream/pkgconfig/channels.c \
  -L build -lRAZIVERA -o "$work/channels"
recording=little.vzp
root=$PWD
(cd "$work/linux" && LD_LIBRARY_PATH="$root/build" "$work/channels" "$recording") >"$work/expected.txt"
for arch in win32 win64; do
  (cd "build-$arch" && rm -f RAZIVERA-*.zip && cpack -G ZIP >/dev/null)
  zip=$(ls "build-$arch"/RAZIVERA-*-"$arch".zip)
  listing=$(/usr/bin/python3 -m zipfile -l "$zip" | awk 'NR > 1 { print $1 }')
  top=$(basename "$zip" .zip)
  for f in bin/RAZIVERA.dll lib/libRAZIVERA.dll.a lib/RAZIVERA.def include/razivera.h include/razivera_codes.h \
           include/razivera_version.h lib/pkgconfig/razivera.pc lib/cmake/RAZIVERA/RAZIVERAConfig.cmake; do
    grep -Fx "$top/$f" <<<"$listing" >/dev/null || { echo "FAIL: $zip lacks $f" >&2; status=1; }
  done
  echo "$zip: $(wc -l <<<"$listing") entries"
  /usr/bin/python3 -m zipfile -e "$zip" "$work/$arch"
  case $arch in win32) triplet=i686-w64-mingw32 ;; win64) triplet=x86_64-w64-mingw32 ;; esac
  # The archive's own pkg-config file, and its import library (on i686 with
  # the stdcall-decorated names the header's declarations need).
  flags=$(PKG_CONFIG_LIBDIR="$work/$arch/$top/lib/pkgconfig" pkg-config --cflags --libs razivera)
  "$triplet-gcc" -std=c99 -Wall -Wextra -Werror tests/downstream/pkgconfig/channels.c $flags \
    -o "$work/$arch/channels.exe"
done
# Only 64-bit programs run here; beside the archive's DLL, on the Linux file.
cp "$work/win64/RAZIVERA-"*"-win64/bin/RAZIVERA.dll" "$work/linux/$recording" "$work/win64/"
(cd "$work/win64" && "$wine" channels.exe "$recording") | tr -d '\r' >"$work/wine.txt"
if cmp -s "$work/expected.txt" "$work/wine.txt"; then
  echo "same under Wine: $(cat "$work/wine.txt")"
else
  echo "FAIL: under Wine '$(cat "$work/wine.txt")', on Linux '$(cat "$work/expected.txt")'" >&2
  status=1
fi
exit $status
