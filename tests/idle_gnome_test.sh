#!/usr/bin/env bash
# orbelune idle on GNOME: a headless Mutter with two virtual monitors on a
# private session bus, input injected through Mutter's remote desktop. After
# the idle time the figure shows on both monitors (one full-screen window
# each), pointer motion hides it, it shows again after the next idle time, and
# a key hides it again.
#
# With ORBELUNE_DESKTOP=trixie, Mutter (48), its bus and the input driver run
# in the Debian 13 root (tests/desktop_root.sh); the watcher still runs here,
# on Mutter's socket in the shared work folder and on its bus by the path the
# bus has as seen from here.
set -euo pipefail
orbelune=$1
here=$(dirname "$(readlink -f "$0")")
source "$here/script_checks.sh"
in_trixie=false
[ "${ORBELUNE_DESKTOP:-}" = trixie ] && in_trixie=true
if $in_trixie; then
  source "$here/desktop_root.sh"
  require_desktop_root
else
  need mutter dbus-run-session
  /usr/bin/python3 -c 'import gi' 2>/dev/null || { echo "missing python3-gi (scripts/install-deps installs it)"; exit 1; }
fi
need gdbus
source "$here/ended_with.sh"
work=$(mktemp -d)
chmod 700 "$work"
desktop=""
cleanup() {
  [ -f "$work/mutter.pid" ] && kill "$(cat "$work/mutter.pid")" 2>/dev/null
  # dbus-run-session ends the bus once the desktop has gone: ended before, it
  # would leave the bus behind.
  if [ -n "$desktop" ]; then
    for _ in $(seq 50); do kill -0 "$desktop" 2>/dev/null || break; sleep 0.1; done
  fi
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  if $in_trixie; then unshare_with_root; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  echo "--- watcher:"; cat "$work/out" 2>/dev/null || true
  echo "--- mutter:"; tail -20 "$work/mutter.log" 2>/dev/null || true
  exit 1
}

# The desktop: Mutter and the input driver on a session bus of their own; it
# says where that bus is in bus, then lasts as long as Mutter.
cat >"$work/desktop.sh" <<'DESKTOP'
set -eu
work=$1 driver=$2
export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=wayland-orbelune GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
has_owner() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner "$1" \
    2>/dev/null | grep -q true
}
mutter --headless --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
  --virtual-monitor 1280x800 --virtual-monitor 1024x768 >"$work/mutter.log" 2>&1 &
mutter=$!
echo "$mutter" >"$work/mutter.pid"
for _ in $(seq 600); do
  [ -S "$work/$WAYLAND_DISPLAY" ] && has_owner org.gnome.Mutter.IdleMonitor && has_owner org.gnome.Mutter.RemoteDesktop &&
    break
  sleep 0.05
done
/usr/bin/python3 "$driver" <"$work/input" >"$work/driver.out" 2>&1 &
driver_pid=$!
trap 'kill "$driver_pid" 2>/dev/null' EXIT
echo "$DBUS_SESSION_BUS_ADDRESS" >"$work/bus"
wait "$mutter" || true
DESKTOP
mkfifo "$work/input"
if $in_trixie; then
  share_with_root "$work"
  cp "$here/mutter_input.py" "$work/"
  in_root dbus-run-session -- sh "$work/desktop.sh" "$work" "$work/mutter_input.py" &
else
  dbus-run-session -- sh "$work/desktop.sh" "$work" "$here/mutter_input.py" &
fi
desktop=$!
# Read and write, so that opening the pipe waits for no reader.
exec 7<>"$work/input"
for _ in $(seq 400); do grep -qs '^ok session' "$work/driver.out" && break; sleep 0.05; done
grep -qs '^ok session' "$work/driver.out" || fail "the input driver did not start: $(cat "$work/driver.out" 2>/dev/null)"
bus=$(cat "$work/bus")
# A bus in the root is reached by its path from here.
if $in_trixie; then bus=${bus//unix:path=/unix:path=$droot}; fi
export DBUS_SESSION_BUS_ADDRESS=$bus
export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=wayland-orbelune GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
export XDG_CONFIG_HOME=$work/config
unset DISPLAY
gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner \
  org.gnome.Mutter.RemoteDesktop 2>/dev/null | grep -q true || fail "mutter did not start"
inject() {
  local n
  n=$(($(grep -c '^ok' "$work/driver.out" || true) + 1))
  echo "$*" >&7
  for _ in $(seq 50); do [ "$(grep -c '^ok' "$work/driver.out" || true)" -ge "$n" ] && return 0; sleep 0.1; done
  fail "the input driver did not answer '$*': $(cat "$work/driver.out")"
}
# Waits until the watcher has said something $1 times in all.
said() { for _ in $(seq "${3:-100}"); do [ "$(grep -c "$2" "$work/out" || true)" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

inject prime
sleep 0.3

"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 &
watcher=$!
said 1 "showing the figure on 2 monitors" 200 || fail "after the idle time the figure did not show on both monitors"
sleep 1
kill -0 "$watcher" 2>/dev/null || fail "the watcher ended"
inject move 40 0
said 1 "hidden on input" 100 || fail "pointer motion did not hide the figure"
said 2 "showing the figure on 2 monitors" 200 || fail "the figure did not show again after the next idle time"
sleep 1
inject key 0x61
said 2 "hidden on input" 100 || fail "a key did not hide the figure"
kill -TERM "$watcher"
ended_with "$watcher" 0 || fail "SIGTERM did not end the watcher with status 0"
echo "--- the watcher said:"
cat "$work/out"
version=$(if $in_trixie; then in_root mutter --version; else mutter --version; fi 2>/dev/null | head -1)
echo "idle watcher on GNOME ($version): shows on both monitors, hides on motion and keys, shows again"
