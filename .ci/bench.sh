#!/usr/bin/env bash
# CI for the benchmarks: build them (Release) and run each once on a
# two-minute recording, so that they keep building and working.  The figures
# of such a run mean nothing; docs/performance.md has the real ones.
set -euo pipefail
cd "$(dirname "$0")/.."

# libbiosig-dev: the peer comparison with biosig's EDF writing.
need=(cmake ninja-build g++ libbenchmark-dev libbiosig-dev)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi

echo "== benchmarks: build"
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DRAZIVERA_BENCH=ON \
  -DRAZIVERA_TESTS=OFF -DRAZIVERA_EXAMPLES=OFF
cmake --build build-bench --target razivera_bench

echo "== benchmarks: one tiny run of each"
./build-bench/bench/razivera_bench --rz_seconds=120 --rz_windows=20 --rz_iterations=1

# The Python package against the C interface and MNE's EDF reader, when the
# packages it needs are there (.ci/run installs them).
if dpkg -s pybind11-dev python3-dev >/dev/null 2>&1 && /usr/bin/python3 -c "import numpy, mne" 2>/dev/null; then
  echo "== Python package benchmark: one tiny run"
  cmake --build build-bench --target _razivera razivera
  PYTHONPATH=build-bench/python /usr/bin/python3 bench/bench_python.py --tool build-bench/tools/razivera \
    --hours 0.05 --windows 2 --repeat 1 --work build-bench/python-bench
fi
