#!/usr/bin/env bash
# Runs one Windows program of a build under wine64: wine-run.sh <build dir> <prog.exe> [args]
# Used by CTest as the cross-compiling emulator; starts the rig if it is not up yet.
#
# Wine starts helper processes (the desktop, services) on demand, and they inherit the
# program's output. Writing the output to a file instead of CTest's pipe keeps CTest from
# waiting on those helpers after the program itself has ended.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: wine-run.sh <build dir> <program> [args]}
shift
bash "$here/rig.sh" start "$build" || exit 1
eval "$(bash "$here/rig.sh" env "$build")"
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY ftp_proxy all_proxy ALL_PROXY

out=$(mktemp "$build/rig/run.XXXXXX")
child=
finish() {
  cat "$out"
  rm -f "$out"
}
on_signal() {
  [ -n "$child" ] && kill -9 "$child" 2>/dev/null
  echo "wine-run: stopped by a signal" >>"$out"
  finish
  exit 124
}
trap on_signal TERM INT HUP
/usr/lib/wine/wine64 "$@" >"$out" 2>&1 </dev/null &
child=$!
wait "$child"
rc=$?
finish
exit $rc
