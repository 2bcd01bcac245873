#!/usr/bin/env bash
# Builds everything and runs every test through CTest: once in the Release
# build (with the cross-built Windows viewer under Wine), once more with
# AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer, then each
# fuzzer for a minute (TILEMAP_FUZZ_SECONDS sets how long). The release
# packages are built and checked too. Tests run side by side, one more than
# there are cores: each end-to-end suite has a display (and a Wine prefix) of
# its own, and spends most of its time waiting for the viewer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
test_jobs=$((jobs + 1))

scripts/install-deps.sh test

scripts/build-windows.sh
scripts/build-web.sh

echo "== Release build (warnings as errors) into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON \
  -DTILEMAP_WINDOWS_VIEWER="$PWD/build-windows/tilemap-viewer.exe" \
  -DTILEMAP_WEB_SITE="$PWD/build-web/site" >/dev/null
cmake --build build --parallel "$jobs"

echo "== Sanitizer build into build-sanitize/"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILEMAP_SANITIZE=ON \
  -DTILEMAP_WERROR=ON -DTILEMAP_BENCH=OFF >/dev/null
cmake --build build-sanitize --parallel "$jobs"

echo "== Fuzzer build (clang, libFuzzer) into build-fuzz/"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILEMAP_FUZZ=ON \
  -DTILEMAP_TESTS=OFF -DTILEMAP_BENCH=OFF -DTILEMAP_WERROR=ON \
  -DTILEMAP_FUZZ_SECONDS="${TILEMAP_FUZZ_SECONDS:-60}" >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_map fuzz_draw fuzz_import

status=0
echo "== Tests (Release)"
ctest --test-dir build --parallel "$test_jobs" --output-on-failure --timeout 900 || status=1
echo "== Tests (sanitizers)"
ctest --test-dir build-sanitize --parallel "$test_jobs" --output-on-failure --timeout 900 || status=1
echo "== Release packages, checked as a user meets them"
if scripts/package.sh; then
  tests/check-packages.sh || status=1
else
  status=1
fi
echo "== Fuzzing, ${TILEMAP_FUZZ_SECONDS:-60} s a fuzzer"
ctest --test-dir build-fuzz --parallel "$jobs" --output-on-failure --timeout 900 || status=1
exit "$status"
