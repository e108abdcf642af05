#!/bin/bash
# Boots the real service manager in a container over an overlay of this
# machine's root, with kelvox's credential units (made from the packaged
# templates) and three units that load a credential each, and leaves what
# they got in WORK/results. Never boots the machine's own root: the
# overlay and its upper layer live in a private mount namespace, in a
# tmpfs, and go with it.
#   nspawn-credentials.sh WORK BIN_DIR UNIT_TEMPLATES
# WORK (outside /tmp, which the container and the hardened service replace)
# holds state/ (the configuration, stores, host key and grant file) and
# results/; the build folder holding BIN_DIR is seen at WORK/build in the
# container, wherever it is here (a clone in /tmp too).
set -euo pipefail
work=$1 build=$(dirname "$2") templates=$3
[ "$(id -u)" -eq 0 ] || { echo "needs root" >&2; exit 77; }
command -v systemd-nspawn >/dev/null || { echo "no systemd-nspawn (systemd-container)" >&2; exit 77; }
if [ "${KELVOX_IN_NAMESPACE:-}" != 1 ]; then
  exec env KELVOX_IN_NAMESPACE=1 unshare --mount --propagation private "$0" "$@"
fi
overlay=$work/overlay
mkdir -p "$overlay" "$work/results"
mount -t tmpfs tmpfs "$overlay"
mkdir "$overlay/upper" "$overlay/work" "$overlay/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$overlay/upper,workdir=$overlay/work" "$overlay/root"
units=$overlay/root/etc/systemd/system
mkdir -p "$units/multi-user.target.wants" "$units/sockets.target.wants" \
  "$units/kelvox-credentials.service.d"
for unit in kelvox-credentials.socket kelvox-credentials.service; do
  sed -e "s|@KELVOX_BIN_DIR@|$work/build/bin|g" -e "s|@KELVOX_LOG_DIR@|$work/results|g" \
    -e "s|@KELVOX_SOCKET@|/run/kelvox/credentials.sock|g" \
    -e "s|@KELVOX_POLICY_FILE@|$work/state/credentials.conf|g" "$templates/$unit.in" >"$units/$unit"
done
printf '[Service]\nEnvironment=KELVOX_GLOBAL_CONFIG=%s/state/global.config\n' "$work" \
  >"$units/kelvox-credentials.service.d/test.conf"
ln -s ../kelvox-credentials.socket "$units/sockets.target.wants/"
# Each asker copies its credential (empty when refused) into results/.
asker() {  # NAME UNIT ID
  cat >"$units/$2" <<EOT
[Unit]
After=kelvox-credentials.socket
[Service]
Type=oneshot
LoadCredential=$3:/run/kelvox/credentials.sock
ExecStart=/bin/sh -c 'cat "\$CREDENTIALS_DIRECTORY/$3" > $work/results/$1'
EOT
}
asker app app.service db
asker worker "worker@eu.service" token
asker other other.service db
cat >"$units/finish.service" <<EOT
[Unit]
After=app.service worker@eu.service other.service
Wants=app.service worker@eu.service other.service
[Service]
Type=oneshot
ExecStart=/bin/sh -c 'systemctl show -p ActiveState app.service > $work/results/state; echo done > $work/results/done'
ExecStartPost=/bin/systemctl --no-block poweroff
EOT
ln -s ../finish.service "$units/multi-user.target.wants/"
timeout 120 systemd-nspawn -q --boot -D "$overlay/root" --bind="$work/results" \
  --bind-ro="$work/state" --bind-ro="$build:$work/build" --register=no --keep-unit >"$work/results/console" 2>&1 || true
[ -f "$work/results/done" ]
