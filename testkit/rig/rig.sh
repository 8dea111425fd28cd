#!/usr/bin/env bash
# The Wine rig of one build folder: a WINEPREFIX, an Xvfb display and a persistent
# wineserver, shared by every test process of a run.
#
#   rig.sh start <build dir>   create the prefix once, start Xvfb and wineserver (idempotent)
#   rig.sh stop  <build dir>   stop both and any Windows process left behind
#   rig.sh env   <build dir>   print the environment a Wine process of this rig needs
set -u
cmd=${1:?usage: rig.sh start|stop|env <build dir>}
build=$(cd "${2:?usage: rig.sh start|stop|env <build dir>}" && pwd)
state=$build/rig
mkdir -p "$state"

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

rig_env() {
  unset http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY ftp_proxy all_proxy ALL_PROXY
  export WINEPREFIX=$build/wineprefix
  export WINEARCH=win64
  export WINEDEBUG=${VANTOR_WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml=d"
  { export LC_ALL=zh_CN.UTF-8; } 2>/dev/null
  if [ -f "$state/display" ]; then
    export DISPLAY=$(cat "$state/display")
  fi
}

alive() { [ -f "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null; }

start_xvfb() {
  alive "$state/xvfb.pid" && return 0
  local n
  for n in $(seq 90 160); do
    if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then
      setsid Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 9>&- &
      echo $! >"$state/xvfb.pid"
      echo ":$n" >"$state/display"
      local i
      for i in $(seq 1 50); do
        [ -e /tmp/.X11-unix/X$n ] && return 0
        alive "$state/xvfb.pid" || break
        sleep 0.1
      done
      rm -f "$state/xvfb.pid" "$state/display"
    fi
  done
  echo "rig: no X display could be started" >&2
  return 1
}

start_wine() {
  rig_env
  if [ ! -f "$WINEPREFIX/.vantor-ready" ]; then
    echo "rig: creating the Wine prefix in $WINEPREFIX (once)" >&2
    "$WINE64" wineboot --init >"$state/wineboot.log" 2>&1 9>&-
    "$WINESERVER" -w 9>&-
    touch "$WINEPREFIX/.vantor-ready"
  fi
  alive "$state/wineserver.pid" && return 0
  # No Windows process runs without the server, so no test still uses the private program
  # folders the last run left: they go, or every run would add gigabytes.
  rm -rf "$build/stage/scratch"
  setsid "$WINESERVER" -p -f </dev/null >"$state/wineserver.log" 2>&1 9>&- &
  echo $! >"$state/wineserver.pid"
  sleep 0.3
  draw_frames
}

# No window manager runs on the Xvfb display: Wine draws the captions and frames of
# top-level windows itself, as Windows does, instead of leaving them to one. Their
# buttons are glyphs of the Marlett font (package fonts-wine), which Wine reads from the
# prefix's font folder.
draw_frames() {
  [ -f "$WINEPREFIX/.vantor-frames" ] && return 0
  local marlett=/usr/share/wine/fonts/marlett.ttf
  [ -f "$marlett" ] && cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
  "$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >>"$state/wineboot.log" 2>&1 9>&- &&
    touch "$WINEPREFIX/.vantor-frames"
}

stop_all() {
  rig_env
  "$WINESERVER" -k >/dev/null 2>&1
  local f
  for f in wineserver xvfb; do
    if alive "$state/$f.pid"; then
      kill "$(cat "$state/$f.pid")" 2>/dev/null
      local i
      for i in $(seq 1 30); do alive "$state/$f.pid" || break; sleep 0.1; done
      alive "$state/$f.pid" && kill -9 "$(cat "$state/$f.pid")" 2>/dev/null
    fi
    rm -f "$state/$f.pid"
  done
  rm -f "$state/display"
}

case $cmd in
  start)
    exec 9>"$state/lock"
    flock 9
    start_xvfb && start_wine
    ;;
  stop)
    exec 9>"$state/lock"
    flock 9
    stop_all
    ;;
  env)
    rig_env
    for v in WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES LC_ALL DISPLAY; do
      [ -n "${!v:-}" ] && printf 'export %s=%q\n' "$v" "${!v}"
    done
    true
    ;;
  *)
    echo "usage: rig.sh start|stop|env <build dir>" >&2
    exit 2
    ;;
esac
