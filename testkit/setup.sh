#!/usr/bin/env bash
# Installs what the build needs (when missing) and builds both architectures:
#   build/i686    what ships
#   build/x86_64  what runs the tests here, under wine64
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)

missing=()
while read -r pkg; do
  case $pkg in ''|'#'*) continue ;; esac
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done <"$root/testkit/packages.txt"
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Wine maps Unix file names through the locale: without zh_CN.UTF-8 it can't make
# files with Chinese names.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

for arch in i686 x86_64; do
  extra=()
  [ "$arch" = x86_64 ] && extra=(-DVANTOR_I686_BUILD_DIR="$root/build/i686")
  cmake -S "$root" -B "$root/build/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake" "${extra[@]}" >/dev/null
  cmake --build "$root/build/$arch"
done

# The IM protocol core built for this machine: unit tests under the address and
# undefined-behaviour sanitizers, and its fuzz targets (run by the x86_64 tests).
cmake -S "$root/chatdesk/proto/native" -B "$root/build/native" -G Ninja >/dev/null
cmake --build "$root/build/native"
