#!/usr/bin/env bash
# Builds both architectures and runs the main job under Wine: the demo host connects to the
# stand-in platform, logs in (presence through the fake server on 127.0.0.1), shows the
# account, services, contacts and the tab container, and saves a picture of its window as
# build/x86_64/demo/hostdemo.png before it logs off.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/testkit/setup.sh" || exit 1
build=$root/build/x86_64
demo=$build/demo
presence=$root/outside/hostdemo/demo_presence.py
port_file=$demo/presence.port
mkdir -p "$demo"
rm -f "$demo/hostdemo.bmp" "$demo/hostdemo.png"
# The demo account's contact file from an earlier run goes, so that the picture shows the
# contacts this run downloaded.
rm -rf "$build/stage/demo01"

cleanup() {
  python3 "$presence" stop --port-file "$port_file" >/dev/null 2>&1
  bash "$root/testkit/rig/rig.sh" stop "$build"
}
trap cleanup EXIT

python3 "$presence" start --port-file "$port_file" || { echo "demo: the presence server did not start" >&2; exit 1; }
url=$(python3 "$presence" url --port-file "$port_file") || exit 1
# The animated tab's movie plays in the movie control stand-in, registered in the rig's prefix.
(cd "$build/stage" && bash "$root/testkit/rig/wine-run.sh" "$build" regsvr32 /s MovieCtl.dll) ||
  echo "demo: the movie control stand-in is not registered; the animated tab stays empty" >&2

bash "$root/testkit/rig/wine-run.sh" "$build" "$build/stage/HostDemo.exe" /presence "$url" /shot "Z:$demo/hostdemo.bmp"
rc=$?
if [ $rc -ne 0 ]; then
  echo "demo: HostDemo.exe ended with $rc" >&2
  exit 1
fi
convert "$demo/hostdemo.bmp" "$demo/hostdemo.png" || { echo "demo: the picture could not be converted" >&2; exit 1; }
rm -f "$demo/hostdemo.bmp"
echo "demo: logged in and out; picture of the window: $demo/hostdemo.png"
