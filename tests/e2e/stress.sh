#!/usr/bin/env bash
# Runs the end-to-end suites many times in a row to show they pass every
# time, optionally with the machine kept busy, and reports each failure's log.
#   tests/e2e/stress.sh [-n runs] [-l busy-processes] build-dir [more build-dirs...]
# Example: tests/e2e/stress.sh -n 20 -l 2 build build-sanitize
set -euo pipefail

runs=10
busy=0
while getopts "n:l:" option; do
  case $option in
    n) runs=$OPTARG ;;
    l) busy=$OPTARG ;;
    *) echo "usage: $0 [-n runs] [-l busy-processes] build-dir..." >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || { echo "usage: $0 [-n runs] [-l busy-processes] build-dir..." >&2; exit 2; }

logs=$(mktemp -d /tmp/tilemap-stress-XXXXXX)
loaders=()
stop_loaders() { [ ${#loaders[@]} -eq 0 ] || kill "${loaders[@]}" 2>/dev/null || true; }
trap stop_loaders EXIT
for _ in $(seq "$busy"); do
  sh -c 'while :; do :; done' &
  loaders+=($!)
done
echo "== $runs runs of the end-to-end suites in: $*; $busy busy processes; logs in $logs"

failures=()
for build in "$@"; do
  passes=0
  for run in $(seq "$runs"); do
    log="$logs/$(basename "$build")-$run.log"
    if ctest --test-dir "$build" -L e2e --output-on-failure --timeout 900 >"$log" 2>&1; then
      passes=$((passes + 1))
      echo "   $build run $run: passed"
    else
      failures+=("$log")
      echo "   $build run $run: FAILED ($log)"
    fi
  done
  echo "== $build: $passes of $runs runs passed"
done

for log in "${failures[@]}"; do
  echo
  echo "======== $log"
  cat "$log"
done
[ ${#failures[@]} -eq 0 ]
