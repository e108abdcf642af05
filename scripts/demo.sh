#!/bin/bash
# Runs the encrypt command on the bundled examples, unattended, into a
# scratch folder, and shows what it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/demo
kelvox=$root/build/bin/kelvox

rm -rf "$demo"
mkdir -p "$demo"
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

run() {
  echo "\$ kelvox $*"
  "$kelvox" "$@" || echo "(exit status $?)"
  echo
}

echo "== kelvox encrypt without --configfile is refused"
run encrypt --unattended
echo "== settings and credentials from one file, unattended"
run encrypt --configfile examples/both.json --unattended
echo "== the same again: an update, counted; --quiet skips the question"
run encrypt --configfile examples/both.json --unattended --quiet

echo "== the stores (encrypted; no secret is readable)"
ls -l "$demo"/*.store "$demo"/host.key
echo
echo "Try attended mode yourself (you will be asked for a passphrase twice):"
echo "  KELVOX_GLOBAL_CONFIG=$demo/attended.config $kelvox encrypt --configfile $root/examples/settings.json"
