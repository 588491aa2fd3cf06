#!/usr/bin/env bash
# orbelune idle on an X server with two monitors and no XScreenSaver daemon:
# after the idle time the figure covers both monitors; pointer travel hides it,
# the next idle time shows it again, a key hides it; a second watcher steps
# aside; SIGTERM ends it and its figure. With XScreenSaver's daemon running it
# leaves activation to the daemon. XScreenSaver runs no hacks as root, and its
# daemon refuses root too, so that part runs as nobody when the tests run as root.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/script_checks.sh"
need Xvfb xdotool xrandr xwininfo import convert xscreensaver xscreensaver-command
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2
source "$3"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*"; cat "$work/out" 2>/dev/null; exit 1; }
views() { xwininfo -root -tree | grep -c '"Orbelune"' || true; }
wait_views() { for _ in $(seq "${2:-150}"); do [ "$(views)" -eq "$1" ] && return 0; sleep 0.1; done; return 1; }

# Two monitors side by side (the server does not reset between clients).
xrandr --setmonitor left 640/170x720/190+0+0 screen >/dev/null
xrandr --setmonitor right 640/170x720/190+640+0 none >/dev/null
# The idle time starts here; a busy machine may take longer than 2 s to look,
# and then the figure rightly shows.
xdotool mousemove 100 100
moved=$(date +%s%N)
"$orbelune" idle --after 2s --verbose >"$work/out" 2>&1 & watcher=$!
sleep 0.5
shown=$(views) looked=$(date +%s%N)
[ "$shown" -eq 0 ] || [ $((looked - moved)) -ge 2000000000 ] || fail "the figure showed before the idle time"
wait_views 2 200 || fail "after the idle time the figure did not cover both monitors ($(views) windows)"
for id in $(xwininfo -root -tree | awk '/"Orbelune"/ {print $1}'); do
  shows_figure "$id" "$work/shot-$id.png" || fail "no figure in window $id"
done
grep -q "showing the figure on 2 monitors" "$work/out" || fail "--verbose did not say it showed on 2 monitors"

out=$("$orbelune" idle --after 2s) || fail "a second watcher did not exit 0"
[[ $out == *"already watching"* ]] || fail "a second watcher did not say one runs: $out"

xdotool mousemove_relative 40 0
wait_views 0 100 || fail "pointer travel did not hide the figure"
# The line comes once the windows are gone, which may be a moment later.
said_hidden() { for _ in $(seq 100); do grep -q "hidden on input" "$work/out" && return 0; sleep 0.1; done; return 1; }
said_hidden || fail "--verbose did not say it hid the figure"
wait_views 2 200 || fail "the figure did not show again after the next idle time"
xdotool key a
wait_views 0 100 || fail "a key did not hide the figure"
wait_views 2 200 || fail "the figure did not show a third time"
kill -TERM "$watcher"
status=0; wait "$watcher" || status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended the watcher with status $status"
wait_views 0 100 || fail "the figure outlived its watcher"
echo "idle watcher: shows, hides on input, shows again, one per session"
INNER

cat >"$work/xscreensaver.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2
export HOME=$work/home XDG_RUNTIME_DIR=$work/run-xss
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
# XScreenSaver can take seconds to come up on a loaded machine, and once in a
# while a daemon never answers there: it gets a second start before the test
# gives up and shows what both said.
up=0
for attempt in 1 2; do
  xscreensaver -no-splash -verbose >>"$HOME/xss.log" 2>&1 & daemon=$!
  for _ in $(seq 150); do xscreensaver-command -version >/dev/null 2>&1 && { up=1; break; }; sleep 0.1; done
  [ "$up" -eq 1 ] && break
  echo "XScreenSaver (attempt $attempt) did not answer in 15 s; running: $(ps -o pid=,stat=,args= -u "$(id -u)" | tr '\n' ';')"
  kill "$daemon" 2>/dev/null || true; wait "$daemon" 2>/dev/null || true
done
[ "$up" -eq 1 ] || { echo "FAIL: XScreenSaver did not come up"; cat "$HOME/xss.log"; exit 1; }
status=0
out=$(timeout 30 "$orbelune" idle --after 1s 2>&1) || status=$?
xscreensaver-command -exit >/dev/null 2>&1 || true
[ "$status" -eq 0 ] || { echo "FAIL: with XScreenSaver running the watcher ended with status $status: $out"; exit 1; }
[[ $out == *"XScreenSaver's daemon runs"* ]] || { echo "FAIL: the watcher did not step aside: $out"; exit 1; }
echo "idle watcher: steps aside for XScreenSaver's daemon"
INNER

checks=$(dirname "$0")/x11_checks.sh
"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$orbelune" "$work" "$checks"

as_user=()
if [ "$(id -u)" -eq 0 ]; then
  if ! runuser -u nobody -- test -x "$orbelune"; then
    echo "SKIP: nobody cannot run $orbelune (the XScreenSaver part)"
    exit 0
  fi
  mkdir -p "$work/home"
  chown -R nobody:nogroup "$work/home"
  chmod 1777 "$work"  # sticky: nobody's runtime folder in it stays private
  as_user=(runuser -u nobody --)
fi
"$(dirname "$0")/with_xvfb.sh" 800x600x24 "${as_user[@]}" bash "$work/xscreensaver.sh" "$orbelune" "$work"
