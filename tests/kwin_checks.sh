# Shell helpers for the tests under KWin 6 of the Debian 13 root
# (tests/desktop_root.sh): a work folder and KWin's runtime folder shared with
# the root, start_kwin, start_kwin_in_sway, covers_outputs PID,
# shows_figure_on OUTPUT, shows_no_figure_on OUTPUT and ended_with PID STATUS
# (ended_with.sh). KWin runs inside the root as its user "tester", on a session
# bus of its own (dbus-run-session); the binaries under test run here and reach
# it through its socket in the shared runtime folder.
#
# KWin's fake input (org_kde_kwin_fake_input, open to every client with
# KWIN_WAYLAND_NO_PERMISSION_CHECKS) drives the keyboard and the pointer.
# Pictures: KWin's screenshot interface (org.kde.KWin.ScreenShot2) exists only
# when KWin composites with OpenGL, which needs a DRM render node. Without one,
# a KWin started by start_kwin_in_sway draws its outputs as windows of a
# headless sway, and grim takes their pictures there; a KWin on its virtual
# backend then has no pictures, shows_figure_on says so, and the tests rest on
# covers_outputs, KWin's own list of the windows it shows and where.

fail() { echo "FAIL: $*"; [ -f "$rt/kwin.log" ] && { echo "--- kwin:"; grep -av '^js: ' "$rt/kwin.log" | tail -15; }; exit 1; }
source "$(dirname "${BASH_SOURCE[0]}")/desktop_root.sh"
source "$(dirname "${BASH_SOURCE[0]}")/ended_with.sh"
require_desktop_root
tests_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
rt=$(mktemp -d /tmp/orbelune-kwin.XXXXXX)
# Debian gives /usr/bin/kwin_wayland a file capability, which this sandbox
# cannot grant ("Operation not permitted"); a copy (cp drops it), still named
# kwin_wayland, runs.
kwin_copy=$(mktemp -d "$droot/tmp/kwin-XXXXXX")
kwin_pid="" kwin_session="" sway_pid="" pictures=none
cleanup() {
  if [ -n "$kwin_pid" ]; then kill "$kwin_pid" 2>/dev/null || true; fi
  if [ -n "$sway_pid" ]; then kill "$sway_pid" 2>/dev/null || true; fi
  # dbus-run-session ends KWin's bus once KWin has gone: ended before, it
  # would leave the bus behind.
  if [ -n "$kwin_session" ]; then
    for _ in $(seq 50); do kill -0 "$kwin_session" 2>/dev/null || break; sleep 0.1; done
  fi
  for pid in $(jobs -p); do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  unshare_with_root
  rm -rf "$work" "$rt" "$kwin_copy"
}
trap cleanup EXIT
chmod 755 "$work"
share_with_root "$work" "$rt"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$rt WAYLAND_DISPLAY=wayland-orbelune
cp "$droot/usr/bin/kwin_wayland" "$kwin_copy/"
cp "$tests_dir/kwin_screenshot.py" "$tests_dir/yellow_pixels.py" "$work/"
chmod 755 "$kwin_copy"

# start_kwin WIDTH HEIGHT OUTPUTS: KWin's virtual backend with OUTPUTS outputs
# of WIDTHxHEIGHT side by side; returns once its socket and its scripting
# interface answer.
start_kwin() {
  fresh_runtime_folder
  run_kwin --virtual --width "$1" --height "$2" --output-count "$3"
}
# start_kwin_in_sway OUTPUTS [KWIN_ARG...]: a headless sway (1280x720, no
# borders) and in it a KWin with OUTPUTS outputs, each a window of sway's,
# tiled side by side.
start_kwin_in_sway() {
  fresh_runtime_folder
  printf 'default_border none\n' >"$rt/sway.config"
  # sway says its own process id: the one of the background job here is a
  # shell's that only waits for it.
  in_root_as_tester env XDG_RUNTIME_DIR="$rt" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sh -c 'echo $$ >"$1/sway.pid"; exec sway -c "$1/sway.config"' sh "$rt" >"$rt/sway.log" 2>&1 &
  for _ in $(seq 100); do
    [ -S "$rt/wayland-1" ] && ls "$rt"/sway-ipc.* >/dev/null 2>&1 && break
    sleep 0.1
  done
  sway_pid=$(cat "$rt/sway.pid" 2>/dev/null || true)
  [ -S "$rt/wayland-1" ] || { cat "$rt/sway.log"; fail "sway did not start"; }
  run_kwin --wayland-display wayland-1 --output-count "$@"
}
fresh_runtime_folder() {
  rm -rf "${rt:?}"/*
  chown "$(tester_ids)" "$rt"
  chmod 700 "$rt"
}
# No lock screen: it would take the keyboard after five idle minutes.
run_kwin() {
  cat >"$rt/start.sh" <<EOF
echo "\$DBUS_SESSION_BUS_ADDRESS" >$rt/bus.partial && mv $rt/bus.partial $rt/bus
echo \$\$ >$rt/kwin.pid
exec ${kwin_copy#"$droot"}/kwin_wayland $* --no-lockscreen --socket $WAYLAND_DISPLAY
EOF
  # The background job ends once dbus-run-session has ended KWin's bus.
  in_root_as_tester env XDG_RUNTIME_DIR="$rt" KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 \
    KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 dbus-run-session -- sh "$rt/start.sh" >"$rt/kwin.log" 2>&1 &
  kwin_session=$!
  for _ in $(seq 300); do
    [ -S "$rt/$WAYLAND_DISPLAY" ] && [ -f "$rt/bus" ] && kwin_bus gdbus introspect --session -d org.kde.KWin \
      -o /Scripting >/dev/null 2>&1 && break
    sleep 0.1
  done
  kwin_pid=$(cat "$rt/kwin.pid" 2>/dev/null || true)
  [ -S "$rt/$WAYLAND_DISPLAY" ] || fail "KWin did not start"
  kwin_bus gdbus introspect --session -d org.kde.KWin -o /Scripting >/dev/null 2>&1 ||
    fail "KWin's scripting interface did not answer"
  pictures=none
  if [ -n "$sway_pid" ]; then
    pictures=sway
  elif kwin_bus gdbus introspect --session -d org.kde.KWin -o /org/kde/KWin/ScreenShot2 2>/dev/null |
      grep -q CaptureScreen; then
    pictures=screenshot2
  else
    echo "note: KWin offers no ScreenShot2 (it composites with QPainter without a DRM render node): the" \
      "figure's placement is checked through KWin's window list, not its pixels"
  fi
}
# Runs CMD inside the root on KWin's session bus.
kwin_bus() { in_root_as_tester env DBUS_SESSION_BUS_ADDRESS="$(cat "$rt/bus")" "$@"; }

# kwin_windows: KWin's outputs and the windows it shows, as a script of its
# own prints them into its log, one a line:
#   output NAME X Y W H
#   window PID X Y W H HIDDEN
kwin_windows() {
  # A tag of its own for each query (callers run it in a subshell, so no
  # counter of this shell's would do), by which its lines are found in the log.
  local tag id script
  tag="orbelune-$BASHPID-$(date +%s%N)"
  script="$work/$tag.js"
  cat >"$script" <<EOF
for (const o of workspace.screens)
  print("$tag output " + o.name + " " + o.geometry.x + " " + o.geometry.y + " " + o.geometry.width + " " +
        o.geometry.height);
for (const w of workspace.stackingOrder)
  print("$tag window " + w.pid + " " + w.frameGeometry.x + " " + w.frameGeometry.y + " " + w.frameGeometry.width +
        " " + w.frameGeometry.height + " " + w.hidden);
print("$tag end");
EOF
  chmod 644 "$script"
  id=$(kwin_bus gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.loadScript \
    "$script" "$tag" | tr -dc 0-9)
  [ -n "$id" ] || return 1
  kwin_bus gdbus call --session -d org.kde.KWin -o "/Scripting/Script$id" -m org.kde.kwin.Script.run >/dev/null
  for _ in $(seq 30); do
    grep -aq "^js: $tag end" "$rt/kwin.log" && break
    sleep 0.1
  done
  kwin_bus gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.unloadScript "$tag" \
    >/dev/null || true
  grep -a "^js: $tag " "$rt/kwin.log" | sed "s/^js: $tag //" | grep -v '^end$'
}

# Succeeds once every output of KWin is covered exactly by a shown window of
# process $1 (the saver's layer surfaces); waits up to about 6 s.
covers_outputs() {
  local list=""
  for _ in $(seq 20); do
    list=$(kwin_windows) || true
    if awk -v pid="$1" '
        $1 == "output" { outputs[$3 " " $4 " " $5 " " $6] = $2; n++ }
        $1 == "window" && $2 == pid && $7 == "false" { covered[$3 " " $4 " " $5 " " $6] = 1 }
        END { if (n == 0) exit 1; for (g in outputs) if (!(g in covered)) exit 1 }' <<<"$list"; then
      return 0
    fi
    sleep 0.3
  done
  echo "KWin's outputs and windows (process $1 expected on each):"
  echo "$list"
  return 1
}

# The names of KWin's outputs, one a line.
kwin_outputs() { kwin_windows | awk '$1 == "output" { print $2 }'; }

# The yellow pixels in a picture of KWin's output $1 now, or nothing when
# there is no way to take one.
figure_pixels() {
  case $pictures in
    sway)
      local geometry
      geometry=$(in_sway swaymsg -t get_tree | /usr/bin/python3 -c '
import json, sys
def walk(node):
    if " %s " % sys.argv[1] in (node.get("name") or "") and node.get("pid"):
        r = node["rect"]
        print("%d,%d %dx%d" % (r["x"], r["y"], r["width"], r["height"]))
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
walk(json.load(sys.stdin))' "$1" | head -1)
      [ -n "$geometry" ] || { echo "no window of sway's shows KWin's output $1" >&2; return 1; }
      in_sway grim -t ppm -g "$geometry" - | /usr/bin/python3 "$tests_dir/yellow_pixels.py"
      ;;
    screenshot2) kwin_bus python3 "$work/kwin_screenshot.py" "$1" ;;
  esac
}
in_sway() { in_root_as_tester env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY=wayland-1 SWAYSOCK="$(ls "$rt"/sway-ipc.*)" "$@"; }

# shows_figure_on OUTPUT / shows_no_figure_on OUTPUT: succeed once a picture
# of the output has (more than 200) / has no yellow pixels, waiting up to
# about 6 s; at once where there are no pictures.
shows_figure_on() { figure_seen "$1" -gt 200; }
shows_no_figure_on() { figure_seen "$1" -eq 0; }
figure_seen() {
  local yellow=""
  for _ in $(seq 20); do
    if yellow=$(figure_pixels "$1" 2>>"$work/pictures.err"); then
      [ -n "$yellow" ] || return 0
      [ "$yellow" "$2" "$3" ] && return 0
    fi
    sleep 0.3
  done
  echo "yellow pixels on $1: ${yellow:-none} $(tail -3 "$work/pictures.err")"
  return 1
}
