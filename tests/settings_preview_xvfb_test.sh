#!/usr/bin/env bash
# The settings app's preview follows OK: with no sweep, X frequency 3 changed
# to 1 in the sheet and OK pressed, the preview shows the 1:2 figure a saver
# started now would show, not the 3:2 one it ran before (the sheet's edits act
# on a running figure without restarting it; the app restarts it when the
# sheet ends).
set -euo pipefail
app=$1 orbelune=$2
for tool in Xvfb xdotool import convert; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
app=$1 orbelune=$2 work=$3
export XDG_CONFIG_HOME=$work/config GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
fail() { echo "FAIL: $*"; exit 1; }
find_window() { for _ in $(seq 80); do w=$(xdotool search --name "$1" 2>/dev/null | head -1); [ -n "$w" ] && { echo "$w"; return; }; sleep 0.1; done; }
mapped() { xwininfo -id "$1" | grep -q 'IsViewable'; }
# The pixels the figure covered over 1.2 s (its whole 1 s period) as a mask:
# the preview's yellow pixels in eight shots, merged.
footprint() {
  local out=$1 i
  for i in $(seq 8); do
    import -window "$win" -crop 600x360+20+16 +repage "$work/shot-$i.png"
    convert "$work/shot-$i.png" -fx '(r>0.5 && g>0.5 && b<0.3) ? 1 : 0' "$work/mask-$i.png"
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

xdotool mousemove --window "$win" 579 410 click 1
sheet=$(find_window '^Orbelune Options$')
[ -n "$sheet" ] || fail "Options… did not open the sheet"
sleep 0.5
# X frequency: 3 -> 1, then OK.
xdotool mousemove --window "$sheet" 235 114 click --repeat 3 1
xdotool type "1"
xdotool mousemove --window "$sheet" 563 610 click 1
sleep 0.5
mapped "$sheet" && fail "OK did not end the sheet"
[ "$("$orbelune" defaults read FrequencyX1)" = "1.0" ] || fail "OK did not store the X frequency"
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
"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$app" "$orbelune" "$work"
