#!/usr/bin/env bash
# Runs a command on an X server of its own: starts Xvfb on the first free
# display from :90 (local socket only, no TCP), runs the command there on
# Qt's xcb platform, then stops the server. The command's exit status is
# the script's.
#
# Usage: testing/on_x_server.sh COMMAND [ARG...]
set -uo pipefail

for display in $(seq 90 189); do
  [ -e "/tmp/.X${display}-lock" ] || [ -e "/tmp/.X11-unix/X${display}" ] && continue
  Xvfb ":${display}" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  server=$!
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display}" ] && break
    kill -0 "$server" 2>/dev/null || break
    sleep 0.05
  done
  if ! kill -0 "$server" 2>/dev/null; then
    wait "$server" 2>/dev/null
    continue  # another test took this display first
  fi
  DISPLAY=":${display}" QT_QPA_PLATFORM=xcb "$@"
  status=$?
  kill "$server"
  wait "$server" 2>/dev/null
  exit "$status"
done
echo "on_x_server.sh: no X server could be started" >&2
exit 1
