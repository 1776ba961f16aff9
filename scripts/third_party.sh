#!/usr/bin/env bash
# Builds the libraries that komvas-mqtt.exe links statically, from Debian's source packages, for
# mingw-w64: OpenSSL (TLS) and mosquitto's client library (MQTT). Each is installed into a cache
# outside the checkout, CACHE/<package>-<Debian version>-<recipe hash>, and reused while it is
# there, so that only the first run on a machine takes minutes. Writes build/third-party.cmake,
# which the Windows build reads (cmake -C) to find them.
#   scripts/third_party.sh     (KOMVAS_THIRD_PARTY_CACHE overrides the cache folder, by default
#                               /var/cache/komvas/third-party, or ~/.cache/komvas/third-party
#                               when that cannot be written)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build
cache=${KOMVAS_THIRD_PARTY_CACHE:-/var/cache/komvas/third-party}
if ! mkdir -p "$cache" 2>/dev/null || [ ! -w "$cache" ]; then
  cache=$HOME/.cache/komvas/third-party
  mkdir -p "$cache"
fi
jobs=$(nproc)
cross=x86_64-w64-mingw32

say() { echo "third-party: $*" >&2; }
fail() {
  say "$*"
  exit 1
}

# The sources come from Debian's archive with apt-get source. A fresh Debian 12 has no deb-src
# entries: this file gives it those of the main archive and its security updates.
sources_file=/etc/apt/sources.list.d/komvas-src.sources
ensure_sources() {
  command -v dpkg-source >/dev/null && [ -f "$sources_file" ] && return 0
  [ "$(id -u)" = 0 ] || fail "needs dpkg-dev and $sources_file (run as root once)"
  if [ ! -f "$sources_file" ]; then
    cat > "$sources_file" <<'SOURCES'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends dpkg-dev >/dev/null
}

# The Debian versions of a source package that the lists name, newest first. Asks the local
# lists only, so that a run with everything cached needs no network.
source_versions() {
  apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' | sort -u |
    sort -r -V
}

# OpenSSL's static libraries and headers. Only the libraries are built (no programs, tests or
# manuals): they are all that libmosquitto and the bridge need.
build_openssl() {
  local src=$1 dest=$2
  (cd "$src" &&
    ./Configure mingw64 no-shared no-tests --cross-compile-prefix="$cross-" \
                --prefix="$dest" --libdir=lib &&
    make -j"$jobs" build_libs &&
    make install_dev)
}

# libmosquitto, the client library alone, static, with TLS through the OpenSSL above and
# without threads: the bridge drives it from its one thread.
build_mosquitto() {
  local src=$1 dest=$2 openssl=$3
  cmake -S "$src" -B "$src/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER="$cross-gcc-posix" \
        -DCMAKE_CXX_COMPILER="$cross-g++-posix" -DCMAKE_RC_COMPILER="$cross-windres" \
        -DCMAKE_FIND_ROOT_PATH="/usr/$cross;$openssl" \
        -DCMAKE_FIND_ROOT_PATH_MODE_PROGRAM=NEVER -DCMAKE_FIND_ROOT_PATH_MODE_LIBRARY=ONLY \
        -DCMAKE_FIND_ROOT_PATH_MODE_INCLUDE=ONLY -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY \
        -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF \
        -DWITH_LIB_CPP=OFF -DWITH_THREADING=OFF -DWITH_STATIC_LIBRARIES=ON \
        -DWITH_TLS=ON -DWITH_SOCKS=OFF -DWITH_CJSON=OFF -DDOCUMENTATION=OFF \
        -DOPENSSL_ROOT_DIR="$openssl" -DOPENSSL_USE_STATIC_LIBS=ON >/dev/null
  cmake --build "$src/build" --target libmosquitto_static
  mkdir -p "$dest/lib" "$dest/include"
  cp "$src/build/lib/libmosquitto_static.a" "$dest/lib/libmosquitto.a"
  cp "$src/include/mosquitto.h" "$src/include/mqtt_protocol.h" "$dest/include/"
}

# Fetches, unpacks (with Debian's patches) and builds one package into the cache, unless it is
# there; prints the folder. The newest version in the cache wins, else the newest that the
# archive delivers (a mirror may list a security update before it holds its files). A lock
# keeps two checkouts' runs from building at once, and a folder appears only when complete.
provide() {
  local package=$1 recipe=$2
  shift 2
  local versions hash version dest
  versions=$(source_versions "$package")
  [ -n "$versions" ] || fail "apt-get source knows no $package (apt-get update?)"
  # The recipe: the function's text and the compiler's version.
  hash=$( (declare -f "$recipe"; "$cross-gcc-posix" --version | head -n 1) | sha256sum | cut -c1-12)
  for version in $versions; do
    dest=$cache/$package-$version-$hash
    [ -f "$dest/.complete" ] && { echo "$dest"; return 0; }
  done
  exec 9>"$cache/$package.lock"
  flock 9
  local work src
  work=$(mktemp -d "$cache/.work-$package-XXXXXX")
  for version in $versions; do
    dest=$cache/$package-$version-$hash
    # Another run may have built it meanwhile.
    [ -f "$dest/.complete" ] && { rm -rf "$work"; echo "$dest"; return 0; }
    if (cd "$work" && apt-get source -qq "$package=$version" >/dev/null 2>>"$work/fetch.log"); then
      src=$(find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1)
      say "building $package $version for mingw-w64 into $dest (minutes, once)"
      if ! "$recipe" "$src" "$work/install" "$@" >"$work/build.log" 2>&1; then
        tail -n 40 "$work/build.log" >&2
        fail "building $package failed (log: $work/build.log)"
      fi
      rm -rf "$dest"
      touch "$work/install/.complete"
      mv "$work/install" "$dest"
      rm -rf "$work"
      exec 9>&-
      echo "$dest"
      return 0
    fi
    say "$package $version cannot be fetched; trying an older version"
    find "$work" -mindepth 1 -maxdepth 1 ! -name fetch.log -exec rm -rf {} +
  done
  cat "$work/fetch.log" >&2
  fail "apt-get source could fetch no version of $package"
}

ensure_sources
command -v "$cross-gcc-posix" >/dev/null || fail "mingw-w64 is missing (scripts/setup.sh installs it)"
openssl=$(provide openssl build_openssl)
mosquitto=$(provide mosquitto build_mosquitto "$openssl")

mkdir -p "$build"
cat > "$build/third-party.cmake" <<CMAKE
# Written by scripts/third_party.sh: the static libraries of komvas-mqtt.exe.
set(KOMVAS_OPENSSL_ROOT "$openssl" CACHE PATH "OpenSSL built for mingw-w64" FORCE)
set(KOMVAS_MOSQUITTO_ROOT "$mosquitto" CACHE PATH "libmosquitto built for mingw-w64" FORCE)
CMAKE
