#!/usr/bin/env bash
# orbelune idle under a headless sway 1.7 (KDE's idle protocol) with two
# outputs: after the idle time the figure covers both; a key hides it, it shows
# again, pointer travel hides it; while a client holds an idle inhibitor it
# does not show, and once the inhibitor goes it does.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/sway_checks.sh"
need sway python3 grim wtype convert
shot=${ORBELUNE_SCREENSHOT:-}  # where to keep a screenshot of the figure, if anywhere

count() { grep -c "$1" "$work/out" || true; }
# Waits (up to $3 tenths of a second) until the watcher has said $2 $1 times.
said() { for _ in $(seq "${3:-100}"); do [ "$(count "$2")" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

start_sway
add_output >/dev/null || fail "sway made no second output"
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
said 1 "showing the figure on 2 monitors" 200 || fail "after the idle time the figure did not show on both outputs: $(cat "$work/out")"
shows_figure HEADLESS-1 || fail "no figure on the first output"
shows_figure HEADLESS-2 || fail "no figure on the second output"
[ -n "$shot" ] && cp "$work/HEADLESS-1.png" "$shot"
wtype -s 800 a
said 1 "hidden on input" 100 || fail "a key did not hide the figure"
said 2 "showing the figure" 200 || fail "the figure did not show again after the next idle time"
sleep 0.5
"$client" move 50 5
said 2 "hidden on input" 100 || fail "pointer travel did not hide the figure"

# An idle inhibitor (a playing video's) keeps it from showing.
"$client" inhibit >"$work/inhibitor" & inhibitor=$!
sleep 4
grep -q inhibiting "$work/inhibitor" || fail "the test client holds no inhibitor"
[ "$(count "showing the figure")" -eq 2 ] || fail "the figure showed while a client inhibited idleness"
kill "$inhibitor"
said 3 "showing the figure" 200 || fail "the figure did not show once the inhibitor went"
kill -TERM "$watcher"
ended_with "$watcher" 0 || fail "SIGTERM did not end the watcher with status 0"
echo "idle watcher under headless sway: shows on both outputs, hides on a key and on pointer travel, waits for inhibitors"
