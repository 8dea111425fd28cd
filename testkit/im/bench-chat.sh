#!/usr/bin/env bash
# Chat benchmark (not a test): starts the fake IM server and runs chatdesk_bench.exe from
# the staged program folder. It sends 1,000 texts relayed through the fake IM server and
# 1,000 over a direct link to test peers, each after the last one's receipt and a short
# pause, beside the same-work reference (the same RichEdit work and the same bytes over a
# plain socket pair), the three in turn in rounds of 50; medians and 99th percentiles in
# milliseconds, the parts of the user-interface thread's work, the round trip with
# histories of 4,000, 5,000 and 10,000 texts present beside the reference, and last
#   chat bench: direct D, relayed E of the same-work reference
#   bash testkit/im/bench-chat.sh <x86_64 build dir>
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-chat.sh <x86_64 build dir>}" && pwd)
exe=$build/stage/chatdesk_bench.exe
[ -f "$exe" ] || { echo "build the chatdesk_bench target first" >&2; exit 1; }
ports=$build/stage/im-fake.port
started=
if ! python3 "$here/fake_im.py" start --port-file "$ports" --idle 900 >/dev/null 2>&1; then
  echo "the fake IM server did not start" >&2; exit 1
fi
started=1
cleanup() {
  [ -n "$started" ] && python3 "$here/fake_im.py" stop --port-file "$ports" >/dev/null 2>&1 || true
}
trap cleanup EXIT INT TERM
cd "$build/stage"
WINEDEBUG=-all bash "$here/../rig/wine-run.sh" "$build" "$exe" | tr -d '\r'
