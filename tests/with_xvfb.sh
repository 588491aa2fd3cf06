#!/usr/bin/env bash
# with_xvfb.sh WxHxD COMMAND...: runs COMMAND with DISPLAY set to a virtual X
# server of that screen size, then stops the server. Xvfb picks a free display
# number itself (-displayfd), so servers started at once never collide, as the
# servers of `xvfb-run -a` can. Local clients need no cookie (no -auth).
# The command sees the server's process id in XVFB_PID.
set -euo pipefail
screen=$1
shift
command -v Xvfb >/dev/null || { echo "missing Xvfb (scripts/install-deps installs it)"; exit 1; }
command -v xdpyinfo >/dev/null || { echo "missing xdpyinfo (scripts/install-deps installs it)"; exit 1; }
dir=$(mktemp -d)
server=
trap 'if [ -n "$server" ]; then kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; fi; rm -rf "$dir"' EXIT
# A server is used once a client has connected to it. Seldom, with many
# servers coming and going at once, one announced its display and then took
# no connection: a fresh one is started then. No reset when the last client
# leaves (-noreset), so what a test set up stays while it runs.
for attempt in 1 2 3; do
  rm -f "$dir/display"
  mkfifo "$dir/display"
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
  server=$!
  number=
  read -r -t 20 number <"$dir/display" || true
  if [ -n "$number" ]; then
    for _ in $(seq 50); do
      xdpyinfo -display ":$number" >/dev/null 2>&1 && break 2
      sleep 0.1
    done
  fi
  echo "Xvfb (attempt $attempt) took no connection${number:+ on :$number}: $(tail -3 "$dir/log")" >&2
  kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true
  server=
done
[ -n "$server" ] || { echo "Xvfb did not start:"; cat "$dir/log"; exit 1; }
# XVFB_PID lets a test stop the server to see how a client copes.
DISPLAY=:$number XAUTHORITY= XVFB_PID=$server "$@"
