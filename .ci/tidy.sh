#!/usr/bin/env bash
# clang-tidy over the library's sources with the project's checks (.clang-tidy).
set -euo pipefail
cd "$(dirname "$0")/.."
dpkg -s clang-tidy >/dev/null 2>&1 || { apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get install -y -q clang-tidy; }
cmake -S . -B build-tidy -G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DRAZIVERA_TESTS=OFF -DRAZIVERA_EXAMPLES=OFF >/dev/null
run-clang-tidy -p build-tidy -quiet "$PWD/src/"
