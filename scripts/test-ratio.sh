#!/bin/sh
# Prints the size of the test suite relative to the product code: non-blank
# C++ lines under tests/ (harness included, CMake files not) over non-blank
# C++ lines under plugin/, Src/, errors/, host/ and suite/.
set -eu
cd "$(dirname "$0")/.."

count() {
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.hpp' -o -name '*.cc' -o -name '*.def' -o -name '*.inc' \) \
    -exec cat {} + | grep -c -v '^[[:space:]]*$'
}

tests=$(count tests)
product=$(count plugin Src errors host suite)
awk -v t="$tests" -v p="$product" 'BEGIN { printf "%d / %d = %.2f\n", t, p, t / p }'
