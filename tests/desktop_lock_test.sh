#!/usr/bin/env bash
# orbelune lock on GNOME and KDE asks the desktop's own screen saver to lock,
# over the session bus (a stand-in on a bus of the test's own), says in one
# line that the figure does not show there, and exits 0 only once the screen
# saver is inactive again; a refusal is status 1 with one line.
set -euo pipefail
orbelune=$1
here=$(cd "$(dirname "$0")" && pwd)
source "$(dirname "$0")/script_checks.sh"
need dbus-run-session /usr/bin/python3
make_work_folder

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 here=$2 work=$3
fail() { echo "FAIL: $*"; exit 1; }
unset WAYLAND_DISPLAY
export DISPLAY=:0 XDG_CONFIG_HOME=$work/config
run_case() {  # kind desktop expected-status
  /usr/bin/python3 "$here/screensaver_standin.py" "$1" 1.5 >"$work/$1.standin" & standin=$!
  for _ in $(seq 50); do grep -q ready "$work/$1.standin" && break; sleep 0.1; done
  grep -q ready "$work/$1.standin" || fail "the $1 stand-in did not start"
  status=0
  XDG_CURRENT_DESKTOP=$2 timeout 20 "$orbelune" lock --verbose >"$work/$1.out" 2>"$work/$1.err" || status=$?
  kill "$standin" 2>/dev/null || true
  wait "$standin" 2>/dev/null || true
  [ "$status" -eq "$3" ] || { cat "$work/$1.err"; fail "$1: status $status, not $3"; }
  [ "$(wc -l <"$work/$1.err")" -eq 1 ] || { cat "$work/$1.err"; fail "$1: not one line"; }
}
run_case gnome GNOME 0
grep -q "GNOME's own lock screen locks the session; the figure does not show under it" "$work/gnome.err" ||
  fail "GNOME: $(cat "$work/gnome.err")"
grep -q "inactive" "$work/gnome.standin" || fail "GNOME: ended before the screen saver was inactive"
grep -q unlocked "$work/gnome.out" || fail "GNOME: --verbose did not say unlocked"
run_case kde KDE 0
grep -q "KDE's own lock screen" "$work/kde.err" || fail "KDE: $(cat "$work/kde.err")"
run_case refuse GNOME 1
grep -q "refused to lock" "$work/refuse.err" || fail "refusal: $(cat "$work/refuse.err")"
grep -q unlocked "$work/refuse.out" && fail "a refused lock claimed an unlock"
echo "desktop lock: all checks passed"
INNER
dbus-run-session -- bash "$work/inner.sh" "$orbelune" "$here" "$work"
