#!/bin/bash
# Runs every benchmark of the optimised build, then the four whole-run
# ratios against their targets. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
# With "ratios", only the ratios.
benches="bench_store bench_intake bench_run bench_admin bench_rotate bench_host_key"
[ "${1:-}" = ratios ] && benches=""
for bench in $benches; do
  # bench_host_key is built only with the tests, whose software TPM it uses.
  if [ "$bench" = bench_host_key ] && [ ! -x "build/bin/$bench" ]; then continue; fi
  echo "== $bench"
  "build/bin/$bench"
  echo
done

# The ratios, as whole processes timed by hyperfine (median of many runs):
# ratios rather than times, since the machine is shared.
echo "== ratios"
if ! command -v hyperfine >/dev/null; then
  echo "hyperfine is missing; scripts/deps.sh bench installs it" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvox-ratios-XXXXXX")
trap 'rm -rf "$work"' EXIT
bin=$PWD/build/bin
"$bin/bench_inputs" "$work"
export KELVOX_GLOBAL_CONFIG=$work/global.config
big=$work/settings.json
store=$work/settings.store

# median NAME RUNS [hyperfine arguments] COMMAND: the median wall time in s.
median() {
  local name=$1 runs=$2
  shift 2
  hyperfine -N --style none --warmup 2 --runs "$runs" --export-json "$work/$name.times.json" "$@" \
    >/dev/null 2>&1
  jq '.results[0].median' "$work/$name.times.json"
}
# peak_kib COMMAND...: the peak resident memory of one run, in KiB.
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null </dev/null | tail -1; }

parse=$(median parse 10 "$bin/bench_bare_parse $big")
create=$(median create 10 --prepare "rm -f $store" "$bin/kelvox encrypt --configfile $big --unattended")
create_kib=$(peak_kib "$bin/kelvox" encrypt --configfile "$big" --unattended --quiet)
update=$(median update 10 "$bin/kelvox encrypt --configfile $big --unattended --quiet")
update_kib=$(peak_kib "$bin/kelvox" encrypt --configfile "$big" --unattended --quiet)
rm -f "$store"
"$bin/kelvox" encrypt --configfile "$work/one.json" --unattended --quiet >/dev/null
one=$(median one 100 "$bin/kelvox encrypt --configfile $work/one.json --unattended --quiet")
version=$(median version 100 "$bin/kelvox --version")
input_kib=$(( $(stat -c %s "$big") / 1024 ))
peak=$(( create_kib > update_kib ? create_kib : update_kib ))

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
{
  echo "new store / bare PropertyTree parse (100,000 records)|$create|$parse|1.15"
  echo "update of every value / new store (100,000 records)|$update|$create|1.20"
  echo "one-record unattended update / kelvox --version|$one|$version|2.00"
  echo "peak RSS / input size|$peak|$input_kib|10.50"
} | awk -F'|' '{
  ratio = $2 / $3
  printf "%-56s %8.2f  target <= %5.2f  %s\n", $1, ratio, $4, (ratio <= $4 ? "met" : "MISSED")
}'
awk -v p="$parse" -v c="$create" -v u="$update" -v o="$one" -v v="$version" -v k="$peak" 'BEGIN {
  printf "(medians: parse %.3f s, new store %.3f s, update %.3f s, one record %.2f ms, ", p, c, u, o * 1000
  printf "--version %.2f ms; peak %d KiB)\n", v * 1000, k
}'
