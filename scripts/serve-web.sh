#!/usr/bin/env bash
# Serves a site on this machine only: build-web/site/ (made by
# scripts/build-web.sh), or the folder given (one written by
# `tilemap-import --site FOLDER MAP`). Port 0 lets the system pick a free
# port, which the server then prints:
# "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ...". Ctrl-C stops it.
set -euo pipefail
site=${1:-$(dirname "$0")/../build-web/site}
cd "$site"
echo "== serving $PWD on a free port of 127.0.0.1"
exec python3 -u -m http.server --bind 127.0.0.1 0
