#!/usr/bin/env bash
# Shows that the 32-bit link really checks argument counts: the DLL's own link
# command (taken from the Ninja build) succeeds with the generated module
# definition and fails once one entry claims one argument word more than the
# function takes.
#   check_stdcall_link.sh <i686 build directory>
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 <i686 build directory>" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

link=$(ninja -C "$build" -t commands RAZIVERA | tail -n 1)
case "$link" in
  *" RAZIVERA.def "*"-o RAZIVERA.dll"*"--out-implib,libRAZIVERA.dll.a"*) ;;
  *) echo "FAIL: unexpected link command: $link" >&2; exit 1 ;;
esac

# The link command with the definition file and outputs moved to $work.
relink() {
  local cmd=${link/ RAZIVERA.def / $1 }
  cmd=${cmd/-o RAZIVERA.dll/-o $work/RAZIVERA.dll}
  cmd=${cmd/--out-implib,libRAZIVERA.dll.a/--out-implib,$work/libRAZIVERA.dll.a}
  (cd "$build" && eval "$cmd") >"$work/link.log" 2>&1
}

cp "$build/RAZIVERA.def" "$work/good.def"
if ! relink "$work/good.def"; then
  echo "FAIL: the unchanged link command does not link:" >&2
  cat "$work/link.log" >&2
  exit 1
fi

# RAZIVERAGetSupportType takes two words (8 bytes); claim three.
grep -q '^    RAZIVERAGetSupportType@8 @199$' "$work/good.def" || {
  echo "FAIL: RAZIVERAGetSupportType@8 @199 is not in the generated definition" >&2
  exit 1
}
sed 's/^    RAZIVERAGetSupportType@8 @199$/    RAZIVERAGetSupportType@12 @199/' "$work/good.def" >"$work/wrong.def"
if relink "$work/wrong.def"; then
  echo "FAIL: a definition claiming a wrong argument count still links" >&2
  exit 1
fi
if ! grep -q 'RAZIVERAGetSupportType@12' "$work/link.log"; then
  echo "FAIL: the link failed for another reason:" >&2
  cat "$work/link.log" >&2
  exit 1
fi
echo "ok: a wrong argument count fails the link: $(grep -m1 'RAZIVERAGetSupportType@12' "$work/link.log")"
