# Shell helpers for the tests that look at windows on a virtual X server.
source "$(dirname "${BASH_SOURCE[0]}")/script_checks.sh"

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
shows_figure() { figure_shows "$2" import -window "$1" "$2"; }

# The first window whose name matches $1, once there.
find_window() {
  local w
  for _ in $(seq 300); do
    w=$(xdotool search --name "$1" 2>/dev/null | head -1)
    [ -n "$w" ] && { echo "$w"; return; }
    sleep 0.1
  done
}
mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }
becomes_mapped() { for _ in $(seq 100); do mapped "$1" && return 0; sleep 0.1; done; return 1; }

# open_sheet WINDOW: clicks Options… in the settings window WINDOW and prints
# the options sheet's id once the sheet is drawn. GTK lays a new window's
# widgets out in its first frame, which a loaded machine may draw well after
# the window is mapped, and a click before that lands on no widget. Drawn
# means: the empty stretch right of the text colour's well shows the sheet's
# even, light background (before, that area shows the screen's black and
# white weave, or black).
open_sheet() {
  local sheet
  xdotool mousemove --window "$1" 579 410 click 1
  sheet=$(find_window '^Orbelune Options$')
  [ -n "$sheet" ] && becomes_mapped "$sheet" || return 1
  for _ in $(seq 100); do
    import -window "$sheet" -crop 100x30+400+550 +repage -colorspace gray \
      -format '%[fx:mean > 0.8 && standard_deviation < 0.02]' info: 2>/dev/null | grep -qx 1 &&
      { echo "$sheet"; return 0; }
    sleep 0.1
  done
  return 1
}

# In the options sheet $1, the text field at $2,$3 (in the window) gets the
# text $4, then OK: succeeds once the sheet has gone.
enter_and_ok() {
  xdotool mousemove --window "$1" "$2" "$3" click --repeat 3 1
  xdotool type "$4"
  xdotool mousemove --window "$1" 563 610 click 1
  for _ in $(seq 100); do mapped "$1" || return 0; sleep 0.1; done
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
