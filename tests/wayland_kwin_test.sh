#!/usr/bin/env bash
# The Wayland host under KWin 6 (Debian 13 root, two virtual outputs): --wayland covers every output and ends on a key
# and on pointer travel through fake input, --wayland-background covers every output and stays on input, and KWin
# going away ends it with status 1.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/kwin_checks.sh"

start_kwin 1024 768 2
"$orbelune" --wayland & saver=$!
covers_outputs "$saver" || fail "--wayland does not cover both outputs"
for output in $(kwin_outputs); do shows_figure_on "$output" || fail "no figure on $output"; done
"$client" key 30 || fail "the test client could not press a key through fake input"
ended_with "$saver" 0 || fail "a key press did not end --wayland with status 0"

"$orbelune" --wayland & saver=$!
covers_outputs "$saver" || fail "--wayland does not cover both outputs the second time"
"$client" move 0 1 || fail "the test client could not move the pointer through fake input"
sleep 0.5
kill -0 "$saver" 2>/dev/null || fail "a pointer that did not travel ended --wayland"
"$client" move 50 5
ended_with "$saver" 0 || fail "pointer travel did not end --wayland with status 0"

"$orbelune" --wayland-background & background=$!
covers_outputs "$background" || fail "--wayland-background does not cover both outputs"
for output in $(kwin_outputs); do shows_figure_on "$output" || fail "no figure on $output in the background"; done
"$client" key 30
"$client" move 50 5
sleep 0.5
kill -0 "$background" 2>/dev/null || fail "--wayland-background ended on input"
covers_outputs "$background" || fail "--wayland-background no longer covers both outputs after input"

kill "$kwin_pid"
kwin_pid=""
ended_with "$background" 1 || fail "losing the compositor did not end the saver with status 1"
echo "Wayland host under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }'): all checks passed"
