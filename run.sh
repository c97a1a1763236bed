#!/usr/bin/env bash
# Installs what is missing, builds, registers the mailer, makes sure the
# "vestro" data source exists, and opens the console.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build build -j "$(nproc)"

build/bin/autoreg "$PWD/build/lib/libverdanpost.so"
scripts/setup-datasource.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop session: give the window a virtual screen of its own.
  display=:99
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=$display
  sleep 1
  echo "No display found: the console runs on the virtual X server $DISPLAY."
fi

exec build/bin/verdanpost-console "$@"
