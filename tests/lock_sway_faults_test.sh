#!/usr/bin/env bash
# orbelune lock on Debian 13's sway 1.10 against the faults that must never
# unlock, each followed by the right password proving the locker is still the
# one in charge (or, where it is gone, by a new locker taking over):
#   - the locker and its password check's process not dumpable (their
#     memory and environment closed to their own user);
#   - the password check's process killed: another takes its place and the
#     right password unlocks; killed once more than it is replaced at once,
#     the next one comes only after a wait (said once), and the right
#     password unlocks again, also while logins are refused (/etc/nologin);
#   - a PAM module that hangs: Escape gives the check up, and a check past
#     its 45 s is stopped, each time with a new process in its place, and the
#     right password unlocks;
#   - memory that cannot be locked (ulimit -l 0) is said once, and the lock
#     works all the same;
#   - SIGHUP, SIGINT, SIGPIPE, SIGABRT and SIGUSR1 of the locker: the session stays
#     locked, and a locker that ends does so with a status other than 0;
#   - another user's password, a paste far longer than a password: locked;
#   - an output unplugged and one plugged in while locked: the new one is
#     covered, and the right password still unlocks;
#   - an output whose frame cannot be had (a huge one, the address space
#     nearly used up): said once, the locker stays and the right password
#     unlocks.
set -euo pipefail
orbelune=$(realpath "$1")
source "$(dirname "$0")/lock_checks.sh"
other_password='Other-pass 7'
in_root sh -c 'id orbelune-other >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin orbelune-other'
printf 'orbelune-other:%s\n' "$other_password" | in_root chpasswd
# The check's process that took the place of $1, on stdout.
new_checker() {
  local c
  for _ in $(seq 50); do
    c=$(pgrep -P "$lock_pid" || true)
    [ -n "$c" ] && [ "$c" != "$1" ] && { echo "$c"; return 0; }
    sleep 0.1
  done
  return 1
}
unlock_with_new_locker() {  # $1: what came before, for the messages
  start_lock
  wait_locked || fail "a new orbelune lock did not take over after $1"
  unlock_typing "$lock_pid" 20
  ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the new locker did not unlock after $1"; }
  sleep 0.5
  desktop_shows HEADLESS-1 || fail "the desktop did not show again after the unlock following $1"
}

start_sway
swaymsg create_output >/dev/null
env -u DISPLAY "$orbelune" --window --background-color blue --line-color blue & window=$!
for _ in $(seq 50); do desktop_shows HEADLESS-1 && break; sleep 0.2; done
desktop_shows HEADLESS-1 || fail "the desktop window did not show"

# The password check's process killed: another takes its place, and the
# right password unlocks. The memory for the password cannot be locked
# here, which the locker says once.
lock_prefix=(prlimit --memlock=0:0)
start_lock
lock_prefix=()
wait_locked || fail "orbelune lock did not lock"
checker=$(pgrep -P "$lock_pid" || true)
[ -n "$checker" ] || fail "the locker has no password check process"
closed_to_its_user() {  # not dumpable: memory and environment closed even to their own user
  for file in mem environ; do
    if in_root_as_tester sh -c "head -c 1 /proc/$1/$file" >/dev/null 2>&1; then fail "the user can read /proc/$1/$file"; fi
  done
}
closed_to_its_user "$lock_pid"
closed_to_its_user "$checker"
kill -KILL "$checker"
replaced=$(new_checker "$checker") || { lock_said; fail "no new password check process after one was killed"; }
closed_to_its_user "$replaced"
no_desktop_on HEADLESS-1 || fail "the session unlocked when the check's process was killed"
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock with the replaced check"; }
[ "$(grep -c "could not be locked" "$work/lock.$locks.err")" -eq 1 ] ||
  { cat "$work/lock.$locks.err"; fail "the refused mlock was not said once"; }

# Killed once more than it is replaced at once: the next process comes only
# after a wait, which is said once, and the right password unlocks with it.
start_lock
wait_locked || fail "orbelune lock did not lock"
checker=$(pgrep -P "$lock_pid" || true)
for _ in 1 2 3 4 5; do
  kill -KILL "$checker"
  checker=$(new_checker "$checker") || { lock_said; fail "the check's process was not replaced five times"; }
done
kill -KILL "$checker"
sleep 0.3
[ -z "$(pgrep -P "$lock_pid" || true)" ] || fail "the check's process was replaced at once a sixth time"
checker=$(new_checker "$checker") || { lock_said; fail "no check process after the wait"; }
kill -KILL "$checker"
checker=$(new_checker "$checker") || { lock_said; fail "no check process after the second wait"; }
kill -0 "$lock_pid" 2>/dev/null || fail "the locker ended when its check's process failed"
no_desktop_on HEADLESS-1 || fail "the session unlocked while the check's process failed"
[ "$(grep -c "growing waits" "$work/lock.$locks.err")" -eq 1 ] ||
  { cat "$work/lock.$locks.err"; fail "the waits were not said once"; }
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock once the check came back"; }
grep -q "answers again" "$work/lock.$locks.err" || { cat "$work/lock.$locks.err"; fail "the check's return was not said"; }
sleep 0.5

# A PAM module that hangs while $work/hang exists (as one waiting on a
# network would): Escape gives the check up, a check past 45 s is stopped,
# each with a new process in its place, and then the right password unlocks.
printf '#!/bin/sh\n[ -e "%s/hang" ] && sleep 90\nexit 0\n' "$work" >"$work/hang-module"
chmod 755 "$work/hang-module"
{ echo "auth optional pam_exec.so quiet $work/hang-module"; cat "$source_dir/resources/orbelune.pam"; } \
  >"$droot/etc/pam.d/orbelune"
touch "$work/hang"
start_lock
wait_locked || fail "orbelune lock did not lock (hanging module)"
# Types the password until the check's process runs the module (a first
# wtype after the lock may lose keys).
check_hangs() {
  for _ in 1 2 3; do
    type_password "$password"
    for _ in $(seq 20); do pgrep -P "$checker" >/dev/null && return 0; sleep 0.1; done
  done
  lock_said
  fail "the check did not reach the hanging module"
}
checker=$(pgrep -P "$lock_pid" || true)
check_hangs
# A lone key of its own wtype call may be lost: Escape until the check's
# process is replaced (once given up, more Escapes only clear the prompt).
hung=$checker checker=
for _ in 1 2 3; do
  wtype -k Escape
  checker=$(new_checker "$hung") && break
done
[ -n "$checker" ] || { lock_said; fail "Escape did not give the hung check up"; }
no_desktop_on HEADLESS-1 || fail "the session unlocked when a hung check was given up"
sleep 1
check_hangs
sleep 46
checker=$(new_checker "$checker") || { lock_said; fail "the hung check was not stopped after 45 s"; }
grep -q "longer than 45 s" "$work/lock.$locks.err" || { cat "$work/lock.$locks.err"; fail "the stopped check was not said"; }
no_desktop_on HEADLESS-1 || fail "the session unlocked when a hung check was stopped"
rm "$work/hang"
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock after the hung checks"; }
cp "$source_dir/resources/orbelune.pam" "$droot/etc/pam.d/orbelune"
# Logins refused for a while (/etc/nologin, as before a planned shutdown):
# the owner of the locked session still gets in.
trap 'rm -f "$droot/etc/nologin"; cleanup' EXIT
echo "The system is going down" >"$droot/etc/nologin"
unlock_with_new_locker "a killed check process, with logins refused"
rm -f "$droot/etc/nologin"

# Signals a locker may be sent: none unlocks, none ends with status 0.
for signal in HUP INT PIPE ABRT USR1; do
  start_lock
  wait_locked || fail "orbelune lock did not lock (before SIG$signal)"
  kill -"$signal" "$lock_pid"
  ended_with_in "$lock_pid" 0 3 >/dev/null && fail "SIG$signal ended the locker with status 0"
  # A background job of this script ignores SIGINT from its start: the
  # locker then holds on, and is ended for the takeover.
  if kill -0 "$lock_pid" 2>/dev/null; then
    no_desktop_on HEADLESS-1 || fail "SIG$signal of the locker unlocked the session"
    kill -KILL "$lock_pid"; wait "$lock_pid" 2>/dev/null || true
  fi
  sleep 0.5
  no_desktop_on HEADLESS-1 || fail "SIG$signal of the locker unlocked the session"
  unlock_with_new_locker "SIG$signal"
done

# Another user's password, and a paste of 3000 characters, keep it locked;
# then an output goes and one comes, and the right password unlocks.
start_lock
wait_locked || fail "orbelune lock did not lock"
type_password "$other_password"
sleep 3
no_desktop_on HEADLESS-1 || fail "another user's password unlocked"
sleep 3
type_password "$(head -c 3000 /dev/zero | tr '\0' 'x')$password"
sleep 5
kill -0 "$lock_pid" 2>/dev/null || { cat "$work/lock.$locks.err"; fail "a long paste ended the locker"; }
no_desktop_on HEADLESS-1 || fail "a long paste unlocked"
swaymsg output HEADLESS-2 unplug >/dev/null
swaymsg create_output >/dev/null
sleep 1
new_output=$(swaymsg -t get_outputs | grep -o '"name": "HEADLESS-[0-9]*"' | grep -v 'HEADLESS-1"' | head -1 |
  sed 's/.*"\(HEADLESS-[0-9]*\)"/\1/')
[ -n "$new_output" ] || fail "no new output"
kill -0 "$lock_pid" 2>/dev/null || { cat "$work/lock.$locks.err"; fail "an output unplugged ended the locker"; }
shows_figure "$new_output" || fail "the output plugged in while locked has no figure"
no_desktop_on "$new_output" || fail "the output plugged in while locked shows the desktop"
unlock_typing "$lock_pid" 25
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock after the outputs changed"; }
sleep 0.5
desktop_shows HEADLESS-1 || fail "the desktop window did not show again"
# An output whose frame cannot be had (a huge one plugged in while the
# locker's address space is nearly used up): said once, the locker stays,
# the other outputs stay covered, and the right password unlocks.
# The room: what a locker on these outputs maps, and 100 MB more.
start_lock
wait_locked || fail "orbelune lock did not lock (before the huge output)"
sleep 1
vm_kb=$(awk '/^VmSize/ { print $2 }' "/proc/$lock_pid/status")
kill -KILL "$lock_pid"; wait "$lock_pid" 2>/dev/null || true
lock_prefix=(prlimit --as=$(((vm_kb + 100 * 1024) * 1024)))
start_lock
lock_prefix=()
wait_locked || { lock_said; fail "orbelune lock did not lock in 100 MB more than it needs"; }
ipc create_output >/dev/null
sleep 0.5
huge=$(outputs | tail -1)
ipc output "$huge" mode --custom 7680x4320 >/dev/null
sleep 4
kill -0 "$lock_pid" 2>/dev/null || { lock_said; fail "an output that could not be drawn ended the locker"; }
[ "$(grep -c "cannot draw on an output" "$work/lock.$locks.err")" -eq 1 ] ||
  { lock_said; fail "the output that could not be drawn was not said once"; }
shows_figure HEADLESS-1 || fail "the other output lost its figure"
no_desktop_on "$huge" || fail "the output that could not be drawn shows the desktop"
ipc output "$huge" unplug >/dev/null
unlock_typing "$lock_pid" 20
ended_with_in "$lock_pid" 0 1 || { lock_said; fail "the right password did not unlock after an output could not be drawn"; }

if grep -rqi -e "$password" -e "$other_password" "$work"/lock.*; then fail "a password reached the locker's output"; fi
kill "$window" 2>/dev/null || true
in_root userdel orbelune-other 2>/dev/null || true
echo "lock faults on sway 1.10: all checks passed"
