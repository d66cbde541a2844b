#!/usr/bin/env bash
# Installs the npm packages that tools/web pins in package-lock.json (the
# glTF validator, three.js, the browser driver) into tools/web/node_modules,
# which git ignores, unless exactly those are there already.
set -euo pipefail
cd "$(dirname "$0")"
if ! cmp -s package-lock.json node_modules/.kelvane-installed-lock 2>/dev/null; then
  npm ci --no-audit --no-fund --loglevel=error
  cp package-lock.json node_modules/.kelvane-installed-lock
fi
