#!/usr/bin/env bash
# Regenerates docs/console.png, the README's picture of the window: builds
# verdanpost-screenshots, which draws every page offscreen into
# build/screenshots/, and copies the Messages page. Run after configuring
# build/ (./test.sh or ./run.sh do).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --build build --target verdanpost-screenshots >/dev/null
rm -rf build/screenshots
build/bin/verdanpost-screenshots build/screenshots
cp build/screenshots/page-3-messages.png docs/console.png
echo "docs/console.png: $(stat -c %s docs/console.png) bytes"
