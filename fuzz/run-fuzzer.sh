#!/usr/bin/env bash
# Runs a fuzzer for a while on its corpus folder, first seeding the corpus
# with the map files of the loader's test cases when a cases folder is given.
#   fuzz/run-fuzzer.sh FUZZER CORPUS SECONDS [CASES_FOLDER]
set -euo pipefail
fuzzer=$1 corpus=$2 seconds=$3 cases=${4:-}

mkdir -p "$corpus"
if [ -n "$cases" ]; then
  for map in "$cases"/*/main.json; do
    [ -f "$map" ] && cp "$map" "$corpus/seed-$(basename "$(dirname "$map")").json"
  done
fi
# Maps may claim billions of cells, which the loader asks for untouched:
# allow large allocations and bound what is really resident instead.
exec "$fuzzer" -rss_limit_mb=3072 -malloc_limit_mb=9000 -timeout=20 -print_final_stats=1 \
  -max_total_time="$seconds" "$corpus"
