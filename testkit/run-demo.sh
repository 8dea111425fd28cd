#!/usr/bin/env bash
# Builds both architectures and runs the main job under Wine.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/testkit/setup.sh" || exit 1
build=$root/build/x86_64
trap 'bash "$root/testkit/rig/rig.sh" stop "$build"' EXIT
bash "$root/testkit/rig/wine-run.sh" "$build" "$build/stage/rig_tests.exe"
