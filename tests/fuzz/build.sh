#!/usr/bin/env bash
# Configures and builds the fuzzing harnesses with clang into the folder given (build-fuzz).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(realpath -m "${1:-$root/build-fuzz}")
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVANE_FUZZ=ON \
  -DCORVANE_UI=OFF -DCORVANE_TESTS=OFF -DCORVANE_BENCH=OFF "${launcher[@]}" >/dev/null
nice -n 5 cmake --build "$dir"
