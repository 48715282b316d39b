#!/usr/bin/env bash
# CI: build the test suite with ThreadSanitizer and run the tests that share
# the library between threads: eight threads writing and reading their own
# recordings, and the platform layer's thread test.
set -euo pipefail
cd "$(dirname "$0")/.."

need=(cmake ninja-build g++ googletest libgtest-dev)
missing=()
for p in "${need[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q "${missing[@]}"
fi

cmake -S . -B build-tsan -G Ninja -DRAZIVERA_TSAN=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan -j2 --target test_concurrency test_platform
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
./build-tsan/tests/test_concurrency
./build-tsan/tests/test_platform
