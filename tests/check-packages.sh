#!/usr/bin/env bash
# Checks the packages in dist/ as a user meets them: the Windows zip unpacked
# and its exe run under Wine in the unpacked folder; the .deb installed with
# apt-get and its binary run in the demo folder it installs (then removed).
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

zip=$(ls dist/tilemap-viewer-*-win64.zip)
echo "== $zip: unpacked, its exe runs the demo under Wine"
cmake -E chdir "$work" cmake -E tar xf "$top/$zip"
folder=$(ls -d "$work"/tilemap-viewer-*-win64)
(cd tests/e2e && TILEMAP_VIEWER="$folder/tilemap-viewer.exe" TILEMAP_DEMO="$folder" \
  TILEMAP_WINE_PREFIXES="$top/build-windows/wine" "$python" -m pytest -q -p no:cacheprovider test_package.py)

deb=$(ls dist/tilemap-viewer_*.deb)
echo "== $deb: installed with apt-get, its binary runs the demo"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "$top/$deb" >/dev/null
status=0
(cd tests/e2e && TILEMAP_VIEWER=/usr/bin/tilemap-viewer TILEMAP_DEMO=/usr/share/tilemap-viewer/demo \
  "$python" -m pytest -q -p no:cacheprovider test_package.py) || status=$?
"${sudo[@]}" apt-get remove -y -q tilemap-viewer >/dev/null
exit "$status"
