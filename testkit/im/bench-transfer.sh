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
fake=
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null || true
  [ -n "$fake" ] && python3 "$here/fake_im.py" stop --port-file "$build/stage/im-fake.port" >/dev/null 2>&1 || true
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

# --- Ours: two clients over their direct link, each a child process of the two-client test
# program with its own account and address; the receiver accepts the offer through its
# control and times it from the accept to the file in place.
cbytes= csecs=
# Both runs below use one fake IM server, started once and stopped on the way out.
start_fake() {
  [ -n "$fake" ] && return 0
  python3 "$here/fake_im.py" start --port-file "$build/stage/im-fake.port" --idle 900 >/dev/null 2>&1 ||
    { echo "the fake IM server did not start" >&2; exit 1; }
  fake=1
}
clients=$build/stage/chatdesk_twohost_transfer_tests.exe
if [ -f "$clients" ]; then
  start_fake
  (cd "$build/stage" && bash "$run" "$build" regsvr32 /s FileSendCtl.dll) >/dev/null 2>&1 || true
  CHATDESK_XFER_SOURCE=$(winpath "$work/source.bin") CHATDESK_XFER_TARGET=$(winpath "$work/client.out") \
  CHATDESK_BENCH_OUT=$(winpath "$work/client.result") GTEST_ALSO_RUN_DISABLED_TESTS=1 WINEDEBUG=-all \
    bash "$run" "$build" "$clients" --gtest_filter='TwoHostTransfers.DISABLED_Benchmark' >"$work/client.log" 2>&1 ||
    { tail -30 "$work/client.log" >&2; exit 1; }
  cmp -s "$work/source.bin" "$work/client.out" || { echo "client copy differs from the source" >&2; exit 1; }
  read -r _ cbytes csecs < <(tr -d '\r' <"$work/client.result")
  rm -f "$work/client.out"
fi

# --- Ours, one side: the chat window sends the file over its direct link to the test peer
# of the fake IM server (a native process), from the offer to the peer holding every byte.
pbytes= psecs=
tests=$build/stage/chatdesk_transfer_window_tests.exe
if [ -f "$tests" ]; then
  start_fake
  CHATDESK_BENCH_SOURCE=$(winpath "$work/source.bin") CHATDESK_BENCH_OUT=$(winpath "$work/peer.result") \
  GTEST_ALSO_RUN_DISABLED_TESTS=1 WINEDEBUG=-all \
    bash "$run" "$build" "$tests" --gtest_filter='ChatTransfer.DISABLED_Benchmark' >"$work/peer.log" 2>&1 ||
    { tail -30 "$work/peer.log" >&2; exit 1; }
  read -r _ pbytes psecs < <(tr -d '\r' <"$work/peer.result")
fi

python3 - "$size" "$rbytes" "$rsecs" "$cbytes" "$csecs" "$pbytes" "$psecs" <<'PY'
import sys
size, rb, rs = int(sys.argv[1]), int(sys.argv[2]), float(sys.argv[3])
r = rb / rs / 2**20
print("file: %d bytes" % size)
if sys.argv[4]:
    cb, cs = int(sys.argv[4]), float(sys.argv[5])
    c = cb / cs / 2**20
    print("clients, direct link: %d bytes in %.3f s = %.1f MB/s" % (cb, cs, c))
else:
    print("clients, direct link: not measured (chatdesk_twohost_transfer_tests not built)")
if len(sys.argv) > 7 and sys.argv[6]:
    pb, ps = int(sys.argv[6]), float(sys.argv[7])
    p = pb / ps / 2**20
    print("client to test peer:  %d bytes in %.3f s = %.1f MB/s (ratio to socket %.2f)" % (pb, ps, p, p / r))
print("plain socket copy:    %d bytes in %.3f s = %.1f MB/s" % (rb, rs, r))
print("ratio clients/socket: %s (goal >= 0.70)" % ("%.2f" % (c / r) if sys.argv[4] else "n/a"))
PY
