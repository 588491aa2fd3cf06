# Shell helpers for the tests under a headless sway: a work folder, sway's
# runtime folder and their cleanup, start_sway, ipc (a patient swaymsg),
# outputs, add_output, shows_figure OUTPUT and ended_with PID STATUS. sway
# refuses to run as root, so it runs as nobody with a runtime folder of its own.

source "$(dirname "${BASH_SOURCE[0]}")/script_checks.sh"
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
  for _ in $(seq 300); do
    [ -S "$rt/wayland-1" ] && ls "$rt"/sway-ipc.* >/dev/null 2>&1 && break
    sleep 0.1
  done
  [ -S "$rt/wayland-1" ] || { cat "$work/sway.log"; fail "sway did not start"; }
  export XDG_RUNTIME_DIR=$rt WAYLAND_DISPLAY=wayland-1 SWAYSOCK
  SWAYSOCK=$(ls "$rt"/sway-ipc.* | head -1)
}

# Succeeds once a screenshot of output $1 shows the yellow figure.
shows_figure() { figure_shows "$work/$1.png" grim -o "$1" "$work/$1.png"; }
ended_with() {  # waits up to 10 s for process $1 and checks its status is $2
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { echo "process $1 still runs"; return 1; }
  local status=0
  wait "$1" || status=$?
  [ "$status" -eq "$2" ] || { echo "status $status, not $2"; return 1; }
}

# ipc [-t TYPE] [COMMAND...]: swaymsg's message through sway_ipc.py, which
# waits for a busy sway's answer where swaymsg gives up after 3 s.
ipc() { python3 "$(dirname "${BASH_SOURCE[0]}")/sway_ipc.py" "$@"; }

# The headless outputs' names, enabled or not, oldest first.
outputs() { ipc -t get_outputs | grep -o '"HEADLESS-[0-9]*"' | tr -d '"' | sort -t- -k2 -n; }

# A new headless output, named on stdout.
add_output() {
  ipc create_output >/dev/null || return 1
  outputs | tail -1
}
