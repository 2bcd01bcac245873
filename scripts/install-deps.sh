#!/usr/bin/env bash
# Installs the Debian packages the viewer needs and are not there yet.
#   scripts/install-deps.sh run        building and running (also headless)
#   scripts/install-deps.sh libraries  building, and building the Windows and web libraries
#   scripts/install-deps.sh test       everything the tests, fuzzers, benchmarks and the Windows and web builds use
set -euo pipefail

build=(build-essential cmake pkg-config libsdl2-dev libsdl2-image-dev libjansson-dev
       libpugixml-dev zlib1g-dev libzstd-dev libwebp-dev libgif-dev)  # the last five for the importer
headless=(xvfb xauth xdotool imagemagick libgl1-mesa-dri)
# The compilers the Windows and web libraries are built with (the 64-bit
# Windows one alone: the mingw-w64 package would add three more, a third of
# the whole download), dpkg-source, which unpacks their sources, and the
# compiler cache the builds after them share.
libraries=(g++-mingw-w64-x86-64-posix dpkg-dev emscripten ccache)
testing=(libgtest-dev libgmock-dev libbenchmark-dev python3 python3-pytest python3-pil
         clang libclang-rt-14-dev valgrind
         wine wine64  # the Windows build, tested under Wine
         libxdamage1  # the scrolling test times the frames with the display's Damage reports
         lintian  # the Debian package's own check
         zstd  # the importer's tests compress cells with it
         chromium python3-websocket)  # the web build, tested in headless Chromium

case "${1:-run}" in
  run) wanted=("${build[@]}" "${headless[@]}") ;;
  libraries) wanted=("${build[@]}" "${libraries[@]}") ;;
  test) wanted=("${build[@]}" "${headless[@]}" "${libraries[@]}" "${testing[@]}") ;;
  *) echo "usage: $0 run|libraries|test" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "== Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600)  # waits for another apt-get at work
"${apt[@]}" update -q
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -q --no-install-recommends "${missing[@]}"
