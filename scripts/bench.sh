#!/bin/bash
# Runs every benchmark of the optimised build. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
for bench in bench_store bench_intake bench_run bench_admin bench_rotate bench_host_key; do
  # bench_host_key is built only with the tests, whose software TPM it uses.
  if [ "$bench" = bench_host_key ] && [ ! -x "build/bin/$bench" ]; then continue; fi
  echo "== $bench"
  "build/bin/$bench"
  echo
done
