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
echo "== web build (Emscripten, warnings as errors) into build-web/"
cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/emscripten.cmake" \
  -DTILEMAP_WEB_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DTILEMAP_WERROR=ON >/dev/null
cmake --build build-web --parallel "$(nproc)" --target tilemap-viewer tilemap-import

site=build-web/site
echo "== the site in $site/"
rm -rf "$site"
mkdir -p "$site/demo/editor" "$site/licenses"
cp web/* "$site/"
cp build-web/tilemap-viewer.js build-web/tilemap-viewer.wasm \
   build-web/tilemap-import.js build-web/tilemap-import.wasm "$site/"
cp demo/final.png demo/main.json demo/view.json "$site/demo/"
cp demo/editor/village.tmx demo/editor/village.tsx "$site/demo/editor/"
cp "$deps"/share/licenses/*.txt "$site/licenses/"
ls -l "$site"/*.js "$site"/*.wasm
