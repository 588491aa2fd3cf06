# Sourced by the idle watcher's compositor tests, whose watcher writes its
# --verbose lines to $work/out and runs as $watcher: count, said, and the
# cycle every compositor is put through.
count() { grep -c "$1" "$work/out" || true; }
# Waits (up to $3 tenths of a second) until the watcher has said $2 $1 times.
said() { for _ in $(seq "${3:-100}"); do [ "$(count "$2")" -ge "$1" ] && return 0; sleep 0.1; done; return 1; }

# idle_cycle_checks KEY_COMMAND...: once the figure has shown, a key pressed
# by KEY_COMMAND hides it, it shows again after the next idle time, pointer
# travel ($client move) hides it, an idle inhibitor held by $client keeps it
# from showing, it shows once the inhibitor goes, and SIGTERM ends the watcher
# with status 0.
idle_cycle_checks() {
  "$@" || fail "could not press a key ($*)"
  said 1 "hidden on input" 100 || fail "a key did not hide the figure"
  said 2 "showing the figure" 200 || fail "the figure did not show again after the next idle time"
  sleep 0.5
  "$client" move 50 5 || fail "the test client could not move the pointer"
  said 2 "hidden on input" 100 || fail "pointer travel did not hide the figure"
  # An idle inhibitor (a playing video's) keeps it from showing.
  "$client" inhibit >"$work/inhibitor" &
  local inhibitor=$!
  sleep 4
  grep -q inhibiting "$work/inhibitor" || fail "the test client holds no inhibitor"
  [ "$(count "showing the figure")" -eq 2 ] || fail "the figure showed while a client inhibited idleness"
  kill "$inhibitor"
  said 3 "showing the figure" 200 || fail "the figure did not show once the inhibitor went"
  kill -TERM "$watcher"
  ended_with "$watcher" 0 || fail "SIGTERM did not end the watcher with status 0"
}
