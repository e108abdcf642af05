#!/bin/bash
# `make bench`: one table of kelvox against its targets and its peers, from
# whole processes timed side by side (medians of many runs: ratios rather
# than times, since the machine is shared). With "all", the benchmark
# programs' own tables come first. Not part of the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
benches=""
[ "${1:-}" = all ] && benches="bench_store bench_intake bench_run bench_admin bench_rotate bench_host_key"
for bench in $benches; do
  # bench_host_key is built only with the tests, whose software TPM it uses.
  if [ "$bench" = bench_host_key ] && [ ! -x "build/bin/$bench" ]; then continue; fi
  echo "== $bench"
  "build/bin/$bench"
  echo
done

if [ ! -x /usr/bin/time ]; then
  echo "GNU time is missing; scripts/deps.sh bench installs it" >&2
  exit 1
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/kelvox-bench-XXXXXX")
cleanup() {
  # gpg-agent, which pass started, goes with the folder.
  if [ -d "$work/gnupg" ]; then GNUPGHOME=$work/gnupg gpgconf --kill gpg-agent 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
bin=$PWD/build/bin
"$bin/bench_inputs" "$work"
export KELVOX_GLOBAL_CONFIG=$work/global.config
big=$work/settings.json
store=$work/settings.store

# peak_kib COMMAND...: the peak resident memory of one run, in KiB.
peak_kib() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null </dev/null | tail -1; }
# spawned ROUNDS WARMUP COMMAND [-- COMMAND]...: stores in the arrays
# `times` and `cpu` the median wall and processor times in s of each
# command, run by bench_spawn one after the other round after round, with
# no shell between (whose cost would weigh on the small runs). Fails when
# a command failed.
spawned() {
  local printed
  printed=$("$bin/bench_spawn" "$@") || return 1
  mapfile -t times < <(cut -d' ' -f1 <<<"$printed")
  mapfile -t cpu < <(cut -d' ' -f2 <<<"$printed")
}

# The large runs, one of each kind per round, so that a change in the
# machine's speed while the bench runs weighs on both sides of a ratio
# alike. The first rounds warm the caches and are not counted. Each row
# below is "measure|kelvox|other|target|kelvox cpu|other cpu".
rows=()
encrypt_big=("$bin/kelvox" encrypt --configfile "$big" --unattended --quiet)
# The same plaintext as an age file to this host, and a recipient to export to.
age -e -r "$("$bin/kelvox" hostkey recipient)" -o "$work/settings.age" "$big"
age-keygen -o "$work/admin.key" 2>/dev/null
admin=$(age-keygen -y "$work/admin.key")
import_big=("$bin/kelvox" import --input "$work/settings.age" --unattended --quiet)
decrypt_big=("$bin/kelvox" decrypt --type settings --unattended --output "$work/out" --force)
export_big=("$bin/kelvox" export --type settings --unattended --recipient "$admin" --output "$work/out" --force)
remove=(/bin/rm -f "$store")
spawned 15 2 "${remove[@]}" -- "${import_big[@]}" -- "${remove[@]}" -- "$bin/bench_bare_parse" "$big" \
  -- "${encrypt_big[@]}" -- "${encrypt_big[@]}" -- "${decrypt_big[@]}" -- "${export_big[@]}"
rows+=("new store / bare PropertyTree parse (100,000 records)|${times[4]}|${times[3]}|0.85|${cpu[4]}|${cpu[3]}"
       "update of every value / new store (100,000 records)|${times[5]}|${times[4]}|1.35|${cpu[5]}|${cpu[4]}")
create_kib=$(rm -f "$store" && peak_kib "${encrypt_big[@]}")
update_kib=$(peak_kib "${encrypt_big[@]}")
rows+=("peak RSS / input size (KiB)|$(( create_kib > update_kib ? create_kib : update_kib ))|$(( $(stat -c %s "$big") / 1024 ))|9.00|-|-"
       "import of the age file / encrypt of its plaintext (new store)|${times[1]}|${times[4]}|1.15|${cpu[1]}|${cpu[4]}"
       "export to a file / decrypt to a file (100,000 records)|${times[7]}|${times[6]}|1.15|${cpu[7]}|${cpu[6]}")
rm -f "$store"
"$bin/kelvox" encrypt --configfile "$work/one.json" --unattended --quiet >/dev/null
spawned 101 5 "$bin/kelvox" encrypt --configfile "$work/one.json" --unattended --quiet \
  -- "$bin/kelvox" --version
rows+=("one-record unattended update / kelvox --version|${times[0]}|${times[1]}|2.20|${cpu[0]}|${cpu[1]}")

# The small runs: one secret out of and into a store of 100 records, as
# get and set run them (unattended: the host key, no passphrase), against
# the process floor and age with a file of that one secret.
# The targets stand against age, which is one program; every kelvox run
# loads its plug-in and the suite's shared libraries, so /bin/true is
# shown as the floor, not held to a target.
export KELVOX_GLOBAL_CONFIG=$work/small.config
"$bin/kelvox" encrypt --configfile "$work/hundred.json" --unattended --quiet >/dev/null
secret=$work/secret.txt
age-keygen -o "$work/age.key" 2>/dev/null
age_recipient=$(age-keygen -y "$work/age.key")
age -e -r "$age_recipient" -o "$work/secret.age" "$secret"
get=("$bin/kelvox" get --type settings --unattended --key key_042)
set=("$bin/kelvox" set --type settings --unattended --key key_042 --value-from "$secret" --quiet)
spawned 101 5 /bin/true -- "${get[@]}" -- "${set[@]}" \
  -- "$(command -v age)" -d -i "$work/age.key" "$work/secret.age" \
  -- "$(command -v age)" -e -r "$age_recipient" -o "$work/out.age" "$secret"
rows+=("get of one value (100-record store) / age -d of one secret|${times[1]}|${times[3]}|1.00|${cpu[1]}|${cpu[3]}"
       "get of one value / /bin/true|${times[1]}|${times[0]}|-|${cpu[1]}|${cpu[0]}"
       "set of one value (100-record store) / age -e of one secret|${times[2]}|${times[4]}|1.30|${cpu[2]}|${cpu[4]}")

# The credential server: one load over its socket, as the service manager
# loads a unit's credential, against one `get` of the same value (the
# server must answer at least 20 times as many), and its 99th percentile
# against 2 ms.
printf '[bench.service]\nvalue = settings:key_042\n' >"$work/credentials.conf"
chmod 600 "$work/credentials.conf"
read -r serve_median serve_p99 < <("$bin/bench_serve" "$bin/kelvox" 1000)
rows+=("serve: one credential load / get of one value|$serve_median|${times[1]}|0.05|-|-"
       "serve: 99th percentile of one load / 2 ms|$serve_p99|0.002|1.00|-|-")

# What the audit line of a reveal costs: get with the audit on (its line
# appended under the log's lock, unsynced) against get with AUDIT_LOG=off,
# each run through env so both pay the same for it.
{ cat "$work/small.config"; echo AUDIT_LOG=off; } >"$work/unaudited.config"
spawned 101 5 /usr/bin/env "KELVOX_GLOBAL_CONFIG=$work/small.config" "${get[@]}" \
  -- /usr/bin/env "KELVOX_GLOBAL_CONFIG=$work/unaudited.config" "${get[@]}"
rows+=("get with the audit on / with AUDIT_LOG=off|${times[0]}|${times[1]}|1.25|${cpu[0]}|${cpu[1]}")

# The peers, where installed, each timed beside get and set in runs of its
# own (the slow ones in fewer rounds).
# peer NAME_OUT NAME_IN ROUNDS OUT_COMMAND... -- IN_COMMAND...: times get,
# set and the peer's two commands side by side; adds two rows.
peer() {
  local out_name=$1 in_name=$2 rounds=$3
  shift 3
  if ! spawned "$rounds" 2 "${get[@]}" -- "${set[@]}" -- "$@"; then
    echo "bench: $out_name or $in_name failed; left out" >&2
    return 0
  fi
  rows+=("get of one value / $out_name|${times[0]}|${times[2]}|-|${cpu[0]}|${cpu[2]}"
         "set of one value / $in_name|${times[1]}|${times[3]}|-|${cpu[1]}|${cpu[3]}")
}
if command -v systemd-creds >/dev/null && [ "$(id -u)" -eq 0 ]; then
  # The credential is sealed with the host's secret only: no TPM is tried.
  creds=$(command -v systemd-creds)
  "$creds" encrypt --with-key=host --name=one "$secret" "$work/one.cred" 2>/dev/null
  peer "systemd-creds decrypt" "systemd-creds encrypt" 51 \
    "$creds" decrypt --name=one "$work/one.cred" - \
    -- "$creds" encrypt --with-key=host --name=one "$secret" "$work/out.cred"
fi
if command -v pass >/dev/null && command -v gpg >/dev/null; then
  export GNUPGHOME=$work/gnupg PASSWORD_STORE_DIR=$work/pass
  mkdir -m 700 "$GNUPGHOME"
  gpg --batch --quiet --passphrase '' --quick-gen-key "kelvox bench <bench@localhost>" \
    default default never 2>/dev/null
  fingerprint=$(gpg --list-keys --with-colons 2>/dev/null | awk -F: '/^fpr/ { print $10; exit }')
  pass init "$fingerprint" >/dev/null 2>&1
  pass insert -f -m one <"$secret" >/dev/null 2>&1
  peer "pass show (gpg)" "pass insert (gpg)" 21 "$(command -v pass)" show one \
    -- "<$secret" "$(command -v pass)" insert -f -m one
fi
if command -v ansible-vault >/dev/null; then
  echo "bench vault password" >"$work/vault.password"
  vault=$(command -v ansible-vault)
  "$vault" encrypt --vault-password-file "$work/vault.password" --output "$work/one.vault" "$secret" >/dev/null
  peer "ansible-vault decrypt" "ansible-vault encrypt" 11 \
    "$vault" decrypt --vault-password-file "$work/vault.password" --output - "$work/one.vault" \
    -- "$vault" encrypt --vault-password-file "$work/vault.password" --output "$work/out.vault" "$secret"
fi

# The ratio is of wall times, as the targets are; "cpu" is the same ratio of
# processor time (user and system), which a busy machine changes less.
echo "== kelvox against its targets and its peers (medians of runs side by side;" \
  "load average $(cut -d' ' -f1-3 /proc/loadavg))"
for row in "${rows[@]}"; do echo "$row"; done | awk -F'|' '
  function shown(value, kib) {
    if (kib) return sprintf("%d KiB", value)
    return value >= 1 ? sprintf("%.3f s", value) : sprintf("%.2f ms", value * 1000)
  }
  BEGIN {
    printf "%-62s %11s %11s %6s %5s  %s\n", "measure", "kelvox", "other", "ratio", "cpu", "target"
  }
  {
    kib = ($1 ~ /KiB/)
    ratio = $2 / $3
    processor = ($5 == "-") ? "-" : sprintf("%.2f", $5 / $6)
    target = ($4 == "-") ? "peer" : sprintf("<= %.2f  %s", $4, (ratio <= $4 ? "met" : "MISSED"))
    printf "%-62s %11s %11s %6.2f %5s  %s\n", $1, shown($2, kib), shown($3, kib), ratio, processor, target
  }'
