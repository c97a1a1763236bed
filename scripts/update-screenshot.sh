#!/usr/bin/env bash
# Regenerates docs/console.png, the README's picture of the window, from the
# window test that draws every page offscreen (into build/screenshots/).
# Run after a build (./test.sh or ./run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

rm -f build/screenshots/page-3-messages.png
ctest --test-dir build -R 'SavesPicturesOfThePages' --output-on-failure >/dev/null
cp build/screenshots/page-3-messages.png docs/console.png
echo "docs/console.png: $(stat -c %s docs/console.png) bytes"
