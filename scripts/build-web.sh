#!/usr/bin/env bash
# Builds the viewer and the importer for the browser with Debian's Emscripten
# into build-web/ (tilemap-viewer.js/.wasm, tilemap-import.js/.wasm) and puts
# the site together in build-web/site/: the page (web/), the programs, the
# demo and the libraries' licences. The libraries come from
# scripts/build-web-deps.sh (built once, then cached).
set -euo pipefail
cd "$(dirname "$0")/.."

# emcc's JavaScript optimizer needs acorn, which Debian keeps in
# /usr/share/nodejs: a node that isn't Debian's doesn't look there.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

deps=$(scripts/build-web-deps.sh)
# Linking the two programs takes most of the build (the optimiser, and
# Asyncify's rewrite of the viewer), and the compiler cache keeps no links:
# the programs are kept in this machine's cache too, under a hash of every
# file they are built from, so a clone of sources built here before takes
# them as they are.
programs=(tilemap-viewer.js tilemap-viewer.wasm tilemap-import.js tilemap-import.wasm)
cache=${TILEMAP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tilemap-viewer}/web-programs
key=$({ echo "$deps"; cat "$(em-config EMSCRIPTEN_ROOT)/emscripten-version.txt"
        find src cmake CMakeLists.txt scripts/build-web.sh -type f -print0 | LC_ALL=C sort -z | xargs -0 sha256sum
      } | sha256sum | cut -c1-32)
mkdir -p build-web
if [ -f "$cache/$key/.complete" ]; then
  echo "== web programs: built from the same sources before, taken from $cache/$key"
  for program in "${programs[@]}"; do cp "$cache/$key/$program" build-web/; done
else
  echo "== web build (Emscripten, warnings as errors) into build-web/"
  cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/emscripten.cmake" \
    -DTILEMAP_WEB_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON >/dev/null
  cmake --build build-web --parallel "$(nproc)" --target tilemap-viewer tilemap-import
  # Kept under a temporary name and renamed whole: another build may be at the same key.
  mkdir -p "$cache"
  kept=$(mktemp -d "$cache/.new-XXXXXX")
  for program in "${programs[@]}"; do cp "build-web/$program" "$kept/"; done
  touch "$kept/.complete"
  mv -T "$kept" "$cache/$key" 2>/dev/null || rm -rf "$kept"
  # The eight newest builds are kept (about 4 MiB each).
  find "$cache" -mindepth 1 -maxdepth 1 -type d ! -name '.new-*' -printf '%T@ %p\n' | sort -rn | tail -n +9 |
    cut -d' ' -f2- | xargs -r rm -rf
fi

site=build-web/site
echo "== the site in $site/"
rm -rf "$site"
mkdir -p "$site/demo/editor" "$site/licenses"
cp web/* "$site/"
cp build-web/tilemap-viewer.js build-web/tilemap-viewer.wasm \
   build-web/tilemap-import.js build-web/tilemap-import.wasm "$site/"
cp demo/final.png demo/main.json demo/view.json "$site/demo/"
cp -r demo/zoom "$site/demo/"
if [ -f demo/overview.png ]; then cp demo/overview.png "$site/demo/"; fi
cp demo/editor/village.tmx demo/editor/village.tsx "$site/demo/editor/"
cp "$deps"/share/licenses/*.txt "$site/licenses/"
ls -l "$site"/*.js "$site"/*.wasm
