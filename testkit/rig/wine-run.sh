#!/usr/bin/env bash
# Runs one Windows program of a build under wine64: wine-run.sh <build dir> <prog.exe> [args]
# Used by CTest as the cross-compiling emulator; starts the rig if it is not up yet.
#
# Wine starts helper processes (the desktop, services) on demand, and they inherit the
# program's output. Writing the output to a file instead of CTest's pipe keeps CTest from
# waiting on those helpers after the program itself has ended.
#
# The file is copied to this script's own output as it grows, not only at the end: CTest
# kills a test that runs past its time limit with SIGKILL, to the whole process group, so
# nothing runs after the kill, and what the program wrote up to then is already in the log.
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: wine-run.sh <build dir> <program> [args]}
shift
bash "$here/rig.sh" start "$build" || exit 1
eval "$(bash "$here/rig.sh" env "$build")"
unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY ftp_proxy all_proxy ALL_PROXY

# The file is opened for writing and for reading before the program starts and its name
# goes at once: each read takes what was written since the last one, and a killed run
# leaves no file behind.
out=$(mktemp "$build/rig/run.XXXXXX")
exec 4>"$out" 3<"$out"
rm -f "$out"
/usr/lib/wine/wine64 "$@" >&4 2>&4 </dev/null 3<&- 4>&- &
child=$!
exec 4>&-
show_new() { cat <&3; }
on_signal() {
  kill -9 "$child" 2>/dev/null
  show_new
  echo "wine-run: stopped by a signal"
  exit 124
}
trap on_signal TERM INT HUP
rc=
while [ -z "$rc" ]; do
  sleep 0.5 &
  tick=$!
  ended=
  wait -n -p ended "$child" "$tick"
  status=$?
  if [ "$ended" = "$child" ]; then
    rc=$status
    kill "$tick" 2>/dev/null
  fi
  show_new
done
exit $rc
