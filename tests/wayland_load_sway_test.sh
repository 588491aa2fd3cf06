#!/usr/bin/env bash
# The Wayland host under load: three large outputs of a headless sway, a dense
# fast figure, and outputs created and disabled again and again, so that many
# surfaces draw in one tick and the requests outrun the compositor's reading.
# A full socket must mean waiting for it, never the end of the saver. Then,
# short of memory for such an output, a clear line and status 1.
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/sway_checks.sh"
need sway python3
size=${ORBELUNE_LOAD_SIZE:-7680x4320}

start_sway
add_output >/dev/null
add_output >/dev/null
for n in 1 2 3; do ipc -- output "HEADLESS-$n" mode --custom "$size" >/dev/null || fail "HEADLESS-$n took no mode"; done
# The settings of the run, by default the stored ones (the built-in figure).
# shellcheck disable=SC2086
"$orbelune" --wayland-background ${ORBELUNE_LOAD_FLAGS:-} 2>"$work/err" & saver=$!
sleep 2
# Up to 15 rounds of churn, as many as fit in ORBELUNE_LOAD_SECONDS (default
# 45) and at least 3: on a busy machine sway takes seconds to set up each
# large output, and the test must end within its time limit, saying how far it got.
budget=$((SECONDS + ${ORBELUNE_LOAD_SECONDS:-45}))
for round in $(seq 15); do
  newest=$(add_output) || fail "round $round: no new output"
  sleep 0.3
  ipc -- output "$newest" mode --custom "$size" >/dev/null || fail "round $round: $newest took no mode"
  sleep 0.3
  ipc output "$newest" disable >/dev/null || fail "round $round: $newest was not disabled"
  kill -0 "$saver" 2>/dev/null || fail "the saver ended in round $round: $(cat "$work/err")"
  echo "round $round done at ${SECONDS}s"
  [ "$round" -ge 3 ] && [ "$SECONDS" -ge "$budget" ] && { echo "time is up after $round rounds"; break; }
done
sleep 1
kill -0 "$saver" 2>/dev/null || fail "the saver ended: $(cat "$work/err")"
kill -TERM "$saver"
ended_with "$saver" 0 || fail "SIGTERM did not end the saver with status 0"

# Short of memory for a large output's buffers, it says so once and ends with
# status 1, or it runs; it never crashes (inside fontconfig, say).
limits="200000 300000 400000"
[ -z "${ORBELUNE_NO_MEMORY_LIMITS:-}" ] || limits=""
echo "churn survived at ${SECONDS}s"
for kb in $limits; do
  status=0
  (ulimit -v "$kb"; timeout 5 "$orbelune" --wayland-background) 2>"$work/short-$kb" || status=$?
  case $status in
    124) ;;  # it ran until stopped
    1) [ "$(wc -l <"$work/short-$kb")" -eq 1 ] || fail "with $kb KB it said more than one line: $(cat "$work/short-$kb")" ;;
    *) fail "with $kb KB of memory it ended with status $status: $(cat "$work/short-$kb")" ;;
  esac
done
echo "Wayland host under load: it kept its connection through large outputs and their churn"
