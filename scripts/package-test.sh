#!/bin/bash
# Checks what `make package` built: `cmake --install` under a scratch
# prefix, then the package installed on this machine as an administrator
# would meet it: lintian, the installed files and their modes, the manual
# page, completion, unattended runs against the installed configuration,
# removal (user data stays) and purge (the rest goes). Ends with the
# machine's /etc, /usr and /var as they were, apart from dpkg's and apt's
# own records. Run as root, on a machine without kelvox.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() { echo "package-test: $*" >&2; exit 1; }
step() { echo "== $*"; }
mode_is() {  # path, octal mode
  local mode
  mode=$(stat -c %a "$1")
  [ "$mode" = "$2" ] || fail "$1 has mode $mode, not $2"
}

[ "$(id -u)" -eq 0 ] || fail "run as root"
debs=(build/kelvox_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "want exactly one build/kelvox_*.deb (make package)"
deb=$root/${debs[0]}
if dpkg-query -W -f='${Status}' kelvox 2>/dev/null | grep -q installed; then
  fail "kelvox is installed already; this test would replace it"
fi
for path in /etc/kelvox /var/lib/kelvox /var/log/kelvox; do
  [ ! -e "$path" ] || fail "$path exists; this test would change it"
done
scripts/deps.sh package

# Every path under /etc, /usr and /var, except what dpkg and apt keep about
# themselves and caches that triggers refresh.
snapshot() {
  find /etc /usr /var -xdev \( -path /var/lib/dpkg -o -path /var/cache -o -path /var/log \
    -o -path /var/lib/apt -o -path /var/tmp \) -prune -o -print | sort
  find /var/log -xdev -name '*kelvox*' | sort
}
scratch=$(mktemp -d)
cleanup() {
  local status=$?
  if dpkg-query -W -f='${Status}' kelvox 2>/dev/null | grep -q "ok"; then
    dpkg -P kelvox >/dev/null 2>&1 || true
  fi
  rm -rf /var/lib/kelvox /var/log/kelvox "$scratch"
  exit "$status"
}
trap cleanup EXIT
snapshot >"$scratch/before"

step "cmake --install under a scratch prefix: the same layout"
prefix=$scratch/prefix
cmake --install build --prefix "$prefix" >/dev/null
for file in bin/kelvox lib/kelvox/kelvox_encrypt.so lib/kelvox/libEnDecrypt.so \
            etc/kelvox/global.config share/man/man1/kelvox.1.gz \
            share/bash-completion/completions/kelvox; do
  [ -f "$prefix/$file" ] || fail "cmake --install made no $file"
done
mode_is "$prefix/var/lib/kelvox" 700
mode_is "$prefix/var/log/kelvox" 750
scripts/check-runpath.sh "$prefix/bin" "$prefix/lib/kelvox" ||
  fail "a binary cmake --install made looks for libraries in the working directory"
# No plug-in beside this program: it is found in the private folder. The
# configuration is the prefix's own, found without being named.
(unset KELVOX_GLOBAL_CONFIG
 "$prefix/bin/kelvox" encrypt --configfile examples/both.json --unattended </dev/null)
[ -f "$prefix/var/lib/kelvox/settings.store" ] || fail "no store under the prefix"
[ -f "$prefix/var/log/kelvox/kelvox.log" ] || fail "no log under the prefix"
[ ! -e "$prefix/bin/logs" ] || fail "a log folder beside the program"

step "lintian"
lintian --allow-root --fail-on error "$deb"

step "install"
dpkg -i "$deb"
version=$(dpkg-deb -f "$deb" Version)

mode_is /usr/bin/kelvox 755
mode_is /usr/lib/kelvox/kelvox_encrypt.so 644
mode_is /etc/kelvox/global.config 644
mode_is /etc/kelvox/credentials.conf 600
for unit in kelvox-credentials.socket kelvox-credentials.service; do
  [ -f "/usr/lib/systemd/system/$unit" ] || fail "the package installs no $unit"
  if command -v systemd-analyze >/dev/null; then
    systemd-analyze verify "/usr/lib/systemd/system/$unit" >/dev/null 2>&1 ||
      fail "systemd-analyze verify $unit: $(systemd-analyze verify /usr/lib/systemd/system/$unit 2>&1)"
  fi
done
mode_is /var/lib/kelvox 700
mode_is /var/log/kelvox 750
dpkg-query -W -f='${Conffiles}\n' kelvox | grep -q "^ /etc/kelvox/global.config " ||
  fail "global.config is no conffile"
readelf -d /usr/bin/kelvox | grep -q 'RUNPATH.*\[\$ORIGIN/../lib/kelvox\]' ||
  fail "kelvox does not find its libraries through \$ORIGIN/../lib/kelvox"
scripts/check-runpath.sh /usr/bin/kelvox /usr/lib/kelvox ||
  fail "a binary of the package looks for libraries in the working directory"
[ "$(kelvox --version)" = "kelvox $version" ] || fail "kelvox --version: $(kelvox --version)"

step "manual page and completion"
[ "$(man -w kelvox)" = /usr/share/man/man1/kelvox.1.gz ] || fail "man -w kelvox: $(man -w kelvox)"
warnings=$(MANWIDTH=80 man --warnings -l /usr/share/man/man1/kelvox.1.gz 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
  source /usr/share/bash-completion/completions/kelvox
  COMP_WORDS=(kelvox en); COMP_CWORD=1; COMP_LINE="kelvox en"; COMP_POINT=9
  _kelvox; echo "${COMPREPLY[*]}"')
[ "$completed" = encrypt ] || fail "kelvox en<TAB> completes to '$completed'"

step "unattended runs against the installed configuration"
# As installed: the stores, the host key and the log in /var.
kelvox encrypt --configfile examples/credentials.json --unattended </dev/null
for file in /var/lib/kelvox/credentials.store /var/lib/kelvox/host.key; do mode_is "$file" 600; done
[ -s /var/log/kelvox/kelvox.log ] || fail "nothing logged to /var/log/kelvox/kelvox.log"
# The same configuration with the stores in a scratch folder: a new store
# of each type, then an update without the question.
sed "s|/var/lib/kelvox|$scratch|g" /etc/kelvox/global.config >"$scratch/global.config"
export KELVOX_GLOBAL_CONFIG=$scratch/global.config
kelvox encrypt --configfile examples/both.json --unattended </dev/null
kelvox encrypt --configfile examples/both.json --unattended --quiet </dev/null
for file in settings.store credentials.store host.key; do mode_is "$scratch/$file" 600; done
unset KELVOX_GLOBAL_CONFIG

step "remove: the stores, the host key, the configuration and the logs stay"
dpkg -r kelvox
[ ! -e /usr/bin/kelvox ] && [ ! -e /usr/lib/kelvox ] || fail "programs left after removal"
for file in /var/lib/kelvox/credentials.store /var/lib/kelvox/host.key \
            /etc/kelvox/global.config /var/log/kelvox/kelvox.log; do
  [ -e "$file" ] || fail "$file went with the removal"
done

step "purge: the configuration and the logs go, the stores and the host key stay"
dpkg -P kelvox
[ ! -e /etc/kelvox ] && [ ! -e /var/log/kelvox ] || fail "configuration or logs left after purge"
[ -e /var/lib/kelvox/host.key ] || fail "the host key went with the purge"
rm -rf /var/lib/kelvox

step "nothing else left"
snapshot >"$scratch/after"
diff -u "$scratch/before" "$scratch/after" || fail "the machine differs from before"
echo "package-test: passed"
