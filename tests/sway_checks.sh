# Shell helpers for the tests under a headless sway: a work folder, sway's
# runtime folder and their cleanup, start_sway, shows_figure OUTPUT and
# ended_with PID STATUS. sway refuses to run as root, so it runs as nobody with
# a runtime folder of its own.

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

