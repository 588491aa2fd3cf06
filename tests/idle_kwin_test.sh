#!/usr/bin/env bash
# orbelune idle under KWin 6 (Debian 13 root, two virtual outputs, ext-idle-notify-v1): after the idle time the figure
# covers both outputs; a key hides it, it shows again, pointer travel hides it; while a client holds an idle inhibitor
# it does not show, and once the inhibitor goes it does.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/kwin_checks.sh"

count() { grep -c "$1" "$work/out" || true; }
# Waits (up to $3 tenths of a second) until the watcher has said $2 $1 times.
said() { for _ in $(seq "${3:-100}"); do [ "$(count "$2")" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

start_kwin 1024 768 2
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
said 1 "showing the figure on 2 monitors" 100 || fail "after the idle time the figure did not show on both outputs: $(cat "$work/out")"
covers_outputs "$watcher" || fail "the figure does not cover both outputs"
for output in $(kwin_outputs); do shows_figure_on "$output" || fail "no figure on $output"; done
"$client" key 30 || fail "the test client could not press a key through fake input"
said 1 "hidden on input" 30 || fail "a key did not hide the figure"
said 2 "showing the figure" 100 || fail "the figure did not show again after the next idle time"
sleep 0.5
"$client" move 50 5 || fail "the test client could not move the pointer through fake input"
said 2 "hidden on input" 30 || fail "pointer travel did not hide the figure"

# An idle inhibitor (a playing video's) keeps it from showing.
"$client" inhibit >"$work/inhibitor" & inhibitor=$!
sleep 4
grep -q inhibiting "$work/inhibitor" || fail "the test client holds no inhibitor"
[ "$(count "showing the figure")" -eq 2 ] || fail "the figure showed while a client inhibited idleness"
kill "$inhibitor"
said 3 "showing the figure" 100 || fail "the figure did not show once the inhibitor went"
kill -TERM "$watcher"
ended_with "$watcher" 0 || fail "SIGTERM did not end the watcher with status 0"
echo "idle watcher under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }'): shows on both" \
  "outputs, hides on a key and on pointer travel, waits for inhibitors"
