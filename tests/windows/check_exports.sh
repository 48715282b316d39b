#!/usr/bin/env bash
# Checks a built RAZIVERA.dll against the export table: exactly the names of
# the table at their ordinals (nothing decorated, nothing extra, nothing
# exported by ordinal alone), the module name, and imports from system DLLs
# only (the compiler's runtime is linked in).
#   check_exports.sh <objdump> <RAZIVERA.dll> <export_table.inc>
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 <objdump> <RAZIVERA.dll> <export_table.inc>" >&2
  exit 2
fi
objdump=$1 dll=$2 table=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$objdump" -p "$dll" >"$work/dump"

# "ordinal name" per export, as the table gives them.
sed -n 's/^RZ_EXPORT(\([0-9]*\), *\([A-Za-z0-9_]*\), *[0-9]*)$/\1 \2/p' "$table" | sort -n >"$work/expected"
if [ "$(wc -l <"$work/expected")" -ne 87 ]; then
  echo "FAIL: the export table has $(wc -l <"$work/expected") entries, not 87" >&2
  exit 1
fi

# The name table lists each name with its ordinal less the ordinal base.
awk '
  /^Ordinal Base/ { base = $NF }
  /^\[Ordinal\/Name Pointer\] Table/ { names = 1; next }
  names && NF == 0 { names = 0 }
  names {
    if (!match($0, /\[ *[0-9]+\] /)) { print "unparsed: " $0; next }
    index_ = substr($0, RSTART + 1, RLENGTH - 3) + 0
    print index_ + base, $NF
  }
' "$work/dump" | sort -n >"$work/named"

# Every entry of the address table, named or not.
sed -n 's/^[[:space:]]*\[ *[0-9]*\] +base\[ *\([0-9]*\)\].*Export RVA.*/\1/p' "$work/dump" | sort -n >"$work/addressed"
cut -d' ' -f1 "$work/expected" >"$work/expected-ordinals"

status=0
if ! diff -u "$work/expected" "$work/named" >"$work/names.diff"; then
  echo "FAIL: exported names differ from the table (- expected, + exported):" >&2
  cat "$work/names.diff" >&2
  status=1
fi
if ! diff -u "$work/expected-ordinals" "$work/addressed" >"$work/ordinals.diff"; then
  echo "FAIL: the address table holds other ordinals than the table (- expected, + exported):" >&2
  cat "$work/ordinals.diff" >&2
  status=1
fi
if grep -q '@' "$work/named"; then
  echo "FAIL: decorated names are exported" >&2
  status=1
fi
module=$(awk '/^Name[[:space:]]/ { print $NF; exit }' "$work/dump")
if [ "$module" != "RAZIVERA.dll" ]; then
  echo "FAIL: the module calls itself '$module', not RAZIVERA.dll" >&2
  status=1
fi

# Imports: the system DLLs the platform layer calls, and the C runtime.
allowed='^(kernel32|user32|winmm|msvcrt)\.dll$'
while read -r imported; do
  if ! echo "$imported" | tr 'A-Z' 'a-z' | grep -Eq "$allowed"; then
    echo "FAIL: imports $imported (not a system DLL)" >&2
    status=1
  fi
done < <(awk '/DLL Name:/ { print $NF }' "$work/dump")

if [ $status -eq 0 ]; then
  echo "ok: $dll exports the $(wc -l <"$work/named") names of the table at their ordinals;" \
    "imports $(awk '/DLL Name:/ { printf "%s ", $NF }' "$work/dump")"
fi
exit $status
