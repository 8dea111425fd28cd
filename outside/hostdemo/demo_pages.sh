#!/usr/bin/env bash
# The platform's pages of the main job (outside/hostdemo/pages: self-service, after-sale,
# sign-up, notices) served by nginx on 127.0.0.1:8600, the address config/commprof.cfg
# names, with the tests' nginx configuration (testkit/web/nginx.conf.in).
#
#   demo_pages.sh start <state dir>   start nginx (its files and logs in the folder); waits until it answers
#   demo_pages.sh stop <state dir>    stop it
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cmd=${1:?usage: demo_pages.sh start|stop <state dir>}
state=${2:?usage: demo_pages.sh start|stop <state dir>}
mkdir -p "$state/nginx-tmp" || exit 1
state=$(cd "$state" && pwd)

case $cmd in
start)
  python3 - "$root/testkit/web/nginx.conf.in" "$here/pages" "$state" >"$state/nginx.conf" <<'PY' || exit 1
import os, string, sys
template = string.Template(open(sys.argv[1], encoding="utf-8").read())
user = "user root root;" if os.geteuid() == 0 else ""
print(template.substitute(port=8600, root=sys.argv[2], state=sys.argv[3], user_line=user))
PY
  setsid nginx -p "$state" -c "$state/nginx.conf" >"$state/nginx.out" 2>&1 </dev/null &
  for _ in $(seq 50); do
    if [ -f "$state/nginx.pid" ] &&
      python3 -c 'import socket; socket.create_connection(("127.0.0.1", 8600), 0.2).close()' 2>/dev/null; then
      exit 0
    fi
    sleep 0.1
  done
  echo "demo_pages: nginx does not answer on 127.0.0.1:8600 (see $state/nginx.out)" >&2
  exit 1
  ;;
stop)
  [ -f "$state/nginx.pid" ] && kill "$(cat "$state/nginx.pid")" 2>/dev/null
  rm -f "$state/nginx.pid"
  exit 0
  ;;
*)
  echo "usage: demo_pages.sh start|stop <state dir>" >&2
  exit 2
  ;;
esac
