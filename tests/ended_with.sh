# Sourced by the compositor tests: ended_with PID STATUS waits up to 10 s for
# the background process PID to end and checks that it ended with STATUS.
ended_with() {
  for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && { echo "process $1 still runs"; return 1; }
  local status=0
  wait "$1" || status=$?
  [ "$status" -eq "$2" ] || { echo "status $status, not $2"; return 1; }
}
