#!/usr/bin/env bash
# The Wayland host at the output's scale under sway, one saver while the scale
# changes. With ORBELUNE_DESKTOP=trixie, on sway 1.10 (wp_fractional_scale_v1,
# from the Debian 13 root), at 1.25, 1.5 and 2: buffers of the layer surface's
# size times the scale (rounded half away from zero), shown through a viewport
# at that size, never setting a buffer scale; a window (xdg toplevel) likewise.
# On sway 1.7, which has no fractional scale, at 2: buffers twice the size and
# the buffer scale 2, set once. Either way sway's picture of the output is
# `orbelune render` of the figure at that scale, pixel for pixel where the
# figure holds still.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/sway_checks.sh"
source "$(dirname "$0")/scale_checks.sh"

start_sway
swaymsg output HEADLESS-1 resolution 1200x900 scale 1 >/dev/null
WAYLAND_DEBUG=1 "$orbelune" --wayland "${scale_figure[@]}" 2>"$work/layer.log" & saver=$!
shows_figure HEADLESS-1 || fail "no figure at scale 1"
if ! $in_trixie; then
  swaymsg output HEADLESS-1 scale 2 >/dev/null
  for _ in $(seq 100); do grep -q 'set_buffer_scale(2)' "$work/layer.log" && break; sleep 0.1; done
  IFS=, read -r _ lw lh < <(last_call "$work/layer.log" 'zwlr_layer_surface_v1@[0-9]+\.configure')
  buffers_of "$work/layer.log" $((lw * 2)) $((lh * 2)) || fail "at 2: no $((lw * 2))x$((lh * 2)) buffers for ${lw}x$lh"
  matched=false
  for _ in $(seq 15); do
    grim -o HEADLESS-1 "$work/shot-2.png" 2>/dev/null || { sleep 0.3; continue; }
    if matches_render "$work/shot-2.png" 2; then matched=true; break; fi
    sleep 0.3
  done
  $matched || fail "at 2 the picture is not the render's: $last_match"
  sleep 1  # frames drawn at the same scale
  told=$(grep -c 'set_buffer_scale(' "$work/layer.log" || true)
  [ "$told" = 1 ] || fail "the buffer scale was set $told times, not once: $(grep -o 'set_buffer_scale([0-9]*)' "$work/layer.log" | sort | uniq -c)"
  kill -TERM "$saver"
  ended_with "$saver" 0 || fail "SIGTERM did not end --wayland with status 0"
  echo "whole scales under sway: all checks passed ($last_match)"
  exit 0
fi
for scale in 1.25 1.5 2; do
  swaymsg output HEADLESS-1 scale "$scale" >/dev/null
  # The layer surface is configured to the output's new logical size.
  expected=$(awk -v s="$scale" 'BEGIN { printf "%d\n", s * 120 }')
  for _ in $(seq 100); do
    [ "$(last_call "$work/layer.log" 'preferred_scale')" = "$expected" ] && break
    sleep 0.1
  done
  [ "$(last_call "$work/layer.log" 'preferred_scale')" = "$expected" ] ||
    fail "sway never said the preferred scale $expected"
  sleep 0.3  # the configure follows the scale
  IFS=, read -r _ lw lh < <(last_call "$work/layer.log" 'zwlr_layer_surface_v1@[0-9]+\.configure')
  bw=$(scaled "$lw" "$scale") bh=$(scaled "$lh" "$scale")
  buffers_of "$work/layer.log" "$bw" "$bh" || fail "at $scale: no ${bw}x$bh buffers for the ${lw}x$lh surface"
  [ "$(last_call "$work/layer.log" 'set_destination')" = "$lw,$lh" ] ||
    fail "at $scale: the viewport shows $(last_call "$work/layer.log" 'set_destination'), not $lw,$lh"
  matched=false
  for _ in $(seq 15); do
    grim -o HEADLESS-1 "$work/shot-$scale.png" 2>/dev/null || { sleep 0.3; continue; }
    if matches_render "$work/shot-$scale.png" "$scale"; then matched=true; break; fi
    sleep 0.3
  done
  $matched || fail "at $scale the picture is not the render's: $last_match"
  echo "scale $scale: ${lw}x$lh surface, ${bw}x$bh buffers; $last_match"
done
told_no_buffer_scale "$work/layer.log" || fail "a buffer scale was set under the viewport"
kill -TERM "$saver"
ended_with "$saver" 0 || fail "SIGTERM did not end --wayland with status 0"

# A window at 2: its buffers are its configured size times 2, also through the viewport.
env -u DISPLAY WAYLAND_DEBUG=1 "$orbelune" --window "${scale_figure[@]}" 2>"$work/window.log" & window=$!
shows_figure HEADLESS-1 || fail "no figure in the window"
IFS=, read -r ww wh _ < <(last_call "$work/window.log" 'xdg_toplevel@[0-9]+\.configure')
buffers_of "$work/window.log" $((ww * 2)) $((wh * 2)) || fail "no $((ww * 2))x$((wh * 2)) buffers for the ${ww}x$wh window"
[ "$(last_call "$work/window.log" 'set_destination')" = "$ww,$wh" ] || fail "the window's viewport is not ${ww}x$wh"
told_no_buffer_scale "$work/window.log" || fail "a buffer scale was set on the window"
kill -TERM "$window"
ended_with "$window" 0 || fail "SIGTERM did not end the window with status 0"
echo "fractional scales under sway: all checks passed"
