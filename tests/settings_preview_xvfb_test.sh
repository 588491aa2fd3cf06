#!/usr/bin/env bash
# The settings app's preview follows OK: with no sweep, X frequency 3 changed
# to 1 in the sheet and OK pressed, the preview shows the 1:2 figure a saver
# started now would show, not the 3:2 one it ran before (the sheet's edits act
# on a running figure without restarting it; the app restarts it when the
# sheet ends).
set -euo pipefail
app=$1 orbelune=$2
source "$(dirname "$0")/script_checks.sh"
need Xvfb xdotool import convert
make_work_folder
cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
app=$1 orbelune=$2 work=$3
source "$4"
export XDG_CONFIG_HOME=$work/config GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
# The pixels the figure covered over 1.2 s (its whole 1 s period) as a mask:
# the preview's yellow pixels in eight shots, merged.
footprint() {
  local out=$1 i
  for i in $(seq 8); do
    import -window "$win" -crop 600x360+20+16 +repage "$work/shot-$i.png"
    yellow_mask "$work/shot-$i.png" "$work/mask-$i.png" 50
    sleep 0.15
  done
  convert "$work"/mask-*.png -evaluate-sequence max "$out"
}
count() { convert "$@" -format '%[fx:mean*w*h]' info:; }

"$orbelune" defaults write SweepMethod -int 0
"$orbelune" defaults write FrequencyX1 -float 3
"$orbelune" defaults write FrequencyY1 -float 2
"$app" 2>/dev/null & pid=$!
win=$(find_window '^Orbelune$')
[ -n "$win" ] || fail "the settings window never appeared"
sleep 1.5
footprint "$work/before.png"

sheet=$(open_sheet "$win") || fail "Options… did not show the sheet"
# X frequency: 3 -> 1, then OK.
enter_and_ok "$sheet" 235 114 1 || fail "OK did not end the sheet"
stored=$("$orbelune" defaults read FrequencyX1)
[ "$stored" = "1.0" ] || fail "OK did not store the X frequency (stored: $stored)"
sleep 1
footprint "$work/after.png"
kill -TERM "$pid"
wait "$pid" || true

both=$(count "$work/before.png" "$work/after.png" -compose darken -composite)
either=$(count "$work/before.png" "$work/after.png" -compose lighten -composite)
echo "figure pixels before: $(count "$work/before.png"), after: $(count "$work/after.png"), shared: $both of $either"
awk -v b="$both" -v e="$either" 'BEGIN { exit !(e > 500 && b / e < 0.5) }' ||
  fail "the preview kept its old figure after OK"
echo "settings preview under Xvfb: all checks passed"
INNER
"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$app" "$orbelune" "$work" \
  "$(dirname "$0")/x11_checks.sh"
