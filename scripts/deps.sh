#!/bin/sh
# Installs the Debian packages the build needs, or says how to.
#   scripts/deps.sh           what building, testing and packaging need
#   scripts/deps.sh package   also what checking the package needs
#                             (scripts/package-test.sh)
#   scripts/deps.sh msi       only what building the Windows installer needs
#                             (scripts/msi.sh; scripts/windows-deps.sh
#                             installs the cross compiler and Wine)
#   scripts/deps.sh bench     also what `make bench` needs, its peers too
#   scripts/deps.sh fleet     also what `make fleet-demo` needs
set -eu
# scdoc turns the manual page into roff; dpkg-dev (dpkg-shlibdeps) and file
# let CPack compute the package's dependencies. clang and libclang-rt-dev,
# which holds libFuzzer and the sanitizer runtimes that clang only
# recommends, build the fuzz targets; xxd turns the format document's
# example bytes into seeds for them (scripts/fuzz.sh). age is the stock
# age and age-keygen the age library's interop tests check against;
# openssh-client's ssh-keygen makes the OpenSSH keys those tests, the fleet
# demo and the OpenSSH key fuzzer's seeds use, the oracle of that format.
# systemd-container (systemd-nspawn) boots the real service manager in a
# container over an overlay of the root, for the credential server's test.
packages="cmake make g++ pkg-config libboost-dev libboost-filesystem-dev libsodium-dev \
libspdlog-dev libfmt-dev libgtest-dev clang libclang-rt-dev xxd age openssh-client scdoc dpkg-dev file \
libtss2-dev swtpm swtpm-tools libtss2-tcti-swtpm0 systemd-container"
case "${1:-}" in
  package)
    # lintian checks the package; man-db and bash-completion are what its
    # manual page and completion are tried with.
    packages="$packages lintian man-db bash-completion" ;;
  bench)
    # GNU time gives a run's peak memory, for the memory ratio; pass (with
    # gpg) and Ansible's vault are peers the bench times get and set beside
    # (so are age and, where the system has it, systemd-creds).
    packages="$packages time pass ansible-core" ;;
  fleet)
    # The fleet example is an Ansible playbook.
    packages="$packages ansible-core" ;;
  msi)
    # wixl builds the package from WiX source; msitools edits and lists it.
    packages="wixl msitools" ;;
esac
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
