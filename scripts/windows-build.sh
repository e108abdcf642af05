#!/bin/bash
# Cross-compiles the project for Windows x86-64 with MinGW-w64 into
# build-windows/: the given targets, or everything.
#
# JOBS                  parallel compile jobs (default 2)
# KELVOX_WINDOWS_CACHE  where the cross-built dependencies are kept
#                       (see scripts/windows-deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${JOBS:-2}"
build="build-windows"

deps="$(scripts/windows-deps.sh | tail -n 1)"

cmake -S . -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DKELVOX_WINDOWS_DEPS="$deps"
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake --build "$build" -j "$jobs" "${targets[@]}"
