# Shell helpers for the tests that look at windows on a virtual X server.

# The id of the saver's own window ("Orbelune"), once it is there (a loaded
# machine may take seconds to start it).
saver_window() {
  local id=""
  for _ in $(seq 200); do
    id=$(xwininfo -root -tree | awk '/"Orbelune"/ {print $1; exit}')
    [ -n "$id" ] && break
    sleep 0.1
  done
  echo "$id"
}

# Succeeds once a screenshot of window $1 (kept as $2) shows the yellow figure.
shows_figure() {
  local yellow=0
  for _ in $(seq 20); do
    sleep 0.5
    import -window "$1" "$2"
    yellow=$(convert "$2" -fx '(r>0.6 && g>0.6 && b<0.3) ? 1 : 0' -format '%[fx:mean*w*h]' info:)
    awk -v n="$yellow" 'BEGIN { exit !(n > 200) }' && { echo "yellow pixels: $yellow"; return 0; }
  done
  echo "yellow pixels: $yellow"
  return 1
}

# Waits until process $1 catches SIGTERM and SIGINT, so that a signal sent next
# tests the saver's handling rather than how fast it starts on a busy machine.
catches_signals() {
  for _ in $(seq 100); do
    local caught
    caught=$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null) || return 1
    # SIGINT is bit 1, SIGTERM bit 14.
    [ -n "$caught" ] && (( (16#$caught & 0x4002) == 0x4002 )) && return 0
    sleep 0.05
  done
  return 1
}
