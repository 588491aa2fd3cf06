#!/usr/bin/env bash
# orbelune idle --after 1s --lock-after 3s on Debian 13's sway 1.10, in the
# root scripts/desktop-root makes: the watcher runs there as the root's user
# "tester", so the orbelune lock it starts checks tester's password with PAM.
# A blue window stands for the desktop.
#   - the figure shows after the idle time, and the session locks about 3 s later;
#   - the watcher's figure hides under the lock, which shows the figure itself
#     and no desktop window;
#   - the locker killed: the session stays locked, and a new one takes over;
#   - the right password unlocks, the watcher says so and watches on.
set -euo pipefail
orbelune=$(realpath "$1")
source "$(dirname "$0")/lock_checks.sh"

now() { date +%s.%N; }
# Waits up to $2 seconds for the watcher to say $1; the time it was seen.
watcher_said() {
  for _ in $(seq $(($2 * 10))); do
    grep -qx "orbelune idle: $1" "$work/idle.out" 2>/dev/null && { now; return 0; }
    sleep 0.1
  done
  cat "$work/idle.out" "$work/idle.err" >&2
  return 1
}

start_sway
env -u DISPLAY "$orbelune" --window --background-color blue --line-color blue & window=$!
for _ in $(seq 50); do desktop_shows HEADLESS-1 && break; sleep 0.2; done
desktop_shows HEADLESS-1 || fail "the desktop window did not show"

"$droot_script" run --user tester env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" \
  XDG_CONFIG_HOME="$work/config" "$orbelune" idle --after 1s --lock-after 3s --verbose \
  >"$work/idle.out" 2>"$work/idle.err" &
watcher=$!
shown=$(watcher_said "showing the figure on 1 monitor" 20) || fail "the figure did not show after the idle time"
locked=$(watcher_said "the session is locked" 20) || fail "the session did not lock after the figure"
awk -v a="$shown" -v b="$locked" 'BEGIN { exit !(b - a >= 2.5 && b - a <= 10) }' ||
  fail "locked $(awk -v a="$shown" -v b="$locked" 'BEGIN { print b - a }') s after the figure showed, not about 3 s"
watcher_said "hidden under the lock" 5 >/dev/null || fail "the watcher's figure did not hide under the lock"
shows_figure HEADLESS-1 || fail "no figure under the lock"
no_desktop_on HEADLESS-1 || fail "the desktop window shows through the lock"

# The locker killed (a crash, the OOM killer): the session stays locked and
# the watcher starts another, which takes the lock over.
locker=$(pgrep -P "$watcher" -f "orbelune lock") || fail "no locker under the watcher"
kill -KILL "$locker"
watcher_said "locking the session (the last locker died with the session locked), process [0-9]*" 10 >/dev/null ||
  fail "no new locker after the first was killed"
no_desktop_on HEADLESS-1 || fail "the session unlocked when the locker was killed"
for _ in $(seq 100); do [ "$(grep -c "the session is locked" "$work/idle.out")" -eq 2 ] && break; sleep 0.1; done
[ "$(grep -c "the session is locked" "$work/idle.out")" -eq 2 ] || fail "the new locker did not take the lock over"

# The right password, typed until the watcher says the locker ended (keys
# while PAM starts are dropped).
unlocked=0
for _ in $(seq 8); do
  type_password "$password"
  watcher_said "the locker (process [0-9]*) ended: unlocked" 3 >/dev/null 2>&1 && { unlocked=1; break; }
done
[ $unlocked = 1 ] || { cat "$work/idle.out" "$work/idle.err"; fail "the right password did not unlock"; }
kill -0 "$watcher" 2>/dev/null || fail "the watcher ended with the lock"
[ "$(grep -c "ended with" "$work/idle.err")" -eq 1 ] || { cat "$work/idle.err"; fail "the watcher said a locker failed"; }
grep -q "ended with signal KILL; the session stays locked, and a new locker starts in 1 s" "$work/idle.err" ||
  { cat "$work/idle.err"; fail "the killed locker's end was not said"; }
[ "$(grep -c "locking the session" "$work/idle.out")" -eq 2 ] || fail "not two lockers, one after the other"
if grep -rqi "$password" "$work"/idle.*; then fail "the password reached the watcher's output"; fi
kill "$watcher" "$window" 2>/dev/null || true
echo "idle lock on sway 1.10: all checks passed"
