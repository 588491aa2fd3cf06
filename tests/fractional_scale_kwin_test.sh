#!/usr/bin/env bash
# The Wayland host at fractional scales on KWin 6 (from the Debian 13 root):
# at 1.25, 1.5 and 2, a KWin whose one virtual output has that scale (KWin
# takes it from its output store, written here), where the overlay layer
# surface and a full-screen window (xdg toplevel) each get buffers of their
# size times the scale, rounded half away from zero, shown through a viewport
# at that size, and no buffer scale. (KWin's screenshots need OpenGL
# compositing, which a machine without a GPU does not have: the pictures are
# compared under sway.)
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/desktop_root.sh"
require_desktop_root
fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/scale_checks.sh"
[ -x "$droot/usr/bin/kwin_wayland" ] || { echo "SKIP: no KWin in the Debian 13 root"; exit 77; }

work=$(mktemp -d)
rt=$(mktemp -d /tmp/orbelune-kwin-scale.XXXXXX)
kwin=""
# KWin ending ends its dbus-run-session, and that its bus.
stop_kwin() {
  if [ -n "$kwin" ]; then
    [ -s "$rt/kwin.pid" ] && kill "$(cat "$rt/kwin.pid")" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$kwin" 2>/dev/null || break; sleep 0.1; done
    kill "$kwin" 2>/dev/null || true
    wait "$kwin" 2>/dev/null || true
  fi
  kwin=""
}
cleanup() {
  stop_kwin
  unshare_with_root
  rm -rf "$work" "$rt"
}
trap cleanup EXIT
chmod 755 "$work"
share_with_root "$work" "$rt"
export XDG_CONFIG_HOME=$work/config
# Debian's kwin_wayland has a file capability the sandbox lacks; a copy has none.
in_root cp /usr/bin/kwin_wayland "$work/kwin_wayland"

# start_kwin WIDTH HEIGHT SCALE: KWin on one virtual output of WIDTH x HEIGHT
# pixels at SCALE, with an output store of its own.
start_kwin() {
  rm -rf "${rt:?}"/* "$work/kwin-config"
  mkdir -p "$work/kwin-config"
  cat >"$work/kwin-config/kwinoutputconfig.json" <<JSON
[
  {"name": "outputs", "data": [
    {"connectorName": "Virtual-0", "mode": {"width": $1, "height": $2, "refreshRate": 60000}, "scale": $3,
     "transform": "Normal", "overscan": 0, "rgbRange": "Automatic", "vrrPolicy": "Never"}]},
  {"name": "setups", "data": [
    {"lidClosed": false, "outputs": [{"enabled": true, "outputIndex": 0, "position": {"x": 0, "y": 0}, "priority": 0}]}]}
]
JSON
  chown -R "$(tester_ids)" "$rt" "$work/kwin-config"
  chmod 700 "$rt"
  in_root_as_tester env XDG_RUNTIME_DIR="$rt" XDG_CONFIG_HOME="$work/kwin-config" dbus-run-session -- \
    sh -c 'echo $$ >"$1/kwin.pid"; shift; exec "$@"' sh "$rt" \
    "$work/kwin_wayland" --virtual --width "$1" --height "$2" --socket kwin >"$work/kwin.log" 2>&1 &
  kwin=$!
  for _ in $(seq 150); do [ -S "$rt/kwin" ] && break; sleep 0.1; done
  [ -S "$rt/kwin" ] || { tail "$work/kwin.log"; fail "KWin did not start"; }
}

# checks_surface LOG SCALE CONFIGURE: the surface configured by the last
# CONFIGURE event (its size in the 2nd and 3rd, or 1st and 2nd arguments)
# gets buffers of that size times SCALE through a viewport, and no buffer scale.
checks_surface() {
  local log=$1 scale=$2 configure=$3 fields=$4 w h
  for _ in $(seq 100); do
    [ "$(last_call "$log" 'preferred_scale')" = "$(awk -v s="$scale" 'BEGIN { printf "%d\n", s * 120 }')" ] &&
      grep -q 'set_destination(' "$log" && break
    sleep 0.1
  done
  IFS=, read -r w h < <(last_call "$log" "$configure" | cut -d, -f"$fields")
  [ -n "$w" ] && [ "$w" -gt 0 ] || fail "at $scale: never configured ($(last_call "$log" 'preferred_scale'))"
  buffers_of "$log" "$(scaled "$w" "$scale")" "$(scaled "$h" "$scale")" ||
    fail "at $scale: no $(scaled "$w" "$scale")x$(scaled "$h" "$scale") buffers for the ${w}x$h surface"
  [ "$(last_call "$log" 'set_destination')" = "$w,$h" ] ||
    fail "at $scale: the viewport shows $(last_call "$log" 'set_destination'), not $w,$h"
  told_no_buffer_scale "$log" || fail "at $scale: a buffer scale was set under the viewport"
  echo "scale $scale: ${w}x$h surface, $(scaled "$w" "$scale")x$(scaled "$h" "$scale") buffers"
}

# 1200 x 900 logical pixels at each scale; 1.25 also on an output whose
# logical size is no whole number of pixels (1366 / 1.25 = 1092.8).
for case in "1500 1125 1.25" "1800 1350 1.5" "2400 1800 2" "1366 768 1.25"; do
  read -r width height scale <<<"$case"
  start_kwin "$width" "$height" "$scale"
  WAYLAND_DISPLAY=$rt/kwin WAYLAND_DEBUG=1 "$orbelune" --wayland "${scale_figure[@]}" 2>"$work/layer.log" & saver=$!
  checks_surface "$work/layer.log" "$scale" 'zwlr_layer_surface_v1@[0-9]+\.configure' 2,3
  kill -TERM "$saver"; wait "$saver" || fail "--wayland did not end with status 0 on SIGTERM"
  WAYLAND_DISPLAY=$rt/kwin WAYLAND_DEBUG=1 "$orbelune" --fullscreen "${scale_figure[@]}" 2>"$work/window.log" &
  saver=$!
  checks_surface "$work/window.log" "$scale" 'xdg_toplevel@[0-9]+\.configure' 1,2
  kill -TERM "$saver"; wait "$saver" || fail "the window did not end with status 0 on SIGTERM"
  stop_kwin
done
echo "fractional scales under KWin: all checks passed"
