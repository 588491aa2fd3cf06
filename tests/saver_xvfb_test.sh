#!/usr/bin/env bash
# The saver as XScreenSaver runs it: on a window it is given, on a virtual X
# server. It must draw the figure there and end with status 0 on SIGTERM.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/script_checks.sh"
need Xvfb xwininfo xrandr import convert
make_work_folder

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2
source "$3"

# A window of the saver's own stands in for the one XScreenSaver would give.
"$orbelune" --window & host=$!
id=$(saver_window)
[ -n "$id" ] || fail "the saver's own window never appeared"

# The hack proper, drawing into that window the way XScreenSaver's preview runs it.
"$orbelune" -window-id "$id" & hack=$!
shows_figure "$id" "$work/shot.png" || fail "no figure in the window"

kill -TERM "$hack"
status=0; wait "$hack" || status=$?
[ "$status" -eq 0 ] || fail "the hack ended with status $status on SIGTERM"

# --root with XSCREENSAVER_WINDOW draws on that window too, and SIGINT ends it.
XSCREENSAVER_WINDOW=$id "$orbelune" --root & root=$!
catches_signals "$root" || fail "--root never set up its signal handling"
sleep 0.3
kill -INT "$root"
status=0; wait "$root" || status=$?
[ "$status" -eq 0 ] || fail "--root ended with status $status on SIGINT"

# A stopped X server answers nothing: SIGTERM must end the hack all the same.
"$orbelune" -window-id "$id" & stuck=$!
catches_signals "$stuck" || fail "the hack never set up its signal handling"
sleep 0.5
kill -STOP "$XVFB_PID"
kill -TERM "$stuck"
for _ in $(seq 100); do kill -0 "$stuck" 2>/dev/null || break; sleep 0.05; done
if kill -0 "$stuck" 2>/dev/null; then
  kill -9 "$stuck"; kill -CONT "$XVFB_PID"; fail "SIGTERM did not end the hack while the server was stopped"
fi
kill -CONT "$XVFB_PID"
status=0; wait "$stuck" || status=$?
[ "$status" -eq 0 ] || fail "the hack ended with status $status on SIGTERM while the server was stopped"

# The window going away ends the hack with a message, not a hang.
"$orbelune" -window-id "$id" 2>"$work/err" & orphan=$!
catches_signals "$orphan" || fail "the hack never set up its signal handling"
sleep 0.5
kill -TERM "$host"; wait "$host" || true
for _ in $(seq 100); do kill -0 "$orphan" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$orphan" 2>/dev/null; then kill -9 "$orphan"; fail "the hack outlived its window"; fi
grep -q "destroyed\|gone" "$work/err" || fail "no message when the window went away: $(cat "$work/err")"
# --fullscreen follows the monitors: one added gets a view of its own, and
# loses it again when it goes.
views() { xwininfo -root -tree | grep -c '"Orbelune"' || true; }
wait_views() { for _ in $(seq 150); do [ "$(views)" -eq "$1" ] && return 0; sleep 0.1; done; return 1; }
"$orbelune" --fullscreen & full=$!
wait_views 1 || fail "--fullscreen did not open one view for the one monitor ($(views))"
xrandr --setmonitor orbelune-test 400/100x300/75+400+300 none
wait_views 2 || fail "a monitor added did not get a view ($(views))"
second=$(xwininfo -root -tree | awk '/"Orbelune"/ && / 400x300\+400\+300/ {print $1; exit}')
[ -n "$second" ] || fail "no view covers the added monitor: $(xwininfo -root -tree | grep Orbelune)"
shows_figure "$second" "$work/second.png" || fail "no figure on the added monitor"
xrandr --delmonitor orbelune-test
wait_views 1 || fail "a monitor removed kept its view ($(views))"
kill -TERM "$full"; wait "$full" || true
echo "saver under Xvfb: all checks passed"
INNER
"$(dirname "$0")/with_xvfb.sh" 800x600x24 bash "$work/inner.sh" "$orbelune" "$work" "$(dirname "$0")/x11_checks.sh"
