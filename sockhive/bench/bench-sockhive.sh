#!/usr/bin/env bash
# Socket node benchmark (not a test): runs sockhive_bench.exe from the staged program
# folder with the connections it holds opened by a peer, the same program started in a
# second Wine prefix. Under Wine every socket is a descriptor of its process and one of
# the Wine server of its prefix; with both ends of each connection in one prefix, the
# 20,000 descriptors this machine allows a process stop it short of 10,000 connections.
# The peer's prefix is made once, under <build>/peer, and its Wine server is stopped at
# the end. The last line: "sockhive bench: R of the bare completion-port echo, N
# connections held (goal 0.9, 10000)".
#   bash sockhive/bench/bench-sockhive.sh <x86_64 build dir> [messages] [connections]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
rig=$here/../../testkit/rig
build=$(cd "${1:?usage: bench-sockhive.sh <x86_64 build dir> [messages] [connections]}" && pwd)
messages=${2:-4000}
connections=${3:-10000}
exe=$build/stage/sockhive_bench.exe
[ -f "$exe" ] || { echo "build the sockhive_bench target first" >&2; exit 1; }

peer=$build/peer
mkdir -p "$peer"
ports=$peer/ports.txt
rm -f "$ports" "$ports.part"
bash "$rig/rig.sh" start "$build"
peer_env() {
  eval "$(bash "$rig/rig.sh" env "$build")"
  export WINEPREFIX=$peer/wineprefix
}
if [ ! -f "$peer/wineprefix/.vantor-ready" ]; then
  echo "bench-sockhive: creating the peer's Wine prefix in $peer/wineprefix (once)" >&2
  (peer_env && /usr/lib/wine/wine64 wineboot --init >"$peer/wineboot.log" 2>&1 && /usr/lib/wine/wineserver -w)
  touch "$peer/wineprefix/.vantor-ready"
fi

node=
client=
cleanup() {
  [ -n "$client" ] && kill "$client" 2>/dev/null
  [ -n "$node" ] && kill "$node" 2>/dev/null
  (peer_env && /usr/lib/wine/wineserver -k >/dev/null 2>&1) || true
  rm -f "$ports" "$ports.part"
}
trap cleanup EXIT INT TERM

cd "$build/stage"
winports="Z:$(echo "$ports" | tr / '\\')"
bash "$rig/wine-run.sh" "$build" "$exe" "$messages" "$connections" /peer "$winports" | tr -d '\r' &
node=$!
# The node's side writes its ports once the echo rounds are over.
while [ ! -f "$ports" ] && kill -0 "$node" 2>/dev/null; do sleep 1; done
if [ -f "$ports" ]; then
  read -r node_port control_port <"$ports"
  (peer_env && exec /usr/lib/wine/wine64 "$exe" /hold "$node_port" "$control_port" >"$peer/peer.log" 2>&1) &
  client=$!
fi
status=0
wait "$node" || status=$?
node=
if [ -n "$client" ]; then
  wait "$client" || true
  client=
  tr -d '\r' <"$peer/peer.log"
fi
exit $status
