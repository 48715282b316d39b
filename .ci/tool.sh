#!/usr/bin/env bash
# CI for the razivera tool: build it, write a demo night and describe it,
# verify it, check its EDF+ export with readers that are not ours (MNE-Python
# and biosig's save2gdf) against what the library reads, check that
# import-edf followed by export-edf gives back the same file, draw the sleep
# report in headless Chromium and the plots with rsvg-convert, and fuzz
# verify, the EDF reader and the commands that read a recording for a short
# while.  RAZIVERA_REPORT_PNG=PATH keeps the report's screenshot (the
# README's docs/report.png is made so).
set -euo pipefail
cd "$(dirname "$0")/.."

need=(cmake ninja-build g++ python3-numpy python3-mne biosig-tools clang libclang-rt-dev chromium librsvg2-bin)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=build-tool
fuzzbuild=build-tool-fuzz
fuzz_seconds=${RAZIVERA_FUZZ_SECONDS:-30}
command_seconds=${RAZIVERA_FUZZ_COMMAND_SECONDS:-20}
view_seconds=${RAZIVERA_FUZZ_VIEW_SECONDS:-10}

echo "== build"
cmake -S . -B "$build" -G Ninja -DRAZIVERA_TESTS=OFF >/dev/null
cmake --build "$build"
tool="$build/tools/razivera"
lib="$build/libRAZIVERA.so"

echo "== razivera demo + info (the README's main job)"
"$tool" demo "$work/night.vzp" --hours 1
"$tool" info "$work/night.vzp"
"$tool" demo "$work/night-big.vzp" --hours 0.25 --channels 20 --big-endian
"$tool" dump "$work/night-big.vzp" >/dev/null

echo "== verify"
"$tool" verify "$work/night.vzp"
"$tool" verify "$work/night-big.vzp"
printf 'not a recording' >"$work/junk.vzp"
if "$tool" verify "$work/junk.vzp"; then
  echo "verify passed a file that is not a recording" >&2
  exit 1
fi

echo "== export-edf, read by MNE-Python and biosig"
for f in night night-big; do
  "$tool" export-edf "$work/$f.vzp" "$work/$f.edf"
  /usr/bin/python3 .ci/check_edf.py "$lib" "$work/$f.vzp" "$work/$f.edf"
done

echo "== import-edf then export-edf gives back the same file"
for order in "" "--big-endian"; do
  "$tool" import-edf "$work/night.edf" "$work/again.vzp" $order
  "$tool" verify "$work/again.vzp"
  "$tool" export-edf "$work/again.vzp" "$work/again.edf"
  cmp "$work/night.edf" "$work/again.edf"
  /usr/bin/python3 .ci/check_edf.py "$lib" "$work/again.vzp" "$work/again.edf"
done

echo "== report in a browser, plots and samples"
"$tool" report "$work/night.vzp" -o "$work/report.html"
# The page loads nothing: networking is cut off, and the profile is fresh.
# A browser that dies of a signal at start-up (status above 128) is started
# once more: that is the browser's trouble, not the page's.
draw() {
  /usr/bin/chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --proxy-server=127.0.0.1:9 --host-resolver-rules="MAP * ~NOTFOUND" --hide-scrollbars \
    --user-data-dir="$work/chromium" --window-size=1000,1100 --screenshot="$work/report.png" \
    "file://$work/report.html" 2>/dev/null
}
status=0
draw || status=$?
if [ "$status" -gt 128 ]; then echo "the browser died (status $status); drawing again"; status=0; draw || status=$?; fi
[ "$status" -eq 0 ]
/usr/bin/python3 tests/tool_checks.py png-not-blank "$work/report.png"
if [ -n "${RAZIVERA_REPORT_PNG:-}" ]; then cp "$work/report.png" "$RAZIVERA_REPORT_PNG"; fi
"$tool" plot "$work/night.vzp" --from 23:00 --duration 30 -o "$work/page.svg"
"$tool" plot "$work/night.vzp" --hypnogram -o "$work/night.svg"
rsvg-convert "$work/page.svg" -o "$work/page.png"
rsvg-convert "$work/night.svg" -o "$work/night.png"
"$tool" samples "$work/night.vzp" --channels SpO2 --from 600 --duration 10 >/dev/null
"$tool" info "$work/night.vzp" --json | /usr/bin/python3 -c 'import json, sys; json.load(sys.stdin)'

echo "== fuzzing verify and the EDF reader (${fuzz_seconds} s each), info, dump and export-edf (${command_seconds} s each), report, plot, samples and info --json (${view_seconds} s each)"
CC=clang CXX=clang++ cmake -S . -B "$fuzzbuild" -G Ninja -DRAZIVERA_SANITIZE=ON -DRAZIVERA_FUZZ=ON \
  -DRAZIVERA_TESTS=OFF -DRAZIVERA_EXAMPLES=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$fuzzbuild" --target fuzz_tool_verify fuzz_tool_edf fuzz_tool_info fuzz_tool_dump fuzz_tool_export_edf \
  fuzz_tool_report fuzz_tool_plot fuzz_tool_samples fuzz_tool_info_json
mkdir -p "$work/corpus-verify" "$work/corpus-edf"
"$tool" demo "$work/corpus-verify/little.vzp" --hours 0.01 --channels 2 >/dev/null
"$tool" demo "$work/corpus-verify/big.vzp" --hours 0.01 --channels 2 --big-endian >/dev/null
"$tool" demo "$work/short.vzp" --hours 0.02 --channels 1 >/dev/null
"$tool" export-edf "$work/short.vzp" "$work/corpus-edf/short.edf" >/dev/null
# The commands that read a recording start from the same seeds as verify.
for target in info dump export_edf report plot samples info_json; do cp -r "$work/corpus-verify" "$work/corpus-$target"; done
status=0
for target in verify edf info dump export_edf report plot samples info_json; do
  seconds=$fuzz_seconds
  case $target in info|dump|export_edf) seconds=$command_seconds ;; report|plot|samples|info_json) seconds=$view_seconds ;; esac
  if ! TMPDIR="$work" "$fuzzbuild/tools/fuzz_tool_$target" -max_total_time="$seconds" -max_len=65536 \
      -artifact_prefix="$work/crash-$target-" "$work/corpus-$target" >"$work/fuzz-$target.log" 2>&1; then
    echo "fuzz_tool_$target found a fault:"
    grep -E 'ERROR|SUMMARY|Test unit written' "$work/fuzz-$target.log" | head -20
    status=1
  fi
  tail -1 "$work/fuzz-$target.log"
done
[ $status -eq 0 ]

echo "== tool checks passed"
