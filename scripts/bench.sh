#!/bin/bash
# Runs every benchmark of the optimised build. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
for bench in bench_store bench_intake bench_run bench_admin; do
  echo "== $bench"
  "build/bin/$bench"
  echo
done
