#!/usr/bin/env bash
# Builds the viewer and runs it on the demo map. Without a display it runs in
# a virtual one, scrolls a little and saves screenshots under build/.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh run
echo "== Building (Release) into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$(nproc)" --target tilemap-viewer make-demo
if [ ! -f demo/final.png ] || [ ! -f demo/main.json ]; then
  build/tools/make-demo demo
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== Starting the viewer in demo/ (arrow keys scroll, Esc or Q quits)"
  cd demo
  exec ../build/tilemap-viewer
fi
exec scripts/headless-run.sh
