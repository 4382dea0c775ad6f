#!/usr/bin/env bash
# Network script tests, on 127.0.0.1 only (servers of the engine listen on
# loopback through MORVANE_NET_LOOPBACK). Every engine runs with --timeout; the
# game folders are copied to WORK with the built-ins header and the shared
# checks beside the scripts.
#   run_net.sh peer ENGINE NET_PEER SRC WORK   the engine as client of the echo peer
#   run_net.sh pair ENGINE SRC WORK            a server engine and a client engine
set -u
mode=$1 engine=$2
pass='^[0-9]+ passed, 0 failed$'
header="$(dirname "$0")/../../../games/demo/tob.h"
checks="$(dirname "$0")/../check.h"
export MORVANE_NET_LOOPBACK=1

check() {  # NAME STATUS OUTPUT
  if [[ "$2" != 0 ]] || ! grep -Eq -- "$pass" <<<"$3"; then
    echo "--- $1 failed (status $2) ---"
    echo "$3"
    return 1
  fi
  echo "ok: $1"
}

if [[ "$mode" == peer ]]; then
  peer=$3 src=$4 work=$5
  rm -rf "$work" && mkdir -p "$work" && cp -r "$src/client" "$work/" && cp "$header" "$checks" "$work/client/"
  "$peer" "$work/client/port.txt" &
  peer_pid=$!
  for _ in $(seq 100); do [[ -s "$work/client/port.txt" ]] && break; sleep 0.05; done
  out=$("$engine" --headless --timeout 20 "$work/client" 2>&1)
  status=$?
  kill "$peer_pid" 2>/dev/null
  wait "$peer_pid" 2>/dev/null
  check client "$status" "$out"
  exit
fi

src=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cp -r "$src/server" "$src/caller" "$work/"
cp "$header" "$checks" "$work/server/" && cp "$header" "$checks" "$work/caller/"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
echo "$port" >"$work/server/port.txt"
echo "$port" >"$work/caller/port.txt"
"$engine" --headless --timeout 30 "$work/server" >"$work/server.out" 2>&1 &
server_pid=$!
caller_out=$("$engine" --headless --timeout 30 "$work/caller" 2>&1)
caller_status=$?
wait "$server_pid"
server_status=$?
check caller "$caller_status" "$caller_out" && check server "$server_status" "$(cat "$work/server.out")"
