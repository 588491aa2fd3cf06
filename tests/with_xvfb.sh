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
dir=$(mktemp -d)
mkfifo "$dir/display"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT
read -r -t 20 number <"$dir/display" || { echo "Xvfb did not start:"; cat "$dir/log"; exit 1; }
# XVFB_PID lets a test stop the server to see how a client copes.
DISPLAY=:$number XAUTHORITY= XVFB_PID=$server "$@"
