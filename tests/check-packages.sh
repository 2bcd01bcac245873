#!/usr/bin/env bash
# Checks the packages in dist/ as a user meets them: the .deb by lintian
# (any tag fails, pedantic ones too); the Windows zip unpacked, its viewer run on the
# demo and its importer on a small map, then the viewer on what it wrote, all
# under Wine; the .deb installed with apt-get and its two programs run the
# same way (then removed); each importer also writes a web site from the page
# its package carries. tests/e2e/test_package.py does the running.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
python=/usr/bin/python3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run_tests() { (cd tests/e2e && "$python" -m pytest -q -p no:cacheprovider test_package.py); }
status=0  # every check runs; any failure fails the whole

deb=$(ls dist/tilemap-viewer_*.deb)
echo "== $deb: lintian, every tag down to pedantic ones"
lintian -I --pedantic --fail-on error,warning,info,pedantic "$deb" || status=1

zip=$(ls dist/tilemap-viewer-*-win64.zip)
echo "== $zip: unpacked, its viewer and importer run under Wine"
cmake -E chdir "$work" cmake -E tar xf "$top/$zip"
folder=$(ls -d "$work"/tilemap-viewer-*-win64)
# The licences of everything built into the exes and DLLs: the libraries and
# the compiler's run-time libraries.
for licence in libsdl2 libsdl2-image jansson zlib libzstd pugixml libwebp giflib mingw-w64 gcc-mingw-w64; do
  [ -s "$folder/licenses/$licence.txt" ] || { echo "the zip has no licenses/$licence.txt"; status=1; }
done
TILEMAP_VIEWER="$folder/tilemap-viewer.exe" TILEMAP_DEMO="$folder" \
  TILEMAP_WINE_PREFIXES="$top/build-windows/wine" run_tests || status=1

site_zip=$(ls dist/tilemap-viewer-*-web.zip)
echo "== $site_zip: unpacked, it is the site the browser tests passed on"
cmake -E chdir "$work" cmake -E tar xf "$top/$site_zip"
diff -r "$(ls -d "$work"/tilemap-viewer-*-web)" build-web/site || status=1

echo "== $deb: installed with apt-get, its viewer and importer run"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# Another apt-get at work (another build, the system's own updates) is waited
# for, not a failure.
apt=("${sudo[@]}" apt-get -o DPkg::Lock::Timeout=600)
DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y -q --no-install-recommends "$top/$deb" >/dev/null
TILEMAP_VIEWER=/usr/bin/tilemap-viewer TILEMAP_DEMO=/usr/share/tilemap-viewer/demo run_tests || status=1
"${apt[@]}" remove -y -q tilemap-viewer >/dev/null
exit "$status"
