#!/usr/bin/env bash
# orbelune idle under KWin 6 (Debian 13 root, two virtual outputs, ext-idle-notify-v1): after the idle time the figure
# covers both outputs; a key hides it, it shows again, pointer travel hides it; while a client holds an idle inhibitor
# it does not show, and once the inhibitor goes it does.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/kwin_checks.sh"
source "$(dirname "$0")/idle_checks.sh"


start_kwin 1024 768 2
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
said 1 "showing the figure on 2 monitors" 100 || fail "after the idle time the figure did not show on both outputs: $(cat "$work/out")"
covers_outputs "$watcher" || fail "the figure does not cover both outputs"
for output in $(kwin_outputs); do shows_figure_on "$output" || fail "no figure on $output"; done
idle_cycle_checks "$client" key 30
echo "idle watcher under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }'): shows on both" \
  "outputs, hides on a key and on pointer travel, waits for inhibitors"
