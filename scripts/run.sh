#!/usr/bin/env bash
# The main job: sets up and builds, starts the PLC simulator with changing demonstration values
# on 127.0.0.1, starts KOMVAS.exe under Wine on a KOMVAS.ini that points at it, and shows live
# values through the DDE client. The server's messages (CP932) are shown as UTF-8.
# With --mqtt it also starts a local MQTT broker (Debian's mosquitto on 127.0.0.1:18830) and
# komvas-mqtt.exe, and shows the same values as a subscriber receives them.
# CTRL+C ends all of it.
#   scripts/run.sh [--mqtt] [SECONDS]     (without SECONDS it runs until CTRL+C)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$top/build
mqtt=
if [ "${1:-}" = --mqtt ]; then
  mqtt=1
  shift
fi
seconds=${1:-}
"$top/scripts/setup.sh" "$build/wineprefix"
source "$top/scripts/wine-env.sh" "$build/wineprefix"

"$top/scripts/third_party.sh"
cmake -S "$top" -B "$build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64-x86_64.cmake" -C "$build/third-party.cmake" >/dev/null
cmake --build "$build/windows" --target KOMVAS komvas-dde ${mqtt:+komvas-mqtt}
cmake -S "$top" -B "$build/tools" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
      -DKOMVAS_SANITIZE=OFF >/dev/null
cmake --build "$build/tools" --target komvas-sim

wine_server_start
run=$build/run
mkdir -p "$run"
cat > "$run/KOMVAS.ini" <<'INI'
; Two simulated PLCs: one answering in ASCII frames (found out by AUTO mode), one in binary.
[PLC1]
IP=127.0.0.1
PORT=12289
MODE=AUTO

[LINE2]
IP=127.0.0.1
PORT=12290
MODE=BINARY
INI

pids=()
cleanup() {
  trap - INT TERM EXIT
  echo "== stopping"
  [ -n "${client:-}" ] && kill -INT "$client" 2>/dev/null && wait_for "$client"
  [ -n "${bridge:-}" ] && kill -INT "$bridge" 2>/dev/null && wait_for "$bridge"
  [ -n "${server:-}" ] && kill -INT "$server" 2>/dev/null && wait_for "$server"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  wine_server_stop
}
# Waits at most 10 s for a process of ours to end, then ends it.
wait_for() {
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done
  kill -KILL "$1" 2>/dev/null || true
}
trap cleanup INT TERM EXIT

# Lines of a program, with a tag, converted from the Japanese code page.
show() { while IFS= read -r line; do printf '%-8s %s\n' "$1" "$(printf '%s' "${line%$'\r'}" | iconv -f CP932 -t UTF-8 2>/dev/null || printf '%s' "$line")"; done; }

sim=$build/tools/bin/komvas-sim
"$sim" --port 12289 --form ascii --counter D1 --ramp D2:F,sine,20,-50,50 --toggle M1 \
       --set D100=0xFFFF --set D200:text=KOMVAS > >(show plc1) 2>&1 &
pids+=($!)
"$sim" --port 12290 --form binary --counter D10 --set D11:double=3.141592653589793 \
       --ramp W10001:long,saw,20,0,1000 > >(show line2) 2>&1 &
pids+=($!)

echo "== starting KOMVAS.exe in $run"
# Wine takes the ANSI code page from the locale: Japanese, as on the plant's PCs, so that the
# messages of the string table come out in CP932.
(cd "$run" && exec env LC_ALL=ja_JP.UTF-8 wine "$build/windows/bin/KOMVAS.exe") > >(show server) 2> >(show server) &
server=$!
sleep 3

echo "== advising through komvas-dde (topic PLC1, then LINE2)"
client_args=(--topic PLC1 advise D1,W D2,F M1,B D100,W D200,C6)
[ -n "$seconds" ] && client_args+=(--seconds "$seconds")
wine "$build/windows/bin/komvas-dde.exe" "${client_args[@]}" > >(show client) 2>&1 &
client=$!
wine "$build/windows/bin/komvas-dde.exe" --topic LINE2 advise D10,W D11,DOUBLE W10001,LONG \
     ${seconds:+--seconds "$seconds"} > >(show client2) 2>&1 &
pids+=($!)

if [ -n "$mqtt" ]; then
  echo "== the same values through a local MQTT broker (127.0.0.1:18830, topics komvas/#)"
  # The broker of this demonstration only, on loopback; as root it must be told to stay root.
  { [ "$(id -u)" = 0 ] && echo "user root"
    printf 'listener 18830 127.0.0.1\nallow_anonymous true\npersistence false\n'; } > "$run/mosquitto.conf"
  mosquitto -c "$run/mosquitto.conf" > >(show broker) 2>&1 &
  pids+=($!)
  printf '[MQTT]\r\nPORT=18830\r\n[ITEMS]\r\nPLC1!D1,W\r\nPLC1!D2,F\r\nPLC1!M1,B\r\nPLC1!D200,C6\r\nLINE2!W10001,LONG\r\n' \
    > "$run/komvas-mqtt.ini"
  (cd "$run" && exec wine "$build/windows/bin/komvas-mqtt.exe") > >(show bridge) 2>&1 &
  bridge=$!
  sleep 1
  mosquitto_sub -h 127.0.0.1 -p 18830 -t 'komvas/#' -v > >(show mqtt) 2>&1 &
  pids+=($!)
fi
wait "$client" || true
client=
