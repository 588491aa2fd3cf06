#!/usr/bin/env bash
# orbelune lock on X11 with XScreenSaver's daemon running hands over to it
# (xscreensaver-command -lock): the hack draws the figure on the locked
# screen, and a daemon gone while locked is no unlock (status 1, not 0). The
# daemon refuses to lock as root, so it runs as nobody when the tests run as
# root.
set -euo pipefail
orbelune=$(realpath "$1")
for tool in Xvfb xscreensaver xscreensaver-command import convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$(dirname "$0")/x11_checks.sh" "$(dirname "$0")/script_checks.sh" "$work/"

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2
source "$work/x11_checks.sh"
fail() { echo "FAIL: $*"; cat "$HOME/xss.log" 2>/dev/null | tail -20; exit 1; }
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home/config
unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
printf 'mode: one\nselected: 0\nlock: True\nlockTimeout: 0:00:00\nfade: False\nunfade: False\nprograms: "Orbelune" %s --root \\n\n' \
  "$orbelune" >"$HOME/.xscreensaver"
xscreensaver -no-splash -verbose >>"$HOME/xss.log" 2>&1 & daemon=$!
up=0
for _ in $(seq 150); do xscreensaver-command -version >/dev/null 2>&1 && { up=1; break; }; sleep 0.1; done
[ "$up" -eq 1 ] || fail "XScreenSaver did not come up"
"$orbelune" lock --verbose >"$work/lock.out" 2>"$work/lock.err" & lock=$!
locked=0
for _ in $(seq 100); do xscreensaver-command -time 2>/dev/null | grep -q locked && { locked=1; break; }; sleep 0.1; done
[ "$locked" -eq 1 ] || { cat "$work/lock.err"; fail "XScreenSaver did not lock"; }
root=$(xwininfo -root | awk '/Window id:/ {print $4}')
shows_figure "$root" "$work/locked.png" || fail "no figure under XScreenSaver's lock"
kill -0 "$lock" || fail "orbelune lock ended while the screen is locked"
kill "$daemon"; wait "$daemon" 2>/dev/null || true
status=0
for _ in $(seq 50); do kill -0 "$lock" 2>/dev/null || break; sleep 0.1; done
wait "$lock" || status=$?
[ "$status" -eq 1 ] || fail "orbelune lock exited $status when the daemon went without an unlock"
grep -q unlocked "$work/lock.out" && fail "orbelune lock claimed an unlock"
echo "XScreenSaver lock: all checks passed"
INNER
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  runuser -u nobody -- test -x "$orbelune" || { echo "SKIP: nobody cannot run $orbelune"; exit 77; }
  mkdir -p "$work/home"
  chown -R nobody:nogroup "$work/home"
  chmod 777 "$work"
  as_user=(runuser -u nobody --)
fi
"$(dirname "$0")/with_xvfb.sh" 800x600x24 "${as_user[@]}" bash "$work/inner.sh" "$orbelune" "$work"
