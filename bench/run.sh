#!/usr/bin/env bash
# Builds in Release and runs every benchmark, writing docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$(nproc)" --target tilemap-viewer bench_load bench_frame bench_memory bench_import
/usr/bin/python3 bench/report.py build
exec /usr/bin/python3 bench/import_report.py build
