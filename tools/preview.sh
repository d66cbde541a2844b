#!/usr/bin/env bash
# Renders a glTF model with three.js in headless Chromium, as a web page
# would show it, and saves the picture:
#   tools/preview.sh MODEL.glb OUT.png
# Exits 0 when the model loaded without an error on the page and covers part
# of the picture, 1 otherwise (the reason is printed). Installs Node.js and
# Chromium with apt-get and the npm packages of tools/web when missing.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: tools/preview.sh MODEL.glb OUT.png" >&2
  exit 2
fi
tools=$(cd "$(dirname "$0")" && pwd)
"$tools/deps.sh" --preview
"$tools/web/setup.sh"
exec node "$tools/web/preview.mjs" "$1" "$2"
