#!/bin/bash
# Builds the libFuzzer targets of fuzz/ with clang (address and undefined-
# behaviour sanitizers) in build-fuzz/ and runs each for FUZZ_SECONDS
# (default 60). Fails on the first finding; the input that caused it is
# left in build-fuzz/findings/. The corpora in build-fuzz/corpus/ grow from
# run to run, seeded with examples/ and with the inputs of build-fuzz/seeds/,
# which this script writes: inputs that once got past a check, too large or
# too binary to keep as files.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${JOBS:-$(nproc)}
targets="intake_fuzzer credential_parser_fuzzer"

cmake -S fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
# shellcheck disable=SC2086
cmake --build build-fuzz -j "$jobs" --target $targets

mkdir -p build-fuzz/findings build-fuzz/seeds
# A lead byte 0xEF, which the JSON parser skips with the next two, then
# 100,000 brackets: the quote among the skipped bytes once hid the
# brackets from the nesting check, and the parser ran out of stack.
{ printf '\357"a'; head -c 100000 /dev/zero | tr '\0' '['; } >build-fuzz/seeds/lead-byte-nesting.json
for target in $targets; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  echo "== $target, ${seconds}s"
  # -timeout turns an input that takes seconds (quadratic work) into a finding.
  if ! "build-fuzz/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -dict=fuzz/json.dict -artifact_prefix="build-fuzz/findings/$target-" \
      -print_final_stats=1 "$corpus" examples build-fuzz/seeds 2>"build-fuzz/$target.log"; then
    tail -n 60 "build-fuzz/$target.log" >&2
    echo "fuzz: $target found a fault; see build-fuzz/findings/ and build-fuzz/$target.log" >&2
    exit 1
  fi
  grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "build-fuzz/$target.log" || true
done
echo "fuzz: no findings"
