#!/usr/bin/env bash
# Runs the built viewer on the demo inside a virtual X display: screenshot once
# the demo is drawn, hold Right for a moment, screenshot once the picture has
# settled, then hold Esc until the viewer ends.
#   scripts/headless-run.sh [command that starts the viewer...]
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
viewer_command=("$@")
[ ${#viewer_command[@]} -gt 0 ] || viewer_command=("$top/build/tilemap-viewer")

echo "== No display: starting a virtual one (Xvfb)"
work=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
viewer=""
cleanup() {
  [ -z "$viewer" ] || kill "$viewer" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '[:space:]' <"$work/display")"

# Every wait below is for a condition, bounded by a number of tries.
screenshot() {  # the whole screen into $1
  timeout -s KILL 20 import -display "$DISPLAY" -window root "$1"
}
settled_picture() {  # waits until two screenshots in a row agree, not all black; saves it as $1
  local previous="" current
  for _ in $(seq 300); do
    screenshot "$work/shot.png"
    current=$(md5sum <"$work/shot.png")
    if [ "$current" = "$previous" ] && [ "$(convert "$work/shot.png" -format '%[max]' info:)" != 0 ]; then
      cp "$work/shot.png" "$1"
      return 0
    fi
    previous=$current
    kill -0 "$viewer" 2>/dev/null || return 1
    sleep 0.05
  done
  return 1
}
ended() {  # waits up to $1 tenths of a second for the viewer to end
  for _ in $(seq "$1"); do
    kill -0 "$viewer" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

cd demo
"${viewer_command[@]}" &
viewer=$!
if window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Hello World!$' 2>/dev/null | head -n 1) &&
  timeout 10 xdotool windowfocus --sync "$window" &&
  settled_picture "$top/build/screenshot-start.png"; then
  echo "== Holding Right for 0.6 s"
  xdotool keydown Right; sleep 0.6; xdotool keyup Right
  settled_picture "$top/build/screenshot.png" || true
  # Keys are read as held or not once per frame: hold Esc until the viewer ends.
  xdotool keydown Escape
  ended 100 || true
  xdotool keyup Escape
else
  echo "== The demo did not appear on the screen"
fi
if ! ended 10; then
  echo "== The viewer did not end: stopping it"
  kill "$viewer" 2>/dev/null || true
fi
status=0
wait "$viewer" || status=$?
viewer=""
echo "== The viewer ended with status $status"
[ -f "$top/build/screenshot.png" ] &&
  echo "== Screenshots: build/screenshot-start.png (at start), build/screenshot.png (after scrolling)"
exit "$status"
