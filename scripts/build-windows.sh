#!/usr/bin/env bash
# Cross-builds the Windows programs into build-windows/: tilemap-viewer.exe
# (a GUI program) and tilemap-import.exe (a console program) with the SDL DLLs
# beside them, the C and C++ runtimes and the importer's libraries linked in.
# The Windows libraries come from scripts/build-windows-deps.sh (built once,
# then cached).
set -euo pipefail
cd "$(dirname "$0")/.."

deps=$(scripts/build-windows-deps.sh)
echo "== Windows build (mingw-w64, warnings as errors) into build-windows/"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DTILEMAP_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON \
  -DTILEMAP_TESTS=OFF -DTILEMAP_BENCH=OFF >/dev/null
cmake --build build-windows --parallel "$(nproc)"
