#!/bin/sh
# Installs the Debian packages the build needs, or says how to.
set -eu
packages="cmake make g++ pkg-config libboost-dev libboost-filesystem-dev libsodium-dev \
libspdlog-dev libfmt-dev libgtest-dev clang libtss2-dev swtpm swtpm-tools libtss2-tcti-swtpm0"
missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages; run as root:" >&2
  echo "  apt-get update && apt-get install -y$missing" >&2
  exit 1
fi
echo "installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
# shellcheck disable=SC2086
apt-get install -y -qq $missing >/dev/null
