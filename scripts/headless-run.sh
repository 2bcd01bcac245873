#!/usr/bin/env bash
# Runs the built viewer on the demo inside a virtual X display: screenshot at
# start, hold Right for a moment, screenshot again, then Esc.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

echo "== No display: starting a virtual one (Xvfb)"
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f "$display_file"' EXIT
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
export DISPLAY=":$(tr -d '[:space:]' <"$display_file")"

cd demo
"$top/build/tilemap-viewer" &
viewer=$!
if window=$(timeout 10 xdotool search --sync --name '^Hello World!$' 2>/dev/null | head -n 1); then
  timeout 5 xdotool windowfocus --sync "$window" || true
  sleep 1
  import -display "$DISPLAY" -window root "$top/build/screenshot-start.png"
  echo "== Holding Right for 0.6 s"
  xdotool keydown Right; sleep 0.6; xdotool keyup Right
  sleep 0.3
  import -display "$DISPLAY" -window root "$top/build/screenshot.png"
  # Keys are read as held or not once per frame: hold Esc long enough to be seen.
  xdotool keydown Escape; sleep 0.2; xdotool keyup Escape
fi
# Give it ten seconds to end by itself before ending it.
for _ in $(seq 100); do
  kill -0 "$viewer" 2>/dev/null || break
  sleep 0.1
done
kill "$viewer" 2>/dev/null || true
status=0
wait "$viewer" || status=$?
echo "== The viewer ended with status $status"
[ -f "$top/build/screenshot.png" ] &&
  echo "== Screenshots: build/screenshot-start.png (at start), build/screenshot.png (after scrolling)"
exit "$status"
