#!/usr/bin/env bash
# The Wayland host under a headless sway: the figure on every output, a new
# output gets one, a key or pointer travel (through a virtual pointer, a new
# device each time) ends --wayland while --wayland-background stays, a
# native window without X closes on q, SIGTERM
# ends it with status 0 and the compositor going away with status 1. sway
# refuses to run as root, so it runs as nobody with a runtime folder of its own.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/sway_checks.sh"
need sway python3 grim wtype convert

start_sway
# Without X, a window of its own is a native one; q closes it.
env -u DISPLAY "$orbelune" --window & window=$!
shows_figure HEADLESS-1 || fail "no figure in the native window"
wtype -s 800 q
ended_with "$window" 0 || fail "q did not close the native window with status 0"

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "no figure on the first output"
add_output >/dev/null || fail "sway made no second output"
shows_figure HEADLESS-2 || fail "no figure on an output added while it runs"
ipc output HEADLESS-2 disable >/dev/null || fail "sway did not disable the second output"
sleep 0.5
kill -0 "$saver" 2>/dev/null || fail "an output removed ended the saver"
shows_figure HEADLESS-1 || fail "no figure left on the first output after the second went"
kill -TERM "$saver"
ended_with "$saver" 0 || fail "SIGTERM did not end --wayland with status 0"

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "no figure the second time"
wtype -s 800 a
ended_with "$saver" 0 || fail "a key press did not end --wayland with status 0"

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "no figure the third time"
"$client" move 0 1 || fail "the test client could not move the pointer"
sleep 0.5
kill -0 "$saver" 2>/dev/null || fail "a pointer that did not travel ended --wayland"
"$client" move 50 5
ended_with "$saver" 0 || fail "pointer travel through a new pointer did not end --wayland with status 0"

"$orbelune" --wayland-background & background=$!
shows_figure HEADLESS-1 || fail "no figure on the background layer"
wtype -s 800 a
sleep 0.5
kill -0 "$background" 2>/dev/null || fail "--wayland-background ended on input"

# runuser waits for sway as its child: end sway itself.
pkill -KILL -f "sway -c $rt/config"
wait "$sway_pid" 2>/dev/null || true
sway_pid=""
ended_with "$background" 1 || fail "losing the compositor did not end the saver with status 1"
echo "Wayland host under headless sway: all checks passed"
