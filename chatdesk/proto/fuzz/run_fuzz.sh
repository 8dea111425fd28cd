#!/usr/bin/env bash
# Runs one fuzz target of the protocol core for a while, from seeds made by the builders.
#   run_fuzz.sh <native build folder> <target> <seconds> <work folder>
# Fails when the fuzzer finds a crash, a leak or a sanitizer report; the input it found
# is left in the work folder.
set -eu
native=$(cd "$1" && pwd) target=$2 seconds=$3
mkdir -p "$4"
work=$(cd "$4" && pwd)/$2
fuzzer=$native/fuzz/fuzz_$target
seeds=$native/chatdesk_fuzz_seeds
for tool in "$fuzzer" "$seeds"; do
  [ -x "$tool" ] || { echo "missing $tool: run testkit/setup.sh" >&2; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/corpus"
"$seeds" "$target" "$work/corpus"
cd "$work"
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 \
  -artifact_prefix="$work/" "$work/corpus"
