#!/usr/bin/env bash
# The Plasma wallpaper on Plasma's lock screen (Debian 13 root): the greeter
# (kscreenlocker_greet --testing, on Wayland: a layer-shell-qt surface) under a
# KWin 6 nested in a headless sway, with the wallpaper picked in
# kscreenlockerrc, shows the figure behind Plasma's own lock screen, and its
# frames move; a corrupt settings file still gives the figure. The QML module
# is the one the Debian 13 build (debian13_build_test.sh) made in the root.
#   plasma_lock_kwin_test.sh SOURCE_DIR [QML_DIR]
set -euo pipefail
source_dir=$1
source "$(dirname "$0")/kwin_checks.sh"
qml=${2:-${ORBELUNE_ROOT_CACHE:-/var/cache/orbelune}/build-trixie/build/qml}
if [ ! -f "$qml/org/orbelune/figure/qmldir" ]; then
  echo "SKIP: no QML module built in the Debian 13 root at $qml (debian13_build_and_unit_tests builds it)"
  exit 77
fi
greet=$(ls "$droot"/usr/lib/*/libexec/kscreenlocker_greet 2>/dev/null | head -1)
[ -n "$greet" ] || { echo "SKIP: the root has no kscreenlocker_greet"; exit 77; }
greet=${greet#"$droot"}
# The lock screen's QML is the Plasma shell package's; without it the greeter
# shows its built-in locker, which draws no wallpaper.
if [ ! -f "$droot/usr/share/plasma/shells/org.kde.plasma.desktop/contents/lockscreen/LockScreen.qml" ]; then
  echo "SKIP: the root has no Plasma shell lock screen (its greeter would show no wallpaper)"
  exit 77
fi
share_with_root "$qml"
chmod -R a+rX "$qml"

# The wallpaper package where Plasma looks for a user's own, picked for the lock screen.
mkdir -p "$work/data/plasma/wallpapers" "$work/config"
cp -r "$source_dir/resources/plasma-wallpaper" "$work/data/plasma/wallpapers/org.orbelune.Orbelune"
printf '[Greeter]\nWallpaperPlugin=org.orbelune.Orbelune\n' >"$work/config/kscreenlockerrc"
chown -R "$(tester_ids)" "$work/data" "$work/config"

# On Wayland the greeter shows one layer-shell-qt surface on each output.
start_kwin_in_sway 1
output=$(kwin_outputs | head -1)
greeter_pid="" greeter_job=""
start_greeter() {
  kwin_bus env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" QT_QPA_PLATFORM=wayland \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QML_IMPORT_PATH="$qml" \
    sh -c 'echo $$ >"$1/greeter.pid"; exec "$2" --testing' sh "$rt" "$greet" >"$work/greeter.log" 2>&1 &
  greeter_job=$!
  for _ in $(seq 100); do [ -s "$rt/greeter.pid" ] && break; sleep 0.1; done
  greeter_pid=$(cat "$rt/greeter.pid")
}
# Waits for the greeter alone: sway and KWin are jobs of this shell too.
stop_greeter() { kill "$greeter_pid" 2>/dev/null || true; wait "$greeter_job" 2>/dev/null || true; rm -f "$rt/greeter.pid"; }
greeter_fail() { echo "--- greeter:"; tail -20 "$work/greeter.log"; fail "$*"; }

start_greeter
shows_figure_on "$output" || greeter_fail "the lock screen shows no figure on $output"
# Below the lock screen's clock, whose seconds change by themselves, and with
# the figure's status line: each picture differs from the one before, so the
# figure has its own frames, not only those the clock's repaint brings.
for n in 1 2 3; do
  in_sway grim -t ppm -g "0,200 1280x520" - >"$work/figure-$n.ppm" || fail "no picture of the lock screen"
  [ "$n" -eq 1 ] || ! cmp -s "$work/figure-$((n - 1)).ppm" "$work/figure-$n.ppm" ||
    greeter_fail "the figure on the lock screen does not move"
  sleep 0.2
done
if [ -n "${ORBELUNE_SCREENSHOT:-}" ]; then in_sway grim "$rt/shot.png" && cp "$rt/shot.png" "$ORBELUNE_SCREENSHOT"; fi
# The built-in locker it falls back to on a QML error shows no wallpaper.
grep -q "falling back to built-in locker" "$work/greeter.log" && greeter_fail "the greeter fell back to its own locker"
# The figure's own lines and QML's about its module; the runtime folder's
# name has "orbelune" in it too.
grep -qE "orbelune wallpaper|org[./]orbelune" "$work/greeter.log" && greeter_fail "the greeter said something of the figure's"
stop_greeter

mkdir -p "$work/config/orbelune"
printf '{ "FigureSize": ' >"$work/config/orbelune/org.orbelune.Orbelune.json"
chown -R "$(tester_ids)" "$work/config/orbelune"
start_greeter
shows_figure_on "$output" || greeter_fail "a corrupt settings file leaves the lock screen without the figure"
[ "$(ls "$work/config/orbelune")" = org.orbelune.Orbelune.json ] || fail "the greeter wrote beside the settings file"
stop_greeter
echo "lock screen under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }'): the figure" \
  "shows and moves, also with a corrupt settings file"
