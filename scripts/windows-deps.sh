#!/bin/bash
# Prepares the Windows cross build: installs the Debian packages it needs and
# builds, once, the libraries that Debian ships no MinGW build of:
#   - Boost.Filesystem, static, from Debian's boost1.74 source package;
#   - libsodium, static, from Debian's libsodium source package;
#   - GoogleTest, static, from /usr/src/googletest.
# Header-only libraries (Boost, spdlog, fmt) are used from the host's
# packages through folders of symbolic links, so that only they, and never all
# of /usr/include, are on the cross compiler's include path.
#
# The result goes to a cache folder outside the clone, keyed by a hash of this
# script and the toolchain file, and is reused by every later run on the
# machine (CI included) once its 'complete' mark exists. Prints that folder's
# path as the last line of standard output; progress goes to standard error.
#
# KELVOX_WINDOWS_CACHE  overrides the cache root
#                       (default /var/cache/kelvox-windows as root,
#                       else ~/.cache/kelvox-windows).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
triplet=x86_64-w64-mingw32
cc="$triplet-gcc-posix"
cxx="$triplet-g++-posix"
jobs="${JOBS:-2}"

say() { echo "windows-deps: $*" >&2; }

install_packages() {
  local packages="cmake make g++-mingw-w64-x86-64-posix wine64 wine libboost-dev \
libspdlog-dev libfmt-dev googletest dpkg-dev autoconf automake libtool xz-utils"
  local missing="" p
  for p in $packages; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing="$missing $p"
    fi
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    say "missing packages; run as root:"
    say "  apt-get update && apt-get install -y$missing"
    exit 1
  fi
  say "installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

# apt-get source needs deb-src entries. They are added as a file of our own,
# mirroring the machine's deb entries; the existing sources stay untouched.
enable_source_packages() {
  local list=/etc/apt/sources.list.d/kelvox-deb-src.sources
  if apt-get source --print-uris libsodium >/dev/null 2>&1; then return 0; fi
  if [ "$(id -u)" -ne 0 ]; then
    say "no deb-src entries; as root, add some under /etc/apt/sources.list.d/"
    exit 1
  fi
  say "adding deb-src entries in $list"
  local tmp
  tmp="$(mktemp)"
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    if [ ! -e "$f" ] || [ "$f" = "$list" ]; then continue; fi
    sed 's/^Types:.*$/Types: deb-src/' "$f" >>"$tmp"
    echo >>"$tmp"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$tmp.list"
  done
  if [ -s "$tmp.list" ]; then
    install -m 0644 "$tmp.list" /etc/apt/sources.list.d/kelvox-deb-src.list
  fi
  install -m 0644 "$tmp" "$list"
  rm -f "$tmp" "$tmp.list"
  apt-get update -qq
}

# Runs a command with its output kept in the work folder's log, shown only
# when the command fails.
quietly() {
  if ! "$@" >>"$log" 2>&1; then
    say "failed: $*"
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# Fetches a Debian source package into the current folder. apt downloads as
# its unprivileged user, which must own the folder.
fetch_source() {
  if id _apt >/dev/null 2>&1; then chown _apt .; fi
  quietly apt-get source -qq "$@"
}

# Compiles every source file under $1/libs/filesystem/src into $1/obj.
compile_boost_filesystem() {
  local root="$1" include="$2"
  export cxx root include
  # shellcheck disable=SC2016
  find "$root/libs/filesystem/src" -name '*.cpp' -print0 |
    xargs -0 -P "$jobs" -I {} sh -c '"$cxx" -std=c++17 -O2 -isystem "$include" \
      -DBOOST_FILESYSTEM_SOURCE -DBOOST_FILESYSTEM_STATIC_LINK=1 -DNDEBUG \
      -c "$1" -o "$root/obj/$(basename "$1" .cpp).o"' sh {}
}

# Boost.Filesystem's compiled part, from the same Boost release as the headers
# (Debian's patches to it concern other systems).
build_boost_filesystem() {
  local work="$1" out="$2"
  say "building Boost.Filesystem"
  mkdir -p "$work/boost-source" "$work/boost/obj" "$out/lib"
  (cd "$work/boost-source" && fetch_source --download-only boost1.74)
  local orig=("$work"/boost-source/boost1.74_*.orig.tar.*)
  quietly tar -xf "${orig[0]}" -C "$work/boost" --strip-components=1 \
    --wildcards '*/libs/filesystem/src/*'
  quietly compile_boost_filesystem "$work/boost" "$out/../include-boost"
  quietly "$triplet-ar" rcs "$out/lib/libboost_filesystem.a" "$work"/boost/obj/*.o
}

build_sodium() {
  local work="$1" out="$2"
  say "building libsodium"
  mkdir -p "$work/sodium-source"
  (cd "$work/sodium-source" && fetch_source libsodium)
  local src
  src="$(find "$work/sodium-source" -maxdepth 1 -type d -name 'libsodium-*' | head -n 1)"
  (
    cd "$src"
    # -s: keep the packaged config scripts instead of downloading newer ones.
    DO_NOT_UPDATE_CONFIG_SCRIPTS=1 quietly ./autogen.sh -s
    quietly ./configure --host="$triplet" --prefix="$out" --disable-shared --enable-static \
      --disable-dependency-tracking CC="$cc"
    quietly make -j "$jobs"
    quietly make install
  )
}

build_googletest() {
  local work="$1" out="$2"
  say "building GoogleTest"
  quietly cmake -S /usr/src/googletest -B "$work/googletest" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$out"
  quietly cmake --build "$work/googletest" -j "$jobs"
  quietly cmake --install "$work/googletest"
}

# One folder per header-only library, each holding links to its include
# folders only.
link_headers() {
  local dir="$1"
  mkdir -p "$dir/include-boost" "$dir/include-spdlog"
  ln -sfn /usr/include/boost "$dir/include-boost/boost"
  ln -sfn /usr/include/spdlog "$dir/include-spdlog/spdlog"
  ln -sfn /usr/include/fmt "$dir/include-spdlog/fmt"
}

main() {
  install_packages
  local cache
  if [ -n "${KELVOX_WINDOWS_CACHE:-}" ]; then
    cache="$KELVOX_WINDOWS_CACHE"
  elif [ "$(id -u)" -eq 0 ]; then
    cache=/var/cache/kelvox-windows
  else
    cache="${XDG_CACHE_HOME:-$HOME/.cache}/kelvox-windows"
  fi
  local key
  key="$(cat "$0" "$toolchain" | sha256sum | cut -c1-16)"
  local dir="$cache/$key"
  mkdir -p "$cache"

  # Serialises concurrent runs on one machine; the second one finds the
  # first one's result complete.
  exec 9>"$cache/lock"
  flock 9
  if [ ! -e "$dir/complete" ]; then
    enable_source_packages
    rm -rf "$dir"
    mkdir -p "$dir"
    local work
    work="$(mktemp -d "$cache/work.XXXXXX")"
    # apt's unprivileged user must reach the download folders inside.
    chmod 0755 "$work"
    log="$work/build.log"
    # shellcheck disable=SC2064
    trap "rm -rf '$work'" EXIT
    link_headers "$dir"
    build_boost_filesystem "$work" "$dir/boost"
    build_sodium "$work" "$dir/sodium"
    build_googletest "$work" "$dir/googletest"
    rm -rf "$work"
    trap - EXIT
    touch "$dir/complete"
    # Results of older recipes are no longer used.
    find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name "$key" -exec rm -rf {} +
    say "cross dependencies ready in $dir"
  fi
  flock -u 9
  echo "$dir"
}

main "$@"
