#!/usr/bin/env bash
# CI: build the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer), make the seed corpus, and run each target for a
# bounded time.  Any finding fails the run; its input is left in
# build-fuzz/findings/ to be kept under fuzz/regressions/<target>/.
#   FUZZ_SECONDS  seconds per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

need=(clang-14 libclang-rt-14-dev cmake ninja-build)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi
CC=$(command -v clang-14 || command -v clang)
CXX=$(command -v clang++-14 || command -v clang++)

seconds=${FUZZ_SECONDS:-60}
cmake -S fuzz -B build-fuzz -G Ninja -DCMAKE_C_COMPILER="$CC" -DCMAKE_CXX_COMPILER="$CXX"
cmake --build build-fuzz -j2

work=build-fuzz/run
rm -rf "$work"
mkdir -p "$work/seeds" build-fuzz/findings
./build-fuzz/make_seeds "$work/seeds" >/dev/null

status=0
for target in read edit copy; do
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  cp "$work"/seeds/* "$corpus/"
  # Earlier findings seed the run too, so that a regression shows at once.
  if compgen -G "fuzz/regressions/$target/*" >/dev/null; then cp fuzz/regressions/$target/* "$corpus/"; fi
  echo "== fuzz_$target for ${seconds}s"
  if ASAN_OPTIONS=detect_leaks=1 ./build-fuzz/fuzz_$target -max_total_time="$seconds" -max_len=8192 \
      -timeout=30 -rss_limit_mb=4096 -print_final_stats=1 \
      -artifact_prefix="build-fuzz/findings/$target-" "$corpus" >"$work/$target.log" 2>&1; then
    grep -E 'stat::number_of_executed_units' "$work/$target.log" || true
  else
    status=1
    echo "fuzz_$target found a fault:"
    grep -E 'rzfuzz|ERROR|SUMMARY|Test unit written' "$work/$target.log" | head -20
  fi
done
exit $status
