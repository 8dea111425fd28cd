#!/usr/bin/env bash
# Download benchmark (not a test): a 200 MB file from a loopback nginx, once through
# CNetHttp under Wine and once through curl, with both throughputs and their ratio.
#   bash testkit/web/bench-download.sh <x86_64 build dir> [megabytes] [engine 1|2]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-download.sh <x86_64 build dir> [megabytes] [engine]}" && pwd)
mb=${2:-200}
engine=${3:-1}
state=$build/webtest-bench
exe=$build/stage/fetch_bench.exe
[ -f "$exe" ] || { echo "build the fetch_bench target first" >&2; exit 1; }

cleanup() { python3 "$here/webservers.py" stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT INT TERM
python3 "$here/webservers.py" bigfile "$state" "$mb" >/dev/null
python3 "$here/webservers.py" start "$state" --lifetime 900 >/dev/null
port=$(sed -n 's/^nginx=\([0-9]*\).*/\1/p' "$state/servers.ini")
url=http://127.0.0.1:$port/bench${mb}m.bin
winpath="Z:$(echo "$state/bench.out" | tr / '\\')"

line=$(bash "$here/../rig/wine-run.sh" "$build" "$exe" "$url" "$winpath" "$engine" | tr -d '\r' | grep '^RESULT') ||
  { echo "CNetHttp download failed" >&2; exit 1; }
read -r _ wbytes wsecs <<<"$line"
read -r csecs cbytes < <(curl -s -o "$state/curl.out" -w '%{time_total} %{size_download}\n' "$url")
rm -f "$state/curl.out"
python3 - "$wbytes" "$wsecs" "$cbytes" "$csecs" <<'PY'
import sys
wb, ws, cb, cs = int(sys.argv[1]), float(sys.argv[2]), int(float(sys.argv[3])), float(sys.argv[4])
w, c = wb / ws / 2**20, cb / cs / 2**20
print("CNetHttp: %d bytes in %.3f s = %.1f MB/s" % (wb, ws, w))
print("curl:     %d bytes in %.3f s = %.1f MB/s" % (cb, cs, c))
print("ratio CNetHttp/curl: %.2f" % (w / c))
PY
