#!/usr/bin/env bash
# Chat benchmark (not a test): 1,000 texts, each sent after the last one's receipt, from the
# send command to the sender's debugger line of the '0' receipt; relayed through the fake IM
# server and over the direct link to a test peer, beside the same bytes (a 195-byte text, a
# 147-byte receipt) exchanged over a plain socket pair in the same run. Median and 99th
# percentile in milliseconds.
#   bash testkit/im/bench-chat.sh <x86_64 build dir>
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-chat.sh <x86_64 build dir>}" && pwd)
exe=$build/stage/chatdesk_window_tests.exe
[ -f "$exe" ] || { echo "build the chatdesk_window_tests target first" >&2; exit 1; }
ports=$build/stage/im-fake.port
started=
if ! python3 "$here/fake_im.py" start --port-file "$ports" --idle 900 >/dev/null 2>&1; then
  echo "the fake IM server did not start" >&2; exit 1
fi
started=1
out=$(mktemp "$build/chat-bench.XXXXXX")
cleanup() {
  rm -f "$out"
  [ -n "$started" ] && python3 "$here/fake_im.py" stop --port-file "$ports" >/dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM
rm -f "$out"
export CHATDESK_BENCH_OUT="Z:$(echo "$out" | tr / '\\')"
export GTEST_ALSO_RUN_DISABLED_TESTS=1
WINEDEBUG=-all bash "$here/../rig/wine-run.sh" "$build" "$exe" --gtest_filter='ChatTexts.DISABLED_Benchmark' \
  >"$out.log" 2>&1 || { tail -40 "$out.log" >&2; rm -f "$out.log"; exit 1; }
rm -f "$out.log"
[ -s "$out" ] || { echo "the benchmark wrote no figures" >&2; exit 1; }
tr -d '\r' <"$out"
