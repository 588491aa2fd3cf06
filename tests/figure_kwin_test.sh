#!/usr/bin/env bash
# The figure's pixels under KWin 6 (Debian 13 root) with two outputs drawn as windows of a headless sway: --wayland and
# --wayland-background draw the figure on both, and the idle watcher's figure shows on both after the idle time and is
# gone from both after a key.
set -euo pipefail
orbelune=$1 client=$2
source "$(dirname "$0")/kwin_checks.sh"
shot=${ORBELUNE_SCREENSHOT:-}  # where to keep a picture of an output with the figure, if anywhere

start_kwin_in_sway 2
mapfile -t outputs < <(kwin_outputs)
[ "${#outputs[@]}" -eq 2 ] || fail "KWin has ${#outputs[@]} outputs, not 2: ${outputs[*]}"

"$orbelune" --wayland & saver=$!
covers_outputs "$saver" || fail "--wayland does not cover both outputs"
for output in "${outputs[@]}"; do shows_figure_on "$output" || fail "no figure from --wayland on $output"; done
if [ -n "$shot" ]; then
  in_sway grim "$rt/shot.png" && cp "$rt/shot.png" "$shot" || fail "no picture to keep in $shot"
fi
kill -TERM "$saver"
ended_with "$saver" 0 || fail "SIGTERM did not end --wayland with status 0"
for output in "${outputs[@]}"; do shows_no_figure_on "$output" || fail "the figure stayed on $output after --wayland"; done

"$orbelune" --wayland-background & background=$!
covers_outputs "$background" || fail "--wayland-background does not cover both outputs"
for output in "${outputs[@]}"; do shows_figure_on "$output" || fail "no figure from --wayland-background on $output"; done
kill -TERM "$background"
ended_with "$background" 0 || fail "SIGTERM did not end --wayland-background with status 0"

"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
for _ in $(seq 100); do grep -q "showing the figure on 2 monitors" "$work/out" && break; sleep 0.1; done
grep -q "showing the figure on 2 monitors" "$work/out" || fail "the idle watcher did not show the figure: $(cat "$work/out")"
for output in "${outputs[@]}"; do shows_figure_on "$output" || fail "no figure from the idle watcher on $output"; done
"$client" key 30 || fail "the test client could not press a key through fake input"
for output in "${outputs[@]}"; do shows_no_figure_on "$output" || fail "a key left the figure on $output"; done
kill -TERM "$watcher"
ended_with "$watcher" 0 || fail "SIGTERM did not end the watcher with status 0"
echo "figure under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }') in sway: drawn on both" \
  "outputs by --wayland, --wayland-background and the idle watcher, and gone after a key"
