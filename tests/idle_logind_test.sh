#!/usr/bin/env bash
# orbelune idle --lock-after and logind, on a bus of the test's own standing in
# for the system bus (tests/logind_standin.py as logind), on a virtual X
# server, with GNOME's screen saver standing in for the lock
# (tests/screensaver_standin.py: orbelune lock asks it, it unlocks by itself):
#   - logind's Lock starts orbelune lock; a second Lock while it runs starts no other;
#   - a Lock forged by another peer of the bus starts none;
#   - before sleep it locks, holding the sleep back until the lock settled
#     (a few seconds at most), and takes its inhibitor again on resume;
#   - each locker's end is said.
set -euo pipefail
orbelune=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/script_checks.sh"
need dbus-run-session /usr/bin/python3
make_work_folder

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 here=$2 work=$3
fail() { echo "FAIL: $*"; echo "--- logind:"; cat "$work/logind"; echo "--- watcher:"; cat "$work/out" "$work/err"; exit 1; }
unset WAYLAND_DISPLAY
mkdir -m 700 "$work/run"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_ID=1
export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
/usr/bin/python3 "$here/screensaver_standin.py" gnome 1.5 >"$work/screensaver" & screensaver=$!
/usr/bin/python3 "$here/logind_standin.py" >"$work/logind" & logind=$!
for _ in $(seq 50); do grep -q ready "$work/logind" && grep -q ready "$work/screensaver" && break; sleep 0.1; done
grep -q ready "$work/logind" || fail "the logind stand-in did not start"
# Never idle long enough: what locks is logind alone.
"$orbelune" idle --after 24h --lock-after 24h --verbose >"$work/out" 2>"$work/err" & watcher=$!
for _ in $(seq 200); do grep -q "inhibited 2" "$work/logind" && break; sleep 0.1; done
sleep 1
kill "$watcher" "$logind" "$screensaver" 2>/dev/null || true
wait 2>/dev/null || true
grep -q "inhibited 2" "$work/logind" || fail "no inhibitor taken again after the resume"
grep -q forged "$work/logind" || fail "the stand-in forged no Lock"
# Two locks (the Lock, the sleep): neither the forged Lock nor the Lock while one ran started one.
[ "$(grep -c "locking the session (logind asked)" "$work/out")" -eq 2 ] || fail "not two lockers"
[ "$(grep -c "^active" "$work/screensaver")" -eq 2 ] || fail "the screen saver was not asked to lock twice"
[ "$(grep -c "ended: unlocked" "$work/out")" -eq 2 ] || fail "the lockers' ends were not said"
held=$(sed -n 's/^released //p' "$work/logind")
[ -n "$held" ] || fail "the sleep inhibitor was not let go in the sleep"
awk -v s="$held" 'BEGIN { exit !(s >= 0.3 && s <= 3.5) }' || fail "the sleep was held $held s, not until the lock settled"
grep -qi "error\|cannot" "$work/err" && fail "the watcher complained"
echo "lock on logind's word: all checks passed"
INNER
"$here/with_xvfb.sh" 640x480x24 dbus-run-session -- bash "$work/inner.sh" "$orbelune" "$here" "$work"
