#!/usr/bin/env bash
# Runs a command on an X server of its own: starts Xvfb (local socket only,
# no TCP), which takes the first display no other server holds and says
# which once it listens, runs the command there on Qt's xcb platform, then
# stops the server. The command's exit status is the script's. Letting the
# server choose keeps two tests that start at the same moment apart: each
# gets a display of its own, never the other's.
#
# Usage: testing/on_x_server.sh COMMAND [ARG...]
set -uo pipefail

said=$(mktemp)
trap 'rm -f "$said"' EXIT
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$said" >/dev/null 2>&1 &
server=$!
for _ in $(seq 1 200); do
  [ -s "$said" ] && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.05
done
display=$(head -n 1 "$said")
if [ -z "$display" ]; then
  kill "$server" 2>/dev/null
  wait "$server" 2>/dev/null
  echo "on_x_server.sh: no X server could be started" >&2
  exit 1
fi
DISPLAY=":${display}" QT_QPA_PLATFORM=xcb "$@"
status=$?
kill "$server"
wait "$server" 2>/dev/null
exit "$status"
