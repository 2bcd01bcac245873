#!/usr/bin/env bash
# Runs a fuzzer for a while on its corpus folder, first seeding the corpus
# from a folder of seeds: its files, and the main.json of each case folder.
#   fuzz/run-fuzzer.sh FUZZER CORPUS SECONDS [SEEDS_FOLDER]
set -euo pipefail
fuzzer=$1 corpus=$2 seconds=$3 seeds=${4:-}

mkdir -p "$corpus"
if [ -n "$seeds" ]; then
  for seed in "$seeds"/* "$seeds"/*/main.json; do
    [ -f "$seed" ] || continue
    name=$(basename "$seed")
    [ "$name" = main.json ] && name="$(basename "$(dirname "$seed")").json"
    cp "$seed" "$corpus/seed-$name"
  done
fi
# Maps may claim billions of cells, which the loader asks for untouched:
# allow large allocations and bound what is really resident instead.
exec "$fuzzer" -rss_limit_mb=3072 -malloc_limit_mb=9000 -timeout=20 -print_final_stats=1 \
  -max_total_time="$seconds" "$corpus"
