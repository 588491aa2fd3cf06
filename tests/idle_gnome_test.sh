#!/usr/bin/env bash
# orbelune idle on GNOME: a headless Mutter with two virtual monitors on a
# private session bus, input injected through Mutter's remote desktop. After
# the idle time the figure shows on both monitors (one full-screen window
# each), pointer motion hides it, it shows again after the next idle time, and
# a key hides it again.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/script_checks.sh"
need mutter dbus-run-session gdbus
/usr/bin/python3 -c 'import gi' 2>/dev/null || { echo "missing python3-gi (scripts/install-deps installs it)"; exit 1; }
work=$(mktemp -d)
chmod 700 "$work"
trap 'rm -rf "$work"' EXIT

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2 driver=$3
export XDG_RUNTIME_DIR=$work WAYLAND_DISPLAY=wayland-orbelune GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
export XDG_CONFIG_HOME=$work/config
unset DISPLAY
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null' EXIT
fail() { echo "FAIL: $*"; echo "--- watcher:"; cat "$work/out"; echo "--- mutter:"; tail -20 "$work/mutter.log"; exit 1; }
has_owner() {
  gdbus call --session -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner "$1" \
    2>/dev/null | grep -q true
}
# Waits until the watcher has said something $1 times in all.
said() { for _ in $(seq "${3:-100}"); do [ "$(grep -c "$2" "$work/out" || true)" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

mutter --headless --wayland --no-x11 --wayland-display "$WAYLAND_DISPLAY" \
  --virtual-monitor 1280x800 --virtual-monitor 1024x768 >"$work/mutter.log" 2>&1 &
pids+=($!)
for _ in $(seq 600); do
  [ -S "$work/$WAYLAND_DISPLAY" ] && has_owner org.gnome.Mutter.IdleMonitor && has_owner org.gnome.Mutter.RemoteDesktop &&
    break
  sleep 0.05
done
has_owner org.gnome.Mutter.RemoteDesktop || fail "mutter did not start"

mkfifo "$work/input"
/usr/bin/python3 "$driver" <"$work/input" >"$work/driver.out" 2>&1 &
pids+=($!)
exec 7>"$work/input"
inject() { echo "$*" >&7; }
inject prime
sleep 0.3

"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 &
watcher=$!
pids+=($watcher)
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
status=0; wait "$watcher" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended the watcher with status $status"
echo "--- the watcher said:"
cat "$work/out"
echo "idle watcher on GNOME: shows on both monitors, hides on motion and keys, shows again"
INNER
dbus-run-session -- bash "$work/inner.sh" "$orbelune" "$work" "$(dirname "$(readlink -f "$0")")/mutter_input.py"
