# Shell helpers for the tests of orbelune lock on the Debian 13 root's sway,
# sourced with $orbelune set to the build's binary. Off Debian 13's sway
# (ORBELUNE_DESKTOP=trixie) the test is skipped; otherwise sway_checks.sh is
# sourced, the build folder shared with the root, the root's user "tester"
# given the password $password, and the PAM service put in place as the
# package installs it. The locker runs as tester with its output in
# $work/lock.N.{out,err}; screenshots tell the blue desktop window from the
# lock; the waits are on the locker's own lines rather than on fixed times.
#   desktop_shows OUTPUT     more than half of OUTPUT is the blue window
#   no_desktop_on OUTPUT     no screenshot for about a second shows it
#   start_lock               a new locker ($lock_pid; $locks counts them), run
#                            through the command in ${lock_prefix[@]} when set
#   wait_locked              it said "locked"
#   said LINE SECONDS        the last locker's --verbose output has LINE
#   type_password TEXT       Escape, TEXT, Return in one wtype call (separate calls lose keys)
#   ended_with_in PID STATUS SECONDS
#   unlock_typing PID SECONDS  types $password until PID ends, for SECONDS at most
#   lock_said                what the last locker and sway said, for a failure
[ "${ORBELUNE_DESKTOP:-}" = trixie ] || { echo "SKIP: runs on Debian 13's sway (ORBELUNE_DESKTOP=trixie)"; exit 77; }
source "$(dirname "${BASH_SOURCE[0]}")/sway_checks.sh"
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
password='Lock-pass 42'
locks=0
lock_prefix=()

share_with_root "$(dirname "$(dirname "$orbelune")")"
printf 'tester:%s\n' "$password" | in_root chpasswd
cp "$source_dir/resources/orbelune.pam" "$droot/etc/pam.d/orbelune"

desktop_shows() {
  grim -o "$1" "$work/count.png" 2>/dev/null || return 1
  convert "$work/count.png" -format '%[fx:mean.b > 0.5 && mean.r < 0.2 ? 1 : 0]' info: | grep -qx 1
}
no_desktop_on() {
  for _ in 1 2 3; do
    if desktop_shows "$1"; then echo "the desktop window shows on $1"; return 1; fi
    sleep 0.3
  done
}
start_lock() {
  locks=$((locks + 1))
  # Started as a simple command, so that $! is the locker itself (the root's
  # script execs chroot, which execs it).
  "$droot_script" run --user tester env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" \
    XDG_CONFIG_HOME="$work/config" "${lock_prefix[@]}" "$orbelune" lock --verbose >"$work/lock.$locks.out" 2>"$work/lock.$locks.err" &
  lock_pid=$!
}
said() {
  for _ in $(seq $(($2 * 5))); do grep -qx "orbelune lock: $1" "$work/lock.$locks.out" && return 0; sleep 0.2; done
  cat "$work/lock.$locks.out" "$work/lock.$locks.err"
  ps -o pid,ppid,stat,wchan:24,etime,cmd -p "$lock_pid" --ppid "$lock_pid" 2>/dev/null || true
  return 1
}
wait_locked() { said locked 10; }
type_password() { wtype -k Escape "$1" -k Return; }
ended_with_in() {
  for _ in $(seq $(($3 * 10))); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && return 1
  local status=0
  wait "$1" || status=$?
  [ "$status" -eq "$2" ] || { echo "status $status, not $2"; return 1; }
}
# Keys typed while a password is checked are dropped (and the Escape that
# starts each try gives a check under way up): the right one is typed again
# every few seconds until the locker ends.
unlock_typing() {
  local deadline=$((SECONDS + $2)) tries=0
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
    type_password "$password"
    tries=$((tries + 1))
    for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  done
  [ $tries -le 1 ] || echo "(the right password was typed $tries times)"
}
# What the last locker and sway said, for a failure's message.
lock_said() {
  cat "$work/lock.$locks.out" "$work/lock.$locks.err"
  ps -o pid,ppid,stat,wchan:24,etime,cmd -p "$lock_pid" --ppid "$lock_pid" 2>/dev/null || true
  { grep -iE "client|lock|error" "$work/sway.log" || true; } | tail -5
}
