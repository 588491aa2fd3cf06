#!/usr/bin/env bash
# orbelune idle while another client (a VM viewer, a remote desktop, a game)
# holds the keyboard and pointer grab: the figure shows, and the first key or
# pointer movement, which goes to that client, hides it all the same (the
# server's idle time drops on it). Once the client lets go, the figure shows
# again and takes the grabs itself.
set -euo pipefail
orbelune=$1 grabber=$2
source "$(dirname "$0")/script_checks.sh"
need Xvfb xdotool xwininfo
make_work_folder

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 grabber=$2 work=$3
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*"; cat "$work/out" 2>/dev/null; exit 1; }
views() { xwininfo -root -tree | grep -c '"Orbelune"' || true; }
wait_views() { for _ in $(seq "${2:-60}"); do [ "$(views)" -eq "$1" ] && return 0; sleep 0.1; done; return 1; }
count() { grep -c "$1" "$work/out" || true; }
said() { for _ in $(seq "${3:-50}"); do [ "$(count "$2")" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

"$grabber" >"$work/grabber" 2>&1 & grabber_pid=$!
for _ in $(seq 50); do grep -q grabbed "$work/grabber" && break; sleep 0.1; done
grep -q grabbed "$work/grabber" || fail "the test client holds no grab: $(cat "$work/grabber")"

"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
xdotool mousemove 100 100
wait_views 1 60 || fail "the figure did not show after the idle time with another client's grab held"
said 1 "showing the figure" 50 || fail "--verbose did not say the figure showed"
sleep 0.5
xdotool key a
wait_views 0 20 || fail "a key that went to the grabbing client left the figure showing"
said 1 "hidden on input" 30 || fail "--verbose did not say it hid the figure"
wait_views 1 60 || fail "the figure did not show again after the next idle time"
xdotool mousemove_relative 3 0
wait_views 0 20 || fail "pointer movement that went to the grabbing client left the figure showing"

# The client lets go: the saver grabs, and a tremble of the mouse no longer ends it.
kill "$grabber_pid"; wait "$grabber_pid" 2>/dev/null || true
wait_views 1 60 || fail "the figure did not show once the grab was let go"
sleep 1
xdotool mousemove_relative 3 0
sleep 1
[ "$(views)" -eq 1 ] || fail "with its own grab, a 3-pixel tremble hid the figure"
xdotool key a
wait_views 0 20 || fail "a key did not hide the figure it grabbed for"
kill -TERM "$watcher"
status=0; wait "$watcher" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended the watcher with status $status"
echo "idle watcher: hides on input another client's grab takes"
INNER

"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$orbelune" "$grabber" "$work"
