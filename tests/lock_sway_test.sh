#!/usr/bin/env bash
# orbelune lock on Debian 13's sway 1.10 (ext-session-lock-v1), in the root
# scripts/desktop-root makes. The locker runs inside the root as its user
# "tester" (so PAM checks tester's password there, with /etc/pam.d/orbelune),
# typed at through wtype's virtual keyboard. A blue window stands for the
# desktop: while locked no screenshot may show it (sway paints an abandoned
# lock red).
#   - locked: the figure on every output, and no desktop window;
#   - a wrong password keeps it locked and shows the message;
#   - the right one unlocks with status 0, and the window shows again;
#   - SIGKILL, SIGSEGV and SIGTERM of the locker leave the session locked, and a new
#     orbelune lock takes over and unlocks;
#   - a second locker while locked is refused with status 1 and one line;
#   - keys on a second seat reach the prompt.
set -euo pipefail
orbelune=$(realpath "$1")
source "$(dirname "$0")/lock_checks.sh"
# The desktop window is all blue; the figure is yellow on black, so only
# white text (the prompt) has blue in it.
prompt_text() {  # the blue of the area where the prompt is drawn, in pixels
  grim -o "$1" "$work/count.png" 2>/dev/null || { echo 0; return; }
  convert "$work/count.png" -gravity south -crop 60%x35%+0+40 +repage -format '%[fx:mean.b*w*h]' info: |
    awk '{ printf "%d\n", $1 }'
}
start_sway
ipc create_output >/dev/null  # two outputs
env -u DISPLAY "$orbelune" --window --background-color blue --line-color blue & window=$!
for _ in $(seq 50); do desktop_shows HEADLESS-1 && break; sleep 0.2; done
desktop_shows HEADLESS-1 || fail "the desktop window did not show"

start_lock
wait_locked || fail "orbelune lock did not say locked"
shows_figure HEADLESS-1 || fail "no figure on the first output while locked"
shows_figure HEADLESS-2 || fail "no figure on the second output while locked"
no_desktop_on HEADLESS-1 || fail "the desktop window shows through the lock"
cp "$work/HEADLESS-1.png" "$work/locked.png"

# A second locker is refused, in one line, while the first holds the lock.
"$droot_script" run --user tester env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" XDG_CONFIG_HOME="$work/config" \
  "$orbelune" lock >"$work/second.out" 2>"$work/second.err" && fail "a second locker claimed the lock"
[ "$(wc -l <"$work/second.err")" -eq 1 ] || { cat "$work/second.err"; fail "the refusal is not one line"; }
grep -q "refused" "$work/second.err" || { cat "$work/second.err"; fail "the refusal does not say so"; }
kill -0 "$lock_pid" || fail "the first locker ended when a second was refused"

# A wrong password: still locked, the message shown.
before=$(prompt_text HEADLESS-1)
[ "$before" -lt 20 ] || fail "a prompt shows before any key ($before)"
if [ -n "${ORBELUNE_SHOTS_DIR:-}" ]; then  # the prompt with dots, for the README
  wtype "typing"
  sleep 1
  grim -o HEADLESS-1 "$work/typing.png"
fi
type_password "not the password"
shown=0
for _ in $(seq 20); do
  now=$(prompt_text HEADLESS-1)
  [ "$now" -gt 100 ] && { shown=1; break; }
  sleep 0.3
done
[ $shown = 1 ] || fail "no prompt or message over the figure after a wrong password ($now)"
grim -o HEADLESS-1 "$work/wrong.png"
kill -0 "$lock_pid" || fail "a wrong password ended the locker"
no_desktop_on HEADLESS-1 || fail "a wrong password unlocked"
grep -qi "not the password" "$work"/lock.1.* && fail "the password reached the locker's output"

# The right password, once the refusal was said (keys during the check are
# dropped).
said "wrong password" 15 || fail "--verbose did not say the password was refused"
grim -o HEADLESS-1 "$work/refused.png"
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock with status 0"; }
grep -q "unlocked" "$work/lock.1.out" || fail "--verbose did not say unlocked"
sleep 0.5
desktop_shows HEADLESS-1 || fail "the desktop window did not show again after unlocking"
if grep -rqi "$password" "$work"/lock.1.*; then fail "the password reached the locker's output"; fi

# A locker killed (SIGKILL, SIGSEGV, SIGTERM) leaves the session locked; a new one takes over.
for signal in KILL SEGV TERM; do
  start_lock
  wait_locked || fail "orbelune lock did not lock (before SIG$signal)"
  kill -"$signal" "$lock_pid"
  wait "$lock_pid" 2>/dev/null || true
  sleep 0.5
  no_desktop_on HEADLESS-1 || fail "SIG$signal of the locker unlocked the session"
  no_desktop_on HEADLESS-2 || fail "SIG$signal of the locker unlocked the second output"
  start_lock
  wait_locked || fail "a new orbelune lock did not take over after SIG$signal"
  shows_figure HEADLESS-1 || fail "no figure from the locker that took over after SIG$signal"
  unlock_typing "$lock_pid" 20
  ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the new locker did not unlock after SIG$signal"; }
  sleep 0.5
  desktop_shows HEADLESS-1 || fail "the desktop did not show again after the takeover's unlock"
done

# A second seat, announced after the first: wtype types on the seat it saw
# last, so its keys come from that seat, and they unlock as well.
ipc seat orbelune-second fallback false >/dev/null
start_lock
wait_locked || fail "orbelune lock did not lock with a second seat"
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "keys on the second seat did not reach the prompt"; }

mkdir -p "${ORBELUNE_SHOTS_DIR:-$work}"
cp "$work/locked.png" "$work/wrong.png" "$work/refused.png" "$work/typing.png" "${ORBELUNE_SHOTS_DIR:-$work}/" 2>/dev/null || true
kill "$window" 2>/dev/null || true
echo "lock on sway 1.10: all checks passed"
