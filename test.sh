#!/usr/bin/env bash
# Builds everything and runs every test through CTest: once in the Release
# build (with the cross-built Windows viewer under Wine and the web build in
# headless Chromium), once more with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer, then the suites that time the scrolling, then
# each fuzzer for a minute (TILEMAP_FUZZ_SECONDS sets how long) while the
# release packages are built and checked as a user meets them. Tests run side
# by side, one more than there are cores: each end-to-end suite has a display
# (and a Wine prefix) of its own, and spends most of its time waiting for the
# viewer.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc)
test_jobs=$((jobs + 1))
say() { echo "== [$((SECONDS / 60)) min $((SECONDS % 60)) s] $*"; }

# What the Windows and web libraries are built with comes first; the rest
# (Wine and Chromium, half the download) installs while they build, unless
# installing asks for a password, which nobody could type in the background.
scripts/install-deps.sh libraries
installing=
if [ "$(id -u)" -eq 0 ] || sudo -n true 2>/dev/null; then
  mkdir -p build
  scripts/install-deps.sh test >build/install.log 2>&1 &
  installing=$!
  trap 'wait' EXIT  # the script ends only once apt-get has (a library that fails to build ends it early)
else
  scripts/install-deps.sh test
fi

# The Windows and web libraries, built on a machine's first run only (then
# cached), side by side: each spends part of its time configuring, on one core.
say "Windows and web libraries (built on a first run, then cached)"
mkdir -p build-windows build-web
scripts/build-windows-deps.sh >build-windows/deps.log 2>&1 &
windows_deps=$!
scripts/build-web-deps.sh >build-web/deps.log 2>&1 &
web_deps=$!
libraries_built() {  # pid, log
  if ! wait "$1"; then
    cat "$2"
    say "the libraries failed to build (log: $2)"
    exit 1
  fi
  grep '^== .* libraries: ' "$2"
}
libraries_built "$windows_deps" build-windows/deps.log
libraries_built "$web_deps" build-web/deps.log
if [ -n "$installing" ]; then
  if ! wait "$installing"; then
    cat build/install.log
    say "the packages failed to install (log: build/install.log)"
    exit 1
  fi
  grep '^== Installing' build/install.log || true
fi

# A compiler cache shared by every clone and build tree on this machine: a
# file compiled before, with the same flags and headers, isn't compiled
# again. Paths are taken relative to the clone, so clones share it. (Not for
# the libraries: built once per machine, they would only fill it.)
export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
export CCACHE_DIR=${CCACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tilemap-viewer/ccache}
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-2G}

say "Windows programs"
scripts/build-windows.sh

say "Release build (warnings as errors) into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON \
  -DTILEMAP_WINDOWS_VIEWER="$PWD/build-windows/tilemap-viewer.exe" \
  -DTILEMAP_WEB_SITE="$PWD/build-web/site" >/dev/null
cmake --build build --parallel "$jobs"

status=0
# The suites that time nothing wait for conditions, each with a bound, and
# pass on a busy machine: they run while the web, sanitizer and fuzzer builds
# compile. The ones that time the scrolling run later with the machine to
# themselves.
say "Tests (Release) that time nothing, in the background (log: build/untimed.log)"
ctest --test-dir build -LE timed --parallel "$test_jobs" --output-on-failure --timeout 900 \
  >build/untimed.log 2>&1 &
untimed=$!
trap 'wait' EXIT  # a failed build ends the script only once the tests in the background have ended

say "web programs and site (tested with the timed suites)"
scripts/build-web.sh

# One clang build with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer serves both the sanitized tests and the fuzzers:
# libFuzzer's coverage counters in the code under test cost the tests little,
# and the whole project is compiled once instead of twice.
say "Sanitizer and fuzzer build (clang, libFuzzer) into build-sanitize/"
CC=clang CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTILEMAP_FUZZ=ON \
  -DTILEMAP_WERROR=ON -DTILEMAP_BENCH=OFF -DTILEMAP_FUZZ_SECONDS="${TILEMAP_FUZZ_SECONDS:-60}" >/dev/null
cmake --build build-sanitize --parallel "$jobs"

# The sanitized suites time nothing either: they run beside the untimed
# Release ones.
say "Tests (sanitizers), in the background (log: build-sanitize/tests.log)"
ctest --test-dir build-sanitize -LE fuzz --parallel "$jobs" --output-on-failure --timeout 900 \
  >build-sanitize/tests.log 2>&1 &
sanitized=$!

say "Tests (Release) that time nothing"
wait "$untimed" || status=1
cat build/untimed.log
say "Tests (sanitizers)"
wait "$sanitized" || status=1
cat build-sanitize/tests.log
say "Tests (Release) that time the scrolling, one at a time"
ctest --test-dir build -L timed --output-on-failure --timeout 900 || status=1

# The fuzzers run side by side for a fixed time each, sharing the cores; the
# package checks mostly wait for Wine and apt-get, and time nothing, so they
# run meanwhile. (Beside the timed suites at a low priority, both would
# starve on a busy machine: a fuzzer's input past its time limit, the
# package checks for as long as the machine stays busy.)
say "Fuzzing, ${TILEMAP_FUZZ_SECONDS:-60} s a fuzzer, and the release packages, checked as a user meets them"
ctest --test-dir build-sanitize -L fuzz --parallel 3 --output-on-failure --timeout 900 \
  >build-sanitize/fuzz.log 2>&1 &
fuzzing=$!
if scripts/package.sh; then
  tests/check-packages.sh || status=1
else
  status=1
fi
wait "$fuzzing" || status=1
cat build-sanitize/fuzz.log
say "done: $([ "$status" -eq 0 ] && echo 'every test passed' || echo 'SOME TESTS FAILED')"
exit "$status"
