#!/usr/bin/env bash
# Builds the release packages: the Windows zip (cross-built) and the Debian
# package, each with the viewer and the importer, and a zip of the web site;
# copies them into dist/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
scripts/build-windows.sh
scripts/build-web.sh
echo "== Release build into build/"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$(nproc)" --target tilemap-viewer tilemap-import

mkdir -p dist
for tree in build-windows build; do
  echo "== Packaging $tree"
  rm -rf "$tree/packages"
  (cd "$tree" && cpack -C Release >/dev/null)
  cp "$tree"/packages/*.zip "$tree"/packages/*.deb dist/ 2>/dev/null || true
done
version=$(sed -n 's/^project(tilemap_viewer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
web=tilemap-viewer-$version-web
echo "== Packaging the site as $web.zip"
rm -rf "build-web/$web" "dist/$web.zip"
cp -r build-web/site "build-web/$web"
(cd build-web && cmake -E tar cf "../dist/$web.zip" --format=zip "$web")
rm -rf "build-web/$web"
echo "== Packages:"
ls -1 dist/*.zip dist/*.deb
