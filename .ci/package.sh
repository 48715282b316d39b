#!/usr/bin/env bash
# CI for the installed library: a Release build installed into a temporary
# prefix must serve two downstream programs built outside the source tree
# (CMake find_package, and a C file built with pkg-config), each reading a
# recording the installed tool wrote; the library must carry its versioned
# soname; and the Debian package must install under /usr, serve a pkg-config
# build there, and leave nothing behind when removed.
set -euo pipefail
cd "$(dirname "$0")/.."

need=(cmake ninja-build g++ dpkg-dev pkg-config file)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build=build-package
package=razivera
signals=5
channels=$((signals + 1))  # the demo adds the event channel
hours=0.01
started=$SECONDS
step() { echo "== $1 (${SECONDS}s)"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

work=$(mktemp -d)
installed_deb=0
cleanup() {
  if [ "$installed_deb" = 1 ]; then dpkg_wait; dpkg -P "$package" >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# Waits while another dpkg or apt run holds the package database (up to
# dpkg_wait_limit seconds), so that dpkg -i and -r do not fail on its lock.
dpkg_wait_limit=600
dpkg_wait() {
  local waited=0
  until /usr/bin/python3 -c 'import fcntl, sys
for lock in ("/var/lib/dpkg/lock-frontend", "/var/lib/dpkg/lock"):
    with open(lock, "a") as f:
        fcntl.lockf(f, fcntl.LOCK_EX | fcntl.LOCK_NB)' 2>/dev/null; do
    [ "$waited" -lt "$dpkg_wait_limit" ] || fail "the dpkg database stayed locked for ${dpkg_wait_limit}s"
    sleep 5
    waited=$((waited + 5))
  done
}

# <program> <recording>: the program must print the recording's channel count.
check_count() {
  local out
  out=$("$@")
  echo "$out"
  [[ "$out" == "$2: $channels channels (RAZIVERA $version)" ]] ||
    fail "$1 reported '$out', expected $channels channels and version $version"
}
# <program> <library dir>: the program must load libRAZIVERA from that directory.
check_loads_from() {
  local loaded
  loaded=$(ldd "$1" | awk '$1 == "libRAZIVERA.so.1" { print $3 }')
  [ -n "$loaded" ] && [ "$(readlink -f "$loaded")" = "$(readlink -f "$2/libRAZIVERA.so.1")" ] ||
    fail "$1 loads libRAZIVERA.so.1 from '$loaded', not from $2"
}

step "Release build (library and tool only)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DRAZIVERA_TESTS=OFF -DRAZIVERA_EXAMPLES=OFF -DRAZIVERA_BENCH=OFF >/dev/null
cmake --build "$build" -j 2

step "install into a temporary prefix"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name libRAZIVERA.so.1.0.0)")
for f in bin/razivera include/razivera.h include/razivera_codes.h include/razivera_version.h; do
  [ -f "$prefix/$f" ] || fail "$f not installed"
done
for f in libRAZIVERA.so libRAZIVERA.so.1 cmake/RAZIVERA/RAZIVERAConfig.cmake \
         cmake/RAZIVERA/RAZIVERAConfigVersion.cmake pkgconfig/razivera.pc; do
  [ -e "$libdir/$f" ] || fail "$f not installed in $libdir"
done
[ "$(readlink "$libdir/libRAZIVERA.so")" = libRAZIVERA.so.1 ] || fail "libRAZIVERA.so does not point to the soname"
soname=$(readelf -d "$libdir/libRAZIVERA.so.1.0.0" | grep -F '(SONAME)')
echo "$soname"
[[ "$soname" == *"[libRAZIVERA.so.1]" ]] || fail "the installed library's soname is not libRAZIVERA.so.1"

version=$("$prefix/bin/razivera" --version)
echo "$version"
version=${version#razivera }
[[ "$version" =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "razivera --version printed '$version'"
check_loads_from "$prefix/bin/razivera" "$libdir"
recording=$work/short.vzp
"$prefix/bin/razivera" demo "$recording" --hours "$hours" --channels "$signals"

step "downstream: CMake find_package against the prefix"
cp -r tests/downstream/cmake "$work/cmake-app"
cmake -S "$work/cmake-app" -B "$work/cmake-app/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
found=$(sed -n 's/^RAZIVERA_DIR:PATH=//p' "$work/cmake-app/build/CMakeCache.txt")
[ "$found" = "$libdir/cmake/RAZIVERA" ] || fail "find_package found RAZIVERA in '$found'"
cmake --build "$work/cmake-app/build" >/dev/null
check_loads_from "$work/cmake-app/build/channels" "$libdir"
check_count "$work/cmake-app/build/channels" "$recording"

step "downstream: C with pkg-config against the prefix"
cp -r tests/downstream/pkgconfig "$work/pc-app"
(
  cd "$work/pc-app"
  # Only the prefix's .pc files: nothing on the system can stand in for it.
  export PKG_CONFIG_LIBDIR=$libdir/pkgconfig
  [ "$(pkg-config --modversion razivera)" = "$version" ] || fail "razivera.pc names another version"
  # The header must be plain C.
  cc -std=c99 -Wall -Wextra -Werror -pedantic channels.c $(pkg-config --cflags --libs razivera) -o channels
)
LD_LIBRARY_PATH=$libdir check_loads_from "$work/pc-app/channels" "$libdir"
LD_LIBRARY_PATH=$libdir check_count "$work/pc-app/channels" "$recording"

step "Debian package"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/${package}_"$version"_*.deb)
dpkg-deb -f "$deb" Package Version Depends Description | sed 's/^/  /'
depends=$(dpkg-deb -f "$deb" Depends)
[[ "$depends" == *libc6* && "$depends" == *libstdc++6* ]] || fail "Depends lacks the C or C++ runtime: '$depends'"
mapfile -t entries < <(dpkg-deb -c "$deb" | awk '{print $6}' | sed -n 's|^\./|/|p')
mapfile -t files < <(printf '%s\n' "${entries[@]}" | grep -v '/$')
printf '  %s\n' "${files[@]}"
# The directories the package brings that the system lacks go with it again.
new_dirs=()
for d in "${entries[@]}"; do
  [[ "$d" == */ && ! -e "$d" ]] && new_dirs+=("$d")
done
for f in /usr/bin/razivera /usr/include/razivera.h /usr/include/razivera_codes.h /usr/include/razivera_version.h \
         "/usr/lib/$(gcc -print-multiarch)/libRAZIVERA.so.1.0.0"; do
  printf '%s\n' "${files[@]}" | grep -Fx "$f" >/dev/null || fail "the package does not hold $f"
done
# dpkg -i would take over a file that no package owns, and dpkg -r would then
# remove it: install only on a system where none of the package's files exist.
dpkg -s "$package" >/dev/null 2>&1 && fail "a package named $package is installed already"
for f in "${files[@]}"; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f exists before the package is installed"
done

step "dpkg -i, build against /usr with pkg-config, dpkg -r"
dpkg_wait
installed_deb=1
dpkg -i "$deb"
sys_libdir=/usr/lib/$(gcc -print-multiarch)
# The package's postinst runs ldconfig: the dynamic linker's cache knows it.
cached=$(ldconfig -p | awk '$1 == "libRAZIVERA.so.1" { print $NF }')
[ -n "$cached" ] && [ "$(readlink -f "$cached")" = "$(readlink -f "$sys_libdir/libRAZIVERA.so.1")" ] ||
  fail "ldconfig's cache has libRAZIVERA.so.1 at '$cached'"
[ "$(/usr/bin/razivera --version)" = "razivera $version" ] || fail "the packaged tool prints another version"
sys_recording=$work/packaged.vzp
/usr/bin/razivera demo "$sys_recording" --hours "$hours" --channels "$signals"
mkdir "$work/sys-app"
cp tests/downstream/pkgconfig/channels.c "$work/sys-app/"
(cd "$work/sys-app" &&
  cc -std=c99 -Wall -Wextra -Werror -pedantic channels.c $(pkg-config --cflags --libs razivera) -o channels)
check_loads_from "$work/sys-app/channels" "$sys_libdir"
check_count "$work/sys-app/channels" "$sys_recording"
dpkg_wait
dpkg -r "$package"
# The maintainer scripts keep the package's record (state config-files)
# until it is purged.
dpkg -P "$package"
installed_deb=0
dpkg -s "$package" >/dev/null 2>&1 && fail "dpkg still knows $package"
compgen -G "/var/lib/dpkg/info/$package.*" >/dev/null && fail "dpkg keeps files of $package"
for f in "${files[@]}"; do
  [ ! -e "$f" ] && [ ! -L "$f" ] || fail "$f left behind by dpkg -r"
done
for d in "${new_dirs[@]}"; do
  [ ! -e "$d" ] || fail "directory $d left behind by dpkg -r"
done
ldconfig -p | grep libRAZIVERA >/dev/null && fail "ldconfig still lists libRAZIVERA"
step "done in $((SECONDS - started))s"
