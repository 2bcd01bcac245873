#!/usr/bin/env bash
# Cross-builds the Windows viewer into build-windows/: tilemap-viewer.exe with
# the SDL DLLs beside it. The Windows libraries come from
# scripts/build-windows-deps.sh (built once, then cached).
set -euo pipefail
cd "$(dirname "$0")/.."

deps=$(scripts/build-windows-deps.sh)
echo "== Windows build (mingw-w64, warnings as errors) into build-windows/"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DTILEMAP_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON \
  -DTILEMAP_TESTS=OFF -DTILEMAP_BENCH=OFF >/dev/null
cmake --build build-windows --parallel "$(nproc)"
