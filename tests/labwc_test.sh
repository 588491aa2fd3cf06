#!/usr/bin/env bash
# orbelune on Debian 13's labwc 0.8 (in the root scripts/desktop-root makes)
# with two headless outputs: the idle watcher shows the figure on both after
# the idle time (ext-idle-notify-v1), hides on a key and on pointer travel and
# waits for an idle inhibitor; --wayland covers both outputs and ends on a key;
# --wayland-background covers both and stays on input.
set -euo pipefail
orbelune=$1 client=$2
command -v convert >/dev/null || { echo "missing convert (scripts/install-deps installs it)"; exit 1; }
export ORBELUNE_DESKTOP=trixie
source "$(dirname "$0")/sway_checks.sh"
source "$(dirname "$0")/idle_checks.sh"


start_labwc 2
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
said 1 "showing the figure on 2 monitors" 100 || fail "after the idle time the figure did not show on both outputs: $(cat "$work/out")"
shows_figure HEADLESS-1 || fail "no figure on the first output"
shows_figure HEADLESS-2 || fail "no figure on the second output"
idle_cycle_checks wtype -s 800 a

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "--wayland: no figure on the first output"
shows_figure HEADLESS-2 || fail "--wayland: no figure on the second output"
wtype -s 800 a
ended_with "$saver" 0 || fail "a key did not end --wayland with status 0"

"$orbelune" --wayland-background & background=$!
shows_figure HEADLESS-1 || fail "--wayland-background: no figure on the first output"
shows_figure HEADLESS-2 || fail "--wayland-background: no figure on the second output"
wtype -s 800 a
sleep 0.5
kill -0 "$background" 2>/dev/null || fail "--wayland-background ended on input"
kill -TERM "$background"
ended_with "$background" 0 || fail "SIGTERM did not end --wayland-background with status 0"
echo "orbelune under labwc $(in_root labwc --version | awk '{print $2}'): idle watcher, --wayland and --wayland-background on two outputs"
