#!/usr/bin/env bash
# Builds both architectures and runs every test (x86_64 under Wine, export tables of both).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/testkit/setup.sh" || exit 1
build=$root/build/x86_64
trap 'bash "$root/testkit/rig/rig.sh" stop "$build"' EXIT
cd "$build" && ctest --output-on-failure -j "$(nproc)" "$@"
