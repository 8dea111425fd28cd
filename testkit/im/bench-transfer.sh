#!/usr/bin/env bash
# File transfer benchmark (not a test): the same file copied between two processes under
# Wine, by two clients over their direct link and by a plain socket copy (4096-byte reads,
# one send each), with both throughputs and their ratio.
#   bash testkit/im/bench-transfer.sh <x86_64 build dir> [megabytes]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-transfer.sh <x86_64 build dir> [megabytes]}" && pwd)
mb=${2:-200}
exe=$build/stage/transfer_bench_socket.exe
[ -f "$exe" ] || { echo "build the transfer_bench_socket target first" >&2; exit 1; }
run=$here/../rig/wine-run.sh
work=$(mktemp -d "$build/transfer-bench.XXXXXX")
receiver=
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

head -c $((mb * 1024 * 1024)) /dev/urandom >"$work/source.bin"
size=$(stat -c %s "$work/source.bin")

# --- Reference: plain socket copy between two processes.
bash "$run" "$build" "$exe" receive "$(winpath "$work/port")" "$(winpath "$work/socket.out")" >"$work/receive.log" &
receiver=$!
for _ in $(seq 1 300); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || { echo "the receiving process did not start" >&2; exit 1; }
port=$(tr -d '\r\n' <"$work/port")
bash "$run" "$build" "$exe" send "$port" "$(winpath "$work/source.bin")" >"$work/send.log"
wait "$receiver"
receiver=
cmp -s "$work/source.bin" "$work/socket.out" || { echo "socket copy differs from the source" >&2; exit 1; }
read -r _ rbytes rsecs < <(tr -d '\r' <"$work/receive.log" | grep '^RESULT')
rm -f "$work/socket.out"

# --- Ours: two clients over their direct link. Slot for the chat window's two-client host:
# it must print "RESULT <bytes> <seconds>" for one offer of $work/source.bin, accepted and
# received completely, and leave the received file for the comparison below.
cbytes= csecs=
client_host=$build/stage/transfer_bench_clients.exe
if [ -f "$client_host" ]; then
  line=$(bash "$run" "$build" "$client_host" "$(winpath "$work/source.bin")" "$(winpath "$work/client.out")" |
         tr -d '\r' | grep '^RESULT') || { echo "client-to-client transfer failed" >&2; exit 1; }
  read -r _ cbytes csecs <<<"$line"
  cmp -s "$work/source.bin" "$work/client.out" || { echo "client copy differs from the source" >&2; exit 1; }
fi

python3 - "$size" "$rbytes" "$rsecs" "$cbytes" "$csecs" <<'PY'
import sys
size, rb, rs = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
r = rb / rs / 2**20
print("file: %d bytes" % size)
if sys.argv[4]:
    cb, cs = int(sys.argv[4]), float(sys.argv[5])
    c = cb / cs / 2**20
    print("clients, direct link: %d bytes in %.3f s = %.1f MB/s" % (cb, cs, c))
else:
    print("clients, direct link: not measured (no two-client host built yet)")
print("plain socket copy:    %d bytes in %.3f s = %.1f MB/s" % (rb, rs, r))
print("ratio clients/socket: %s (goal >= 0.70)" % ("%.2f" % (c / r) if sys.argv[4] else "n/a"))
PY
