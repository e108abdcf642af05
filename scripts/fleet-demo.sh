#!/bin/bash
# Runs examples/fleet/playbook.yml against its four local machines in a
# scratch folder demo-fleet/: web1 to web3 import the secrets encrypted to
# them (web2 and web3 by their ssh host keys, web1 by its age recipient);
# db4, left out, refuses the file and keeps its store.
# Needs no terminal and no standard input; runs as root or not.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
root=$PWD
kelvox=$root/build/bin/kelvox
[ -x "$kelvox" ] || { echo "fleet-demo: no $kelvox; build it first (make fleet-demo does)" >&2; exit 1; }
fleet=$root/demo-fleet
rm -rf "$fleet"
mkdir -m 700 "$fleet"
# The example's own settings, no cows: the run looks the same everywhere.
export ANSIBLE_CONFIG="$root/examples/fleet/ansible.cfg" ANSIBLE_NOCOWS=1 ANSIBLE_LOCALHOST_WARNING=false \
  ANSIBLE_INVENTORY_UNPARSED_WARNING=false ANSIBLE_PYTHON_INTERPRETER=/usr/bin/python3 \
  ANSIBLE_LOCAL_TEMP="$fleet/.ansible-tmp" ANSIBLE_REMOTE_TEMP="$fleet/.ansible-tmp"
ansible-playbook -i examples/fleet/inventory.ini examples/fleet/playbook.yml \
  -e "kelvox=$kelvox" -e "fleet_root=$fleet" </dev/null
# web2 and web3 were sent to by their ssh host keys alone: the file must
# name them so, and name no age recipient of theirs.
for host in web2 web3; do
  tag_line=$(awk '{ print $2 }' "$fleet/$host/ssh_host_ed25519_key.pub")
  if ! grep -qF -- "$tag_line" "$fleet/recipients.txt"; then
    echo "fleet-demo: FAILED: $host's ssh host key is not among the recipients" >&2
    exit 1
  fi
done
# The plaintext never reached a machine's folder; only its age file did.
if grep -rlF "fleet-example-5d1e7a" "$fleet" >/dev/null; then
  echo "fleet-demo: FAILED: a plaintext secret lies under $fleet" >&2
  exit 1
fi
echo "fleet-demo: passed: web2, web3 (by ssh host key) and web1 (by age recipient) imported the secrets; db4 refused them and kept its store"
