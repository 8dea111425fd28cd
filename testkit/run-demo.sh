#!/usr/bin/env bash
# Builds both architectures and runs the main job under Wine: nginx serves the platform's
# pages on 127.0.0.1:8600 (the address config/commprof.cfg names), the demo host connects
# to the stand-in platform, logs in (presence through the fake server on 127.0.0.1), shows
# the account, services, contacts and the tab container, and saves a picture of its window
# as build/x86_64/demo/hostdemo.png; then it opens the self-service pane, saves its picture
# as build/x86_64/demo/hostdemo-selfservice.png, closes it and logs off.
# Then two hosts chat through the fake IM server: each runs from a program folder of its own
# (the stage's programs and settings, with its own "config\psimprof.cfg": the fake
# gatekeeper and its own address on 127.0.0.x), logs in as its own demo account, opens a
# chat with the other, sends a Chinese text and waits for the other's; the pictures of the
# two chat windows are build/x86_64/demo/chat-demo01.png and chat-demo02.png.
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/testkit/setup.sh" || exit 1
build=$root/build/x86_64
demo=$build/demo
presence=$root/outside/hostdemo/demo_presence.py
port_file=$demo/presence.port
mkdir -p "$demo"
rm -f "$demo"/hostdemo.* "$demo"/hostdemo-*.* "$demo"/chat-*.bmp "$demo"/chat-*.png
# The demo account's contact file from an earlier run goes, so that the picture shows the
# contacts this run downloaded.
rm -rf "$build/stage/demo01"

im=$root/testkit/im/fake_im.py
im_ports=$demo/im.port
hosts=()
pages=$root/outside/hostdemo/demo_pages.sh

cleanup() {
  local pid
  for pid in "${hosts[@]}"; do kill "$pid" 2>/dev/null; done
  bash "$pages" stop "$demo/pages"
  python3 "$im" stop --port-file "$im_ports" >/dev/null 2>&1
  python3 "$presence" stop --port-file "$port_file" >/dev/null 2>&1
  bash "$root/testkit/rig/rig.sh" stop "$build"
}
trap cleanup EXIT

bash "$pages" start "$demo/pages" || { echo "demo: the platform's pages are not served" >&2; exit 1; }
python3 "$presence" start --port-file "$port_file" || { echo "demo: the presence server did not start" >&2; exit 1; }
url=$(python3 "$presence" url --port-file "$port_file") || exit 1
# The animated tab's movie plays in the movie control stand-in, registered in the rig's prefix.
(cd "$build/stage" && bash "$root/testkit/rig/wine-run.sh" "$build" regsvr32 /s MovieCtl.dll) ||
  echo "demo: the movie control stand-in is not registered; the animated tab stays empty" >&2

bash "$root/testkit/rig/wine-run.sh" "$build" "$build/stage/HostDemo.exe" /presence "$url" /shot "Z:$demo/hostdemo.bmp" \
  /pane -14 "Z:$demo/hostdemo-selfservice.bmp"
rc=$?
if [ $rc -ne 0 ]; then
  echo "demo: HostDemo.exe ended with $rc" >&2
  exit 1
fi
for picture in hostdemo hostdemo-selfservice; do
  convert "$demo/$picture.bmp" "$demo/$picture.png" || { echo "demo: the picture could not be converted" >&2; exit 1; }
  rm -f "$demo/$picture.bmp"
done
echo "demo: logged in and out; pictures of the window and the self-service pane: $demo/hostdemo.png," \
  "$demo/hostdemo-selfservice.png"

# --- Two hosts chatting

# A program folder of one host: the stage's programs (linked, not copied) and its settings.
make_folder() { # <folder> <address>
  local folder=$1 address=$2
  rm -rf "$folder"
  mkdir -p "$folder" || return 1
  find "$build/stage" -maxdepth 1 -type f \( -name '*.dll' -o -name HostDemo.exe \) \
    -exec cp -l {} "$folder/" \; || return 1
  local dir
  for dir in Container Skins config resource; do
    cp -r "$build/stage/$dir" "$folder/" || return 1
  done
  printf '[IMConfig]\r\nIMGk=%s\r\nLocalTcpAddress=%s\r\n' "$gatekeeper" "$address" >"$folder/config/psimprof.cfg"
}

im_control() { # <route>
  python3 - "$im_http" "$1" <<'PY'
import sys, urllib.request
opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
opener.open(urllib.request.Request("http://127.0.0.1:%s/_ctl/%s" % (sys.argv[1], sys.argv[2]), data=b""), timeout=10).read()
PY
}

python3 "$im" start --port-file "$im_ports" --idle 3000 || { echo "demo: the fake IM server did not start" >&2; exit 1; }
im_http=$(sed -n 1p "$im_ports")
gatekeeper="http://127.0.0.1:$im_http/gk/GKServer.do"
# The hosts start together: a text that reaches the server before its receiver has logged
# in waits for that login.
im_control "hold_absent?seconds=60" || { echo "demo: the fake IM server cannot be set" >&2; exit 1; }
python3 "$presence" program --chat --port-file "$port_file" || { echo "demo: the presence book cannot be set" >&2; exit 1; }

mapfile -t accounts < <(python3 "$presence" accounts)
[ ${#accounts[@]} -eq 2 ] || { echo "demo: two chat accounts expected" >&2; exit 1; }
read -r first first_address <<<"${accounts[0]}"
read -r second second_address <<<"${accounts[1]}"
declare -A text=([$first]="你好，我是$first。今天天气不错！" [$second]="你好！我是$second，很高兴和你聊天。")
declare -A peer=([$first]=$second [$second]=$first)
declare -A address=([$first]=$first_address [$second]=$second_address)
declare -A place=([$first]="0,0" [$second]="640,0")

for account in "$first" "$second"; do
  make_folder "$demo/host-$account" "${address[$account]}" ||
    { echo "demo: the program folder of $account cannot be made" >&2; exit 1; }
done
declare -A pid_of
for account in "$first" "$second"; do
  bash "$root/testkit/rig/wine-run.sh" "$build" "$demo/host-$account/HostDemo.exe" /presence "$url" /account "$account" \
    /chat "${peer[$account]}" "${text[$account]}" /at "${place[$account]}" /shot "Z:$demo/chat-$account.bmp" \
    >"$demo/host-$account.log" 2>&1 &
  pid_of[$account]=$!
  hosts+=($!)
done
failed=0
for account in "$first" "$second"; do
  wait "${pid_of[$account]}"
  rc=$?
  if [ $rc -ne 0 ]; then
    echo "demo: HostDemo.exe of $account ended with $rc (log: $demo/host-$account.log)" >&2
    failed=1
  fi
done
hosts=()
[ $failed -eq 0 ] || exit 1
for account in "$first" "$second"; do
  convert "$demo/chat-$account.bmp" "$demo/chat-$account.png" ||
    { echo "demo: the chat picture of $account could not be converted" >&2; exit 1; }
  rm -f "$demo/chat-$account.bmp"
done
echo "demo: $first and $second chatted; pictures of their chat windows: $demo/chat-$first.png, $demo/chat-$second.png"
