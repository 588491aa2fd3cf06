#!/usr/bin/env bash
# The figure under xsecurelock on a virtual X server: the installed
# saver_orbelune module as xsecurelock's saver draws it on the locked
# screen, and `orbelune lock` on X11 (no XScreenSaver daemon) hands over to
# xsecurelock with that module, grabbing nothing itself, and does not claim
# an unlock when the locker ends otherwise (status 1, not 0).
set -euo pipefail
build=$1
command -v xsecurelock >/dev/null || { echo "missing xsecurelock (scripts/install-deps installs it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
export XDG_CONFIG_HOME=$work/config

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
prefix=$1 work=$2
source "$3"
fail() { echo "FAIL: $*"; exit 1; }
unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY
export XSECURELOCK_NO_COMPOSITE=1
root=$(xwininfo -root | awk '/Window id:/ {print $4}')

XSECURELOCK_SAVER="$prefix/libexec/xsecurelock/saver_orbelune" xsecurelock & locker=$!
shows_figure "$root" "$work/xsecurelock.png" || fail "no figure under xsecurelock's lock"
kill -TERM "$locker"; wait "$locker" || true
sleep 0.5

"$prefix/bin/orbelune" lock --verbose >"$work/lock.out" 2>"$work/lock.err" & lock=$!
shows_figure "$root" "$work/lock.png" || { cat "$work/lock.err"; fail "no figure under orbelune lock's xsecurelock"; }
grep -q "xsecurelock" "$work/lock.out" || fail "--verbose did not say it locks with xsecurelock"
pkill -TERM -x -P "$lock" xsecurelock || fail "orbelune lock did not run xsecurelock"
status=0; wait "$lock" || status=$?
[ "$status" -eq 1 ] || fail "orbelune lock exited $status when xsecurelock ended without an unlock"
grep -q unlocked "$work/lock.out" && fail "orbelune lock claimed an unlock"
echo "xsecurelock: all checks passed"
INNER
"$(dirname "$0")/with_xvfb.sh" 800x600x24 bash "$work/inner.sh" "$work/prefix" "$work" "$(dirname "$0")/x11_checks.sh"
