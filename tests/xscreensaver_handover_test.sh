#!/usr/bin/env bash
# orbelune lock's hand-over to XScreenSaver's daemon, against a stand-in
# xscreensaver-command that answers -time as the daemon does: the daemon
# fades out before it locks, so the first answers after -lock still read
# "non-blanked". Exit status 0 only once the lock was seen and then ended;
# a lock request the daemon never acts on is status 1.
set -euo pipefail
orbelune=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cat >"$work/bin/xscreensaver-command" <<'FAKE'
#!/usr/bin/env bash
# $FAKE_PLAN: one word per -time call after -lock (n = non-blanked, l = locked);
# past its end the last word repeats.
dir=$FAKE_DIR
case "$1" in
  -lock) touch "$dir/asked"; exit 0 ;;
  -time)
    if [ ! -e "$dir/asked" ]; then echo "XScreenSaver 6.06: screen non-blanked since Thu Dec 10 12:00:00 2026"; exit 0; fi
    n=$(cat "$dir/calls" 2>/dev/null || echo 0); echo $((n + 1)) >"$dir/calls"
    read -r -a plan <<<"$FAKE_PLAN"
    word=${plan[$n]:-${plan[-1]}}
    echo "$word" >>"$dir/answers"
    if [ "$word" = l ]; then echo "XScreenSaver 6.06: screen locked since Thu Dec 10 12:00:05 2026"
    else echo "XScreenSaver 6.06: screen non-blanked since Thu Dec 10 12:00:00 2026"; fi ;;
  *) exit 1 ;;
esac
FAKE
chmod +x "$work/bin/xscreensaver-command"

run_lock() {  # plan -> the exit status; the answers given are in $FAKE_DIR/answers
  export FAKE_DIR=$work/$1 FAKE_PLAN=$2
  mkdir -p "$FAKE_DIR"
  local status=0
  env -u WAYLAND_DISPLAY -u XDG_CURRENT_DESKTOP DISPLAY=:98 PATH="$work/bin:$PATH" \
    timeout 30 "$orbelune" lock >"$FAKE_DIR/out" 2>"$FAKE_DIR/err" || status=$?
  echo "$status"
}

# Fading for two answers, locked for two, then unlocked.
status=$(run_lock fade "n n l l n")
[ "$status" -eq 0 ] || { cat "$work/fade/err"; echo "FAIL: exit $status after a lock and an unlock"; exit 1; }
[ "$(tr -d '\n' <"$work/fade/answers")" = nnlln ] ||
  { echo "FAIL: ended after the answers $(tr -d '\n' <"$work/fade/answers"), before the lock ended"; exit 1; }

# The daemon took the request but never locked.
status=$(run_lock never "n")
[ "$status" -eq 1 ] || { echo "FAIL: exit $status though the screen never locked"; exit 1; }
grep -q "did not lock" "$work/never/err" || { cat "$work/never/err"; echo "FAIL: no line about the missing lock"; exit 1; }
echo "XScreenSaver hand-over: all checks passed"
