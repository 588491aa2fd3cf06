# Shell helpers for the tests under a headless sway: a work folder, sway's
# runtime folder and their cleanup, start_sway, shows_figure OUTPUT and
# ended_with PID STATUS. sway refuses to run as root, so it runs as nobody with
# a runtime folder of its own.
#
# With ORBELUNE_DESKTOP=trixie, sway (1.10) and its tools (swaymsg, grim,
# wtype) are those of the Debian 13 root (tests/desktop_root.sh), sway running
# as the root's user "tester"; the saver and the test client still run here.

fail() { echo "FAIL: $*"; exit 1; }
in_trixie=false
if [ "${ORBELUNE_DESKTOP:-}" = trixie ]; then
  in_trixie=true
  source "$(dirname "${BASH_SOURCE[0]}")/desktop_root.sh"
  require_desktop_root
fi
work=$(mktemp -d)
rt=$(mktemp -d /tmp/orbelune-sway.XXXXXX)
sway_pid=""
cleanup() {
  pkill -f "sway -c $rt/config" 2>/dev/null || true
  pkill -f "labwc -C $rt/labwc" 2>/dev/null || true
  pkill -P $$ 2>/dev/null || true
  if $in_trixie; then unshare_with_root; fi
  rm -rf "$work" "$rt"
}
trap cleanup EXIT
if $in_trixie; then
  chmod 755 "$work"
  share_with_root "$work" "$rt"
  # The compositor's tools, from the root, on this test's sockets.
  in_desktop() {
    in_root env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="${WAYLAND_DISPLAY:-wayland-1}" SWAYSOCK="${SWAYSOCK:-}" "$@"
  }
  swaymsg() { in_desktop swaymsg "$@"; }
  grim() { in_desktop grim "$@"; }
  wtype() { in_desktop wtype "$@"; }
fi
export XDG_CONFIG_HOME=$work/config

start_sway() {
  rm -rf "${rt:?}"/*
  # No "output bg": swaybg would draw over the background layer.
  printf '# headless test session\n' >"$rt/config"
  as_sway=()
  if $in_trixie; then
    chown -R "$(tester_ids)" "$rt"
    as_sway=("$droot_script" run --user tester)
  elif [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$rt"
    as_sway=(runuser -u nobody --)
  fi
  chmod 700 "$rt"
  "${as_sway[@]}" env -i XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 PATH=/usr/bin:/bin sway -c "$rt/config" >"$work/sway.log" 2>&1 &
  sway_pid=$!
  for _ in $(seq 100); do
    [ -S "$rt/wayland-1" ] && ls "$rt"/sway-ipc.* >/dev/null 2>&1 && break
    sleep 0.1
  done
  [ -S "$rt/wayland-1" ] || { cat "$work/sway.log"; fail "sway did not start"; }
  export XDG_RUNTIME_DIR=$rt WAYLAND_DISPLAY=wayland-1 SWAYSOCK
  SWAYSOCK=$(ls "$rt"/sway-ipc.* | head -1)
}

# labwc (Debian 13's, in the root) with $1 headless outputs, in place of sway:
# the same runtime folder, tools and checks.
start_labwc() {
  $in_trixie || fail "labwc runs only in the Debian 13 root (ORBELUNE_DESKTOP=trixie)"
  rm -rf "${rt:?}"/*
  mkdir -p "$rt/labwc"
  printf '<?xml version="1.0"?>\n<labwc_config><core><decoration>server</decoration></core></labwc_config>\n' \
    >"$rt/labwc/rc.xml"
  chown -R "$(tester_ids)" "$rt"
  chmod 700 "$rt"
  "$droot_script" run --user tester env -i XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_HEADLESS_OUTPUTS="${1:-1}" PATH=/usr/bin:/bin labwc -C "$rt/labwc" \
    >"$work/labwc.log" 2>&1 &
  sway_pid=$!
  for _ in $(seq 100); do
    [ -S "$rt/wayland-0" ] && break
    sleep 0.1
  done
  [ -S "$rt/wayland-0" ] || { cat "$work/labwc.log"; fail "labwc did not start"; }
  export XDG_RUNTIME_DIR=$rt WAYLAND_DISPLAY=wayland-0
}

# Succeeds once a screenshot of output $1 shows the yellow figure.
shows_figure() {
  local yellow=0
  for _ in $(seq 20); do
    sleep 0.3
    grim -o "$1" "$work/$1.png" 2>/dev/null || continue
    yellow=$(convert "$work/$1.png" -fx '(r>0.6 && g>0.6 && b<0.3) ? 1 : 0' -format '%[fx:mean*w*h]' info:)
    awk -v n="$yellow" 'BEGIN { exit !(n > 200) }' && return 0
  done
  echo "yellow pixels on $1: $yellow"
  return 1
}
ended_with() {  # waits up to 3 s for process $1 and checks its status is $2
  for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && return 1
  local status=0
  wait "$1" || status=$?
  [ "$status" -eq "$2" ] || { echo "status $status, not $2"; return 1; }
}

