#!/usr/bin/env bash
# Runs the GIF reader's fuzz target for a while, from the sample pictures as seeds.
#   run_fuzz.sh <native build folder> <seconds> <seed folder> <work folder>
# Fails when the fuzzer finds a crash, a leak or a sanitizer report; the input it found
# is left in the work folder.
set -eu
native=$(cd "$1" && pwd) seconds=$2 seeds=$3
mkdir -p "$4"
work=$(cd "$4" && pwd)
fuzzer=$native/fuzz/fuzz_gif
[ -x "$fuzzer" ] || { echo "missing $fuzzer: run testkit/setup.sh" >&2; exit 1; }
rm -rf "$work/corpus"
mkdir -p "$work/corpus"
cp "$seeds"/*.gif "$work/corpus/" 2>/dev/null || true
cd "$work"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus"
