#!/usr/bin/env bash
# Runs the end-to-end suites many times in a row to show they pass every
# time, optionally with the machine kept busy, and reports each failure's log.
#   tests/e2e/stress.sh [-n runs] [-l busy-processes] [-L label] [-j jobs] build-dir [more build-dirs...]
#   tests/e2e/stress.sh [-n runs] [-l busy-processes] -c
# -L picks the suites by their CTest label (default e2e; windows: the Windows
# viewer's suites under Wine); -j runs that many suites side by side, as
# ./test.sh does (default 1). -c runs the whole test command instead,
# `CI=true ./test.sh`, each time in a fresh clone of this repository's HEAD
# (the Windows and web libraries come from the cache), and prints its time.
# Examples: tests/e2e/stress.sh -n 20 -l 2 build build-sanitize
#           tests/e2e/stress.sh -n 20 -l 2 -L windows -j 3 build
#           tests/e2e/stress.sh -n 3 -l 2 -c
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)

runs=10
busy=0
label=e2e
clones=false
jobs=1
usage="usage: $0 [-n runs] [-l busy-processes] [-L label] [-j jobs] build-dir... | -c"
while getopts "n:l:L:j:c" option; do
  case $option in
    n) runs=$OPTARG ;;
    l) busy=$OPTARG ;;
    L) label=$OPTARG ;;
    j) jobs=$OPTARG ;;
    c) clones=true ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
$clones || [ $# -gt 0 ] || { echo "$usage" >&2; exit 2; }

logs=$(mktemp -d /tmp/tilemap-stress-XXXXXX)
loaders=()
stop_loaders() { [ ${#loaders[@]} -eq 0 ] || kill "${loaders[@]}" 2>/dev/null || true; }
trap stop_loaders EXIT
for _ in $(seq "$busy"); do
  sh -c 'while :; do :; done' &
  loaders+=($!)
done

failures=()
passed() {  # what, log, start time, CTest's log of every test: one line
  local note=""
  # Passing tests' output is only in CTest's own log.
  if grep -q WineServerKill "$4" 2>/dev/null; then
    cp "$4" "$2"
    note=", a kill by Wine's server tolerated ($2)"
  fi
  echo "   $1: passed in $(($(date +%s) - $3)) s$note"
}

if $clones; then
  echo "== $runs runs of CI=true ./test.sh, each in a fresh clone; $busy busy processes; logs in $logs"
  passes=0
  for run in $(seq "$runs"); do
    clone="$logs/clone-$run"
    log="$logs/clone-$run.log"
    git clone -q "$top" "$clone"
    git -C "$clone" checkout -q "$(git -C "$top" rev-parse HEAD)"
    started=$(date +%s)
    if (cd "$clone" && CI=true ./test.sh) >"$log" 2>&1; then
      passes=$((passes + 1))
      passed "run $run" "$log" "$started" "$clone/build/Testing/Temporary/LastTest.log"
      rm -rf "$clone"
    else
      failures+=("$log")
      echo "   run $run: FAILED in $(($(date +%s) - started)) s ($log; the clone is kept)"
    fi
  done
  echo "== $passes of $runs runs passed"
else
  echo "== $runs runs of the suites labelled $label in: $*; $busy busy processes; logs in $logs"
  for build in "$@"; do
    passes=0
    for run in $(seq "$runs"); do
      log="$logs/$(basename "$build")-$run.log"
      started=$(date +%s)
      if ctest --test-dir "$build" -L "$label" --parallel "$jobs" --output-on-failure --timeout 900 \
           >"$log" 2>&1; then
        passes=$((passes + 1))
        passed "$build run $run" "$log" "$started" "$build/Testing/Temporary/LastTest.log"
      else
        failures+=("$log")
        echo "   $build run $run: FAILED ($log)"
      fi
    done
    echo "== $build: $passes of $runs runs passed"
  done
fi

for log in "${failures[@]}"; do
  echo
  echo "======== $log"
  cat "$log"
done
[ ${#failures[@]} -eq 0 ]
