#!/usr/bin/env bash
# Download benchmark (not a test): a file of [megabytes] MB (200 unless given) from a
# loopback nginx, through CNetHttp and through the bare read loop of the same engine,
# both engines, [rounds] rounds each (3 unless given), side by side in one run. The last
# line: "download bench: engine 1 R1 of the bare loop, engine 2 R2 of the bare loop".
#   bash testkit/web/bench-download.sh <x86_64 build dir> [megabytes] [rounds]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-download.sh <x86_64 build dir> [megabytes] [rounds]}" && pwd)
mb=${2:-200}
rounds=${3:-3}
state=$build/webtest-bench
exe=$build/stage/fetch_bench.exe
[ -f "$exe" ] || { echo "build the fetch_bench target first" >&2; exit 1; }

cleanup() { python3 "$here/webservers.py" stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT INT TERM
python3 "$here/webservers.py" bigfile "$state" "$mb" >/dev/null
python3 "$here/webservers.py" start "$state" --lifetime 1800 >/dev/null
port=$(sed -n 's/^nginx=\([0-9]*\).*/\1/p' "$state/servers.ini")
winpath="Z:$(echo "$state/bench.out" | tr / '\\')"
bash "$here/../rig/wine-run.sh" "$build" "$exe" "$port" "/bench${mb}m.bin" "$winpath" "$rounds" | tr -d '\r'
