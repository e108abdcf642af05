#!/bin/bash
# A walk through kelvox on the bundled examples, unattended, in a scratch
# folder demo/: encrypt writes two new stores, set stores one value from
# standard input, get prints it back, list and verify look at the stores,
# and a second encrypt run updates one value and adds one, counted. Needs no
# terminal and no standard input; runs as root or not.
#
# Every step checks its exit status (0 unless the step is meant to fail, and
# then the status it must give) and what it must print; the first one that
# does not stops the demo with a line naming it and a non-zero status.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/demo
kelvox=$root/build/bin/kelvox

fail() {
  echo "demo: FAILED: $*" >&2
  exit 1
}
trap 'status=$?; echo "demo: FAILED: line $LINENO: \"$BASH_COMMAND\" exited with status $status" >&2' ERR

[ -x "$kelvox" ] || fail "no $kelvox; build it first (make demo does)"
rm -rf "$demo"
# Owner-only: the host key is used only in a folder no one else can write to.
mkdir -m 700 "$demo"
# What the last command printed, for the checks; values too, so not kept.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
write_config() {  # file, store prefix
  cat > "$1" <<CONFIG
# Scratch configuration written by make demo.
ENCRYPT_SETTING_PATH=$demo/$2settings.store
ENCRYPTED_CREDENTIALS_FILE_PATH=$demo/$2credentials.store
ENCRYPT_HOST_KEY_PATH=$demo/host.key
LOG_FILE=$demo/kelvox.log
LOG_LEVEL=3
CONFIG
}
write_config "$demo/global.config" ""
write_config "$demo/attended.config" "attended-"
export KELVOX_GLOBAL_CONFIG=$demo/global.config

# run [--status N] [--input TEXT] ARG...: shows and runs `kelvox ARG...`,
# with TEXT and a newline on standard input (else nothing), and stops the
# demo unless it exits with status N (default 0). Its output is shown and
# kept in $out for expect_output.
run() {
  local expected=0 input="" has_input=false status=0
  while [ $# -gt 0 ]; do
    case $1 in
      --status) expected=$2; shift 2 ;;
      --input) input=$2; has_input=true; shift 2 ;;
      *) break ;;
    esac
  done
  if $has_input; then
    echo "\$ printf '%s\\n' '$input' | kelvox $*"
    printf '%s\n' "$input" | "$kelvox" "$@" >"$out" 2>&1 || status=$?
  else
    echo "\$ kelvox $*"
    "$kelvox" "$@" </dev/null >"$out" 2>&1 || status=$?
  fi
  cat "$out"
  if [ "$status" -ne "$expected" ]; then
    fail "'kelvox $*' exited with status $status, not $expected (details in $demo/kelvox.log)"
  fi
  if [ "$expected" -ne 0 ]; then echo "(exit status $status, as expected)"; fi
  echo
}

# expect_output LINE: the last run printed LINE as one whole line.
expect_output() {
  grep -qxF -- "$1" "$out" || fail "the last command did not print the line '$1'"
}

echo "== kelvox encrypt without --configfile is refused (status 5)"
run --status 5 encrypt --unattended

echo "== settings and credentials from one file, unattended: two new stores"
run encrypt --configfile examples/both.json --unattended

echo "== set: one value from standard input; --quiet skips the question"
run --input example-token-0000 set --type settings --key DEMO_API_TOKEN --value-from - --unattended --quiet
expect_output "add: 1, update: 0"

echo "== get prints it back; each store command opens a store in its own mode"
run get --type settings --key DEMO_API_TOKEN
expect_output "example-token-0000"

echo "== get of a key that is not stored ends with status 1"
run --status 1 get --type settings --key NOT_STORED

echo "== list: the keys of the records, never a value"
run list --type settings
expect_output "DEMO_API_TOKEN"
run list --type credentials
expect_output "bmc02.example.net/password"

echo "== verify: the whole store authenticated"
run verify --type settings
expect_output "$demo/settings.store: sound, unattended, 3 records"
run verify --type credentials --json

echo "== an update, counted: one value changed, one setting added (examples/settings-update.json)"
run encrypt --configfile examples/settings-update.json --unattended --quiet
expect_output "add: 1, update: 1"
run get --type settings --key SMTP_RELAY_PASSWORD
expect_output "not-a-real-secret-changed-4d5e"
run verify --type settings
expect_output "$demo/settings.store: sound, unattended, 4 records"

echo "== the stores (encrypted; no secret is readable)"
ls -l "$demo"/*.store "$demo"/host.key
echo
echo "demo: every step gave what it should."
echo "Try attended mode yourself (you will be asked for a passphrase twice):"
echo "  KELVOX_GLOBAL_CONFIG=$demo/attended.config $kelvox encrypt --configfile $root/examples/settings.json"
