#!/usr/bin/env bash
# The Wayland host under a headless sway: the figure on every output, a new
# output gets one, a key ends --wayland while --wayland-background stays, a
# native window without X closes on q, SIGTERM
# ends it with status 0 and the compositor going away with status 1. sway
# refuses to run as root, so it runs as nobody with a runtime folder of its own.
set -euo pipefail
orbelune=$1
for tool in sway swaymsg grim wtype convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
rt=$(mktemp -d /tmp/orbelune-sway.XXXXXX)
sway_pid=""
cleanup() {
  pkill -f "sway -c $rt/config" 2>/dev/null || true
  pkill -P $$ 2>/dev/null || true
  rm -rf "$work" "$rt"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config

start_sway() {
  rm -rf "${rt:?}"/*
  # No "output bg": swaybg would draw over the background layer.
  printf '# headless test session\n' >"$rt/config"
  as_sway=()
  if [ "$(id -u)" -eq 0 ]; then
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

start_sway
# Without X, a window of its own is a native one; q closes it.
env -u DISPLAY "$orbelune" --window & window=$!
shows_figure HEADLESS-1 || fail "no figure in the native window"
wtype -s 800 q
ended_with "$window" 0 || fail "q did not close the native window with status 0"

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "no figure on the first output"
swaymsg create_output >/dev/null
shows_figure HEADLESS-2 || fail "no figure on an output added while it runs"
swaymsg output HEADLESS-2 disable >/dev/null
sleep 0.5
kill -0 "$saver" 2>/dev/null || fail "an output removed ended the saver"
shows_figure HEADLESS-1 || fail "no figure left on the first output after the second went"
kill -TERM "$saver"
ended_with "$saver" 0 || fail "SIGTERM did not end --wayland with status 0"

"$orbelune" --wayland & saver=$!
shows_figure HEADLESS-1 || fail "no figure the second time"
wtype -s 800 a
ended_with "$saver" 0 || fail "a key press did not end --wayland with status 0"

"$orbelune" --wayland-background & background=$!
shows_figure HEADLESS-1 || fail "no figure on the background layer"
wtype -s 800 a
sleep 0.5
kill -0 "$background" 2>/dev/null || fail "--wayland-background ended on input"

# runuser waits for sway as its child: end sway itself.
pkill -KILL -f "sway -c $rt/config"
wait "$sway_pid" 2>/dev/null || true
sway_pid=""
ended_with "$background" 1 || fail "losing the compositor did not end the saver with status 1"
echo "Wayland host under headless sway: all checks passed"
