#!/usr/bin/env bash
# Installs what is missing, builds the programs it runs (not the tests or
# benchmarks: ./test.sh builds those), registers the mailer, makes sure the
# "vestro" data source exists, and opens the console.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
# The console, the mailer it creates by ProgID, autoreg to register that and
# verdanpost-listdb for the data source.
cmake --build build -j "$(nproc)" --target verdanpost-console verdanpost autoreg verdanpost-listdb

build/bin/autoreg "$PWD/build/lib/libverdanpost.so"
scripts/setup-datasource.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No desktop session: give the window a virtual screen of its own, on the
  # first display no other server holds (Xvfb says which once it listens).
  said=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 1 200); do
    [ -s "$said" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
  done
  display=$(head -n 1 "$said")
  rm -f "$said"
  [ -n "$display" ] || { echo "run.sh: no virtual X server could be started" >&2; exit 1; }
  export DISPLAY=:$display
  echo "No display found: the console runs on the virtual X server $DISPLAY."
fi

exec build/bin/verdanpost-console "$@"
