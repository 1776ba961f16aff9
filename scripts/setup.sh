#!/usr/bin/env bash
# Installs what KOMVAS needs to build and test on Debian 12 and prepares a private Wine prefix.
# Run as root; safe to run again.
#   scripts/setup.sh [WINEPREFIX]    (default: build/wineprefix under the source tree)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-$top/build/wineprefix}
# Wine takes only an absolute WINEPREFIX: a relative one would leave the prefix unprepared.
prefix=$(realpath -m "$prefix")

packages=(cmake ninja-build g++ mingw-w64 g++-mingw-w64-x86-64-posix wine wine64 libboost-dev libcli11-dev
          googletest libc6-dev iproute2 cmark-gfm zip unzip nlohmann-json3-dev make perl
          mosquitto mosquitto-clients openssl)
# Whether every package named is installed.
installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}\n' "$@" 2>/dev/null | grep -cx installed)" -eq $# ]
}
# A second run finds everything there and asks apt nothing, so that it is quick and several
# checkouts' runs never queue on apt's locks; a first one waits for a lock another run holds.
if installed "${packages[@]}"; then
  :
elif [ "$(id -u)" = 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=600 update -qq
  apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${packages[@]}" >/dev/null
else
  echo "setup: not root, installing nothing (needs: ${packages[*]})" >&2
fi

# A private prefix with the null graphics driver, so that DDEML works without an X display.
if [ ! -f "$prefix/.komvas-ready" ]; then
  mkdir -p "$prefix"
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY
  wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  wineserver -k >/dev/null 2>&1 || true
  touch "$prefix/.komvas-ready"
fi
