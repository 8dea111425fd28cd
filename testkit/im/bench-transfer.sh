#!/usr/bin/env bash
# File transfer benchmark (not a test): the same file copied between two processes under
# Wine, by two clients over their direct link (ours: from the receiver's accept to the file
# in place) and by a plain socket copy doing the same work on the bare platform (the
# reference: the file read in 4096-byte blocks, fifteen to a send, written in 4096-byte
# blocks and flushed), in rounds that take turns; the ratio is the reference's time over ours.
#   bash testkit/im/bench-transfer.sh <x86_64 build dir> [megabytes] [rounds]
# TRANSFER_BENCH_DIR (default: the build folder) is where the files go; both sides write
# there, so a memory folder (/dev/shm) takes a shared disk's write-back out of the figures.
# Prints a row per file size (a quarter, half and all of the megabytes), each the median
# of its rounds, and ends with the line "transfer bench: R of the socket copy (goal 0.9)".
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-transfer.sh <x86_64 build dir> [megabytes] [rounds]}" && pwd)
mb=${2:-100}
rounds=${3:-3}
goal=0.9
socket_exe=$build/stage/transfer_bench_socket.exe
clients=$build/stage/chatdesk_twohost_transfer_tests.exe
for exe in "$socket_exe" "$clients"; do
  [ -f "$exe" ] || { echo "build $(basename "$exe" .exe) first" >&2; exit 1; }
done
run=$here/../rig/wine-run.sh
work=$(mktemp -d "${TRANSFER_BENCH_DIR:-$build}/transfer-bench.XXXXXX")
receiver=
fake=
cleanup() {
  [ -n "$receiver" ] && kill "$receiver" 2>/dev/null || true
  [ -n "$fake" ] && python3 "$here/fake_im.py" stop --port-file "$build/stage/im-fake.port" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }

python3 "$here/fake_im.py" start --port-file "$build/stage/im-fake.port" --idle 900 >/dev/null 2>&1 ||
  { echo "the fake IM server did not start" >&2; exit 1; }
fake=1
(cd "$build/stage" && bash "$run" "$build" regsvr32 /s FileSendCtl.dll) >/dev/null 2>&1 || true

# Seconds of the reference for the file $1, into $seconds.
reference() {
  rm -f "$work/port" "$work/socket.out"
  bash "$run" "$build" "$socket_exe" receive "$(winpath "$work/port")" "$(winpath "$work/socket.out")" \
    >"$work/receive.log" &
  receiver=$!
  for _ in $(seq 1 300); do [ -s "$work/port" ] && break; sleep 0.1; done
  [ -s "$work/port" ] || { echo "the receiving process did not start" >&2; exit 1; }
  bash "$run" "$build" "$socket_exe" send "$(tr -d '\r\n' <"$work/port")" "$(winpath "$1")" >"$work/send.log"
  wait "$receiver"
  receiver=
  cmp -s "$1" "$work/socket.out" || { echo "the socket copy differs from the source" >&2; exit 1; }
  rm -f "$work/socket.out"
  seconds=$(tr -d '\r' <"$work/receive.log" | awk '/^RESULT/ { print $3 }')
  [ -n "$seconds" ] || { echo "the socket copy gave no time" >&2; exit 1; }
}

# Seconds of ours for the file $1, into $seconds: the two-client test program's benchmark, each client a
# child process with its own account and address, the receiver accepting through its control.
ours() {
  rm -f "$work/client.out" "$work/client.result"
  CHATDESK_XFER_SOURCE=$(winpath "$1") CHATDESK_XFER_TARGET=$(winpath "$work/client.out") \
  CHATDESK_BENCH_OUT=$(winpath "$work/client.result") GTEST_ALSO_RUN_DISABLED_TESTS=1 \
    bash "$run" "$build" "$clients" --gtest_filter='TwoHostTransfers.DISABLED_Benchmark' >"$work/client.log" 2>&1 ||
    { tail -30 "$work/client.log" >&2; exit 1; }
  cmp -s "$1" "$work/client.out" || { echo "the clients' copy differs from the source" >&2; exit 1; }
  rm -f "$work/client.out"
  seconds=$(tr -d '\r' <"$work/client.result" | awk '/^RESULT/ { print $3 }')
  [ -n "$seconds" ] || { echo "the clients gave no time" >&2; exit 1; }
}

echo "file transfer, ours (two clients, direct link) against a plain socket copy in 4 KiB blocks;"
echo "each row the median of $rounds rounds taking turns; ratio = socket time / our time (goal $goal)"
printf '%10s %14s %14s %8s\n' "MB" "ours MB/s" "socket MB/s" "ratio"
rows=
for size in $((mb / 4)) $((mb / 2)) "$mb"; do
  [ "$size" -gt 0 ] || continue
  head -c $((size * 1024 * 1024)) /dev/urandom >"$work/source.bin"
  times=
  for round in $(seq 1 "$rounds"); do
    # Each side goes first in turn.
    if [ $((round % 2)) -eq 1 ]; then
      reference "$work/source.bin"; r=$seconds
      ours "$work/source.bin"; o=$seconds
    else
      ours "$work/source.bin"; o=$seconds
      reference "$work/source.bin"; r=$seconds
    fi
    times="$times $o:$r"
  done
  row=$(python3 - "$size" $times <<'PY'
import statistics, sys
size = int(sys.argv[1])
pairs = [tuple(float(v) for v in p.split(":")) for p in sys.argv[2:]]
ours = statistics.median(size / o for o, r in pairs)
ref = statistics.median(size / r for o, r in pairs)
ratio = statistics.median(r / o for o, r in pairs)
print("%10d %14.1f %14.1f %8.2f" % (size, ours, ref, ratio))
PY
)
  echo "$row"
  rows=$row
done
ratio=$(echo "$rows" | awk '{ print $4 }')
verdict=$(python3 -c "print('met' if $ratio >= $goal else 'missed')")
echo "goal $goal at $mb MB: $verdict"
echo "transfer bench: $ratio of the socket copy (goal $goal)"
