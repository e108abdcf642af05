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

# The ratios, of whole processes (median of many runs): ratios rather than
# times, since the machine is shared.
echo "== ratios"
if [ ! -x /usr/bin/time ]; then
  echo "GNU time is missing; scripts/deps.sh bench installs it" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvox-ratios-XXXXXX")
trap 'rm -rf "$work"' EXIT
bin=$PWD/build/bin
"$bin/bench_inputs" "$work"
mkdir "$work/warmup"
export KELVOX_GLOBAL_CONFIG=$work/global.config
big=$work/settings.json
store=$work/settings.store

# timed FILE COMMAND...: runs COMMAND once as a whole process and appends
# its wall time in s to FILE.
timed() {
  local file=$1 start end
  shift
  start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1 </dev/null
  end=$EPOCHREALTIME
  awk -v start="$start" -v end="$end" 'BEGIN { printf "%.6f\n", end - start }' >>"$file"
}
# median FILE: the median of the times in FILE.
median() { sort -n "$1" | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'; }
# peak_kib COMMAND...: the peak resident memory of one run, in KiB.
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null </dev/null | tail -1; }

# The runs are interleaved, one of each kind per round, so that a change in
# the machine's speed while the bench runs weighs on both sides of a ratio
# alike. The first rounds warm the caches and are not counted.
encrypt_big=("$bin/kelvox" encrypt --configfile "$big" --unattended --quiet)
# The same plaintext as an age file to this host, and a recipient to export to.
age -e -r "$("$bin/kelvox" hostkey recipient)" -o "$work/settings.age" "$big"
age-keygen -o "$work/admin.key" 2>/dev/null
admin=$(age-keygen -y "$work/admin.key")
import_big=("$bin/kelvox" import --input "$work/settings.age" --unattended --quiet)
decrypt_big=("$bin/kelvox" decrypt --type settings --unattended --output "$work/out" --force)
export_big=("$bin/kelvox" export --type settings --unattended --recipient "$admin" --output "$work/out" --force)
for round in $(seq 17); do
  [ "$round" -le 2 ] && out=$work/warmup || out=$work
  rm -f "$store"
  timed "$out/import" "${import_big[@]}"
  rm -f "$store"
  timed "$out/parse" "$bin/bench_bare_parse" "$big"
  timed "$out/create" "${encrypt_big[@]}"
  timed "$out/update" "${encrypt_big[@]}"
  timed "$out/decrypt" "${decrypt_big[@]}"
  timed "$out/export" "${export_big[@]}"
done
create_kib=$(rm -f "$store" && peak_kib "${encrypt_big[@]}")
update_kib=$(peak_kib "${encrypt_big[@]}")
rm -f "$store"
"$bin/kelvox" encrypt --configfile "$work/one.json" --unattended --quiet >/dev/null
for round in $(seq 105); do
  [ "$round" -le 5 ] && out=$work/warmup || out=$work
  timed "$out/one" "$bin/kelvox" encrypt --configfile "$work/one.json" --unattended --quiet
  timed "$out/version" "$bin/kelvox" --version
done
parse=$(median "$work/parse")
import=$(median "$work/import")
decrypt=$(median "$work/decrypt")
export=$(median "$work/export")
create=$(median "$work/create")
update=$(median "$work/update")
one=$(median "$work/one")
version=$(median "$work/version")
input_kib=$(( $(stat -c %s "$big") / 1024 ))
peak=$(( create_kib > update_kib ? create_kib : update_kib ))

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
{
  echo "new store / bare PropertyTree parse (100,000 records)|$create|$parse|1.15"
  echo "update of every value / new store (100,000 records)|$update|$create|1.20"
  echo "one-record unattended update / kelvox --version|$one|$version|2.00"
  echo "peak RSS / input size|$peak|$input_kib|10.50"
  echo "import of the age file / encrypt of its plaintext (new store)|$import|$create|1.15"
  echo "export to a file / decrypt to a file (100,000 records)|$export|$decrypt|1.15"
} | awk -F'|' '{
  ratio = $2 / $3
  printf "%-62s %8.2f  target <= %5.2f  %s\n", $1, ratio, $4, (ratio <= $4 ? "met" : "MISSED")
}'
awk -v i="$import" -v d="$decrypt" -v e="$export" -v p="$parse" -v c="$create" -v u="$update" -v o="$one" -v v="$version" -v k="$peak" 'BEGIN {
  printf "(medians: parse %.3f s, new store %.3f s, update %.3f s, one record %.2f ms, ", p, c, u, o * 1000
  printf "--version %.2f ms; peak %d KiB)\n", v * 1000, k
  printf "(medians: import %.3f s, decrypt %.3f s, export %.3f s)\n", i, d, e
}'
