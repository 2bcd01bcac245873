#!/usr/bin/env bash
# Builds everything and runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh test
echo "== Building (Release, warnings as errors) into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON >/dev/null
cmake --build build --parallel "$(nproc)"
echo "== Running the tests"
ctest --test-dir build --output-on-failure --timeout 600
