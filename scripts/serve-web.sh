#!/usr/bin/env bash
# Serves build-web/site/ (made by scripts/build-web.sh) on this machine only.
# Port 0 lets the system pick a free port, which the server then prints:
# "Serving HTTP on 127.0.0.1 port N (http://127.0.0.1:N/) ...". Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/../build-web/site"
echo "== serving $PWD on a free port of 127.0.0.1"
exec python3 -u -m http.server --bind 127.0.0.1 0
