#!/usr/bin/env bash
# The saver on X servers of other depths: on 16-bit (565), 15-bit and 30-bit
# (10-10-10) TrueColor screens it draws its figure, in a window of its own and
# in one it is given (as under XScreenSaver); on an 8-bit PseudoColor screen it
# says it cannot and ends with status 1.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/script_checks.sh"
need Xvfb xwininfo import convert
make_work_folder

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2 depth=$3
source "$4"
fail() { echo "FAIL at depth $depth: $*"; exit 1; }
"$orbelune" --window & host=$!
id=$(saver_window)
[ -n "$id" ] || fail "the saver's own window never appeared"
shows_figure "$id" "$work/own-$depth.png" || fail "no figure in its own window"
"$orbelune" -window-id "$id" & hack=$!
sleep 0.5
shows_figure "$id" "$work/given-$depth.png" || fail "no figure in a given window"
kill -TERM "$hack" "$host"
wait "$hack" "$host" || true
echo "depth $depth: the figure shows"
INNER

checks=$(dirname "$0")/x11_checks.sh
for depth in 16 15 30; do
  "$(dirname "$0")/with_xvfb.sh" 640x480x$depth bash "$work/inner.sh" "$orbelune" "$work" "$depth" "$checks"
done

cat >"$work/pseudo.sh" <<'INNER'
status=0
timeout 10 "$1" --window 2>"$2/err" || status=$?
[ "$status" -eq 1 ] || { echo "FAIL: on 8-bit PseudoColor the saver ended with status $status"; exit 1; }
grep -q "cannot draw on (it needs TrueColor)" "$2/err" || { echo "FAIL: no clear message: $(cat "$2/err")"; exit 1; }
echo "depth 8 (PseudoColor): a clear message and status 1"
INNER
"$(dirname "$0")/with_xvfb.sh" 640x480x8 bash "$work/pseudo.sh" "$orbelune" "$work"
