#!/usr/bin/env bash
# The Plasma wallpaper on Plasma's lock screen (Debian 13 root): the greeter
# (kscreenlocker_greet --testing, on Wayland: a layer-shell-qt surface) under a
# KWin 6 nested in a headless sway, with the wallpaper picked in
# kscreenlockerrc, shows the figure behind Plasma's own lock screen, and its
# frames move; a corrupt settings file still gives the figure. The wallpaper
# never stands in the way of unlocking: a wrong password, typed through KWin's
# fake input, keeps the greeter, and the right one ends it as --testing does
# on success ("Unlocked", status 0), also with the corrupt settings file. The
# QML module is the one the Debian 13 build (debian13_build_test.sh) made in
# the root.
#   plasma_lock_kwin_test.sh SOURCE_DIR TEST_CLIENT [QML_DIR]
set -euo pipefail
source_dir=$1 client=$2
source "$(dirname "$0")/kwin_checks.sh"
qml=${3:-${ORBELUNE_ROOT_CACHE:-/var/cache/orbelune}/build-trixie/build/qml}
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
# The greeter checks tester's password through PAM's service "kde"; the root
# has no such file, so PAM takes "other", Debian's common-auth.
printf 'tester:lunar42\n' | in_root chpasswd
# Linux key codes of "lunar42" and of "lunar43", each followed by Return.
right_keys=(38 22 49 30 19 5 3 28) wrong_keys=(38 22 49 30 19 5 4 28)

# On Wayland the greeter shows one layer-shell-qt surface on each output.
start_kwin_in_sway 1
output=$(kwin_outputs | head -1)
greeter_pid="" greeter_job=""
start_greeter() {
  kwin_bus env XDG_RUNTIME_DIR="$rt" WAYLAND_DISPLAY="$WAYLAND_DISPLAY" QT_QPA_PLATFORM=wayland \
    XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" QML_IMPORT_PATH="$qml" \
    QT_LOGGING_RULES=kscreenlocker_greet.debug=true \
    sh -c 'echo $$ >"$1/greeter.pid"; exec "$2" --testing' sh "$rt" "$greet" >"$work/greeter.log" 2>&1 &
  greeter_job=$!
  for _ in $(seq 100); do [ -s "$rt/greeter.pid" ] && break; sleep 0.1; done
  greeter_pid=$(cat "$rt/greeter.pid")
}
greeter_fail() { echo "--- greeter:"; tail -20 "$work/greeter.log"; fail "$*"; }
# The greeter's debug lines say when PAM asks for a password and when it
# refused one. Keys typed before PAM asks, or in the 2 s delay and the lock
# screen's 3 s pause after a refusal, are lost or cut the password short.
said() { grep -c "$1" "$work/greeter.log" || true; }
greeter_says() {
  for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done
  greeter_fail "$2"
}
# A key (Shift) shows the password field and starts PAM's conversation; the
# password follows once PAM asks for it.
type_password() {
  "$client" key 42 || greeter_fail "no keys through KWin's fake input"
  greeter_says '[ "$(said "Secret prompt from interactive")" -gt "$(said "responding to interactive")" ]' \
    "PAM did not ask for a password"
  "$client" key "$@" || greeter_fail "no keys through KWin's fake input"
}
unlocks() {
  type_password "${right_keys[@]}"
  ended_with "$greeter_job" 0 || greeter_fail "$1: the right password did not end the greeter with status 0"
  grep -qx Unlocked "$work/greeter.log" || greeter_fail "$1: the greeter ended without saying Unlocked"
  rm -f "$rt/greeter.pid"
}

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
type_password "${wrong_keys[@]}"
greeter_says '[ "$(said "Failure from interactive")" -eq 1 ]' "PAM did not refuse a wrong password"
kill -0 "$greeter_pid" 2>/dev/null || greeter_fail "a wrong password ended the greeter"
grep -q Unlocked "$work/greeter.log" && greeter_fail "a wrong password unlocked"
unlocks "with the figure"

mkdir -p "$work/config/orbelune"
printf '{ "FigureSize": ' >"$work/config/orbelune/org.orbelune.Orbelune.json"
chown -R "$(tester_ids)" "$work/config/orbelune"
start_greeter
shows_figure_on "$output" || greeter_fail "a corrupt settings file leaves the lock screen without the figure"
[ "$(ls "$work/config/orbelune")" = org.orbelune.Orbelune.json ] || fail "the greeter wrote beside the settings file"
unlocks "with a corrupt settings file"
echo "lock screen under KWin $(in_root kwin_wayland --version 2>/dev/null | awk '{ print $2 }'): the figure" \
  "shows and moves, a wrong password keeps it and the right one unlocks, also with a corrupt settings file"
