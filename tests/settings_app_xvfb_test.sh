#!/usr/bin/env bash
# The settings app as a user meets it, on a virtual X server: the window with
# its preview, Options… opens the sheet, Escape does not end it, OK does and
# stores the settings; the "Start the saver after" switch writes the autostart
# entry and starts the idle watcher, and takes both away again; one that fails
# says so once and stops nothing; the "Lock the screen" switch stores its minutes.
set -euo pipefail
app=$1 orbelune=$2
source "$(dirname "$0")/script_checks.sh"
need Xvfb xdotool xwininfo
make_work_folder
cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
app=$1 orbelune=$2
source "$4"
export XDG_CONFIG_HOME=$3/config GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
export XDG_RUNTIME_DIR=$3/run
mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"

"$app" 2>/dev/null & pid=$!
win=$(find_window '^Orbelune$')
[ -n "$win" ] || fail "the settings window never appeared"
sleep 1
sheet=$(open_sheet "$win") || fail "Options… did not show the sheet"
xdotool key --window "$sheet" Escape
sleep 0.5
mapped "$sheet" || fail "Escape closed the sheet"
# The line width field, then OK.
enter_and_ok "$sheet" 235 344 4 || fail "OK did not end the sheet"
stored=$("$orbelune" defaults read LineWidth)
[ "$stored" = "4.0" ] || fail "OK did not store the line width (stored: $stored)"

# The switch: on writes the autostart entry and starts the watcher.
entry=$XDG_CONFIG_HOME/autostart/orbelune-idle.desktop
# A watcher holds the session's lock in the runtime folder. Looked at shared,
# as the settings app does: a watcher starting meanwhile waits that out, where
# an exclusive look would send it away.
watching() {
  local lock
  for lock in "$XDG_RUNTIME_DIR"/orbelune-idle-*.lock; do
    [ -e "$lock" ] && ! flock -s -n "$lock" true && return 0
  done
  return 1
}
xdotool mousemove --window "$win" 36 370 click 1
for _ in $(seq 100); do [ -f "$entry" ] && watching && break; sleep 0.1; done
[ -f "$entry" ] || fail "the switch wrote no autostart entry"
grep -q '^Exec=".*orbelune" idle$' "$entry" || fail "the autostart entry does not start orbelune idle: $(cat "$entry")"
watching || fail "the switch did not start the watcher"
[ "$("$orbelune" defaults read StartAfterMinutes)" = "10.0" ] || fail "the switch did not store the minutes"
# The lock's switch below it stores its minutes while on, 0 while off.
xdotool mousemove --window "$win" 36 410 click 1
for _ in $(seq 30); do [ "$("$orbelune" defaults read LockAfterMinutes 2>/dev/null)" = "5.0" ] && break; sleep 0.1; done
[ "$("$orbelune" defaults read LockAfterMinutes)" = "5.0" ] || fail "the lock's switch did not store its minutes"
xdotool mousemove --window "$win" 36 410 click 1
for _ in $(seq 30); do [ "$("$orbelune" defaults read LockAfterMinutes)" = "0.0" ] && break; sleep 0.1; done
[ "$("$orbelune" defaults read LockAfterMinutes)" = "0.0" ] || fail "the lock's switch did not store 0 when off"
# Off takes both away.
xdotool mousemove --window "$win" 36 370 click 1
for _ in $(seq 100); do [ ! -f "$entry" ] && ! watching && break; sleep 0.1; done
[ ! -f "$entry" ] || fail "the switch left the autostart entry"
watching && fail "the switch left the watcher running"

# A switch-on that fails (the autostart folder is a file) says so once, and
# leaves a watcher started from the shell running.
"$orbelune" idle --after 1h >/dev/null 2>&1 & watcher=$!
for _ in $(seq 50); do watching && break; sleep 0.1; done
watching || fail "orbelune idle took no lock"
rm -rf "$XDG_CONFIG_HOME/autostart"; echo not-a-folder >"$XDG_CONFIG_HOME/autostart"
shown() { xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l; }
before=$(shown)
xdotool mousemove --window "$win" 36 370 click 1
sleep 2
after=$(shown)
[ "$after" -eq $((before + 1)) ] || fail "a failed switch-on showed $((after - before)) windows, not one error dialog"
kill -0 "$watcher" 2>/dev/null || fail "a failed switch-on stopped the running watcher"
kill -TERM "$watcher"; wait "$watcher" || true
kill -TERM "$pid"
wait "$pid" || true
echo "settings app under Xvfb: all checks passed"
INNER
"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$app" "$orbelune" "$work" \
  "$(dirname "$0")/x11_checks.sh"
