#!/bin/bash
# Cross-compiles the project for Windows x86-64 with MinGW-w64 into
# build-windows/, builds the installer (scripts/msi.sh), runs the tests under
# Wine with no display, then installs, runs, upgrades and uninstalls the
# installer in the same throw-away Wine prefix (scripts/msi-test.sh).
#
# JOBS                  parallel compile jobs (default 2)
# KELVOX_WINDOWS_CACHE  where the cross-built dependencies are kept
#                       (see scripts/windows-deps.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs="${JOBS:-2}"
build="build-windows"

scripts/windows-build.sh
KELVOX_MSI_NO_BUILD=1 scripts/msi.sh

# A throwaway Wine prefix, no display, and none of the runtime installers
# Wine would otherwise offer on first start.
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/kelvox-wine.XXXXXX")"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine=/usr/lib/wine/wine64
stop_wine() {
  wineserver -k >/dev/null 2>&1 || true
  # Debian's Wine keeps the server's socket folder in the temporary folder,
  # under a name it records in the prefix; the folder outlives the server.
  local server=""
  if [ -r "$WINEPREFIX/wineserver" ]; then server="$(cat "$WINEPREFIX/wineserver")"; fi
  case "$server" in
    wine-*) rm -rf "${TMPDIR:-/tmp}/$server" ;;
  esac
  rm -rf "$WINEPREFIX"
}
trap stop_wine EXIT

# Wine's services start once, here: started by the first test instead, they
# would keep CTest's output pipe open and stall it.
wineserver -p >/dev/null 2>&1
"$wine" wineboot --init >/dev/null 2>&1

ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$jobs" --timeout 300

WINE="$wine" scripts/msi-test.sh
