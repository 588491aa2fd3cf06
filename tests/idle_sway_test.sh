#!/usr/bin/env bash
# orbelune idle under a headless sway 1.7 (KDE's idle protocol) with two
# outputs: after the idle time the figure covers both; a key hides it, it shows
# again, pointer travel hides it; while a client holds an idle inhibitor it
# does not show, and once the inhibitor goes it does.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/sway_checks.sh"
source "$(dirname "$0")/idle_checks.sh"
need sway python3 grim wtype convert
shot=${ORBELUNE_SCREENSHOT:-}  # where to keep a screenshot of the figure, if anywhere


start_sway
add_output >/dev/null || fail "sway made no second output"
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
said 1 "showing the figure on 2 monitors" 200 || fail "after the idle time the figure did not show on both outputs: $(cat "$work/out")"
shows_figure HEADLESS-1 || fail "no figure on the first output"
shows_figure HEADLESS-2 || fail "no figure on the second output"
[ -n "$shot" ] && cp "$work/HEADLESS-1.png" "$shot"
idle_cycle_checks wtype -s 800 a
echo "idle watcher under headless sway: shows on both outputs, hides on a key and on pointer travel, waits for inhibitors"
