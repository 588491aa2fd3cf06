#!/usr/bin/env bash
# The X11 host at fractional DPI: with Xft.dpi 120 and 144 in the server's
# resources, the saver's window draws lines and text at 1.25 and 1.5, its
# picture that of `orbelune render` at that scale (and not at 1).
set -euo pipefail
orbelune=$1
source "$(dirname "$0")/script_checks.sh"
need Xvfb xrdb xwininfo import convert compare identify
make_work_folder
export XDG_CONFIG_HOME=$work/config

cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
orbelune=$1 work=$2
source "$3"
source "$4"
fail() { echo "FAIL: $*"; exit 1; }
for case in "120 1.25" "144 1.5"; do
  read -r dpi scale <<<"$case"
  echo "Xft.dpi: $dpi" | xrdb -merge
  "$orbelune" --window "${scale_figure[@]}" & saver=$!
  id=$(saver_window)
  [ -n "$id" ] || fail "the saver's window never appeared at Xft.dpi $dpi"
  matched=false
  for _ in $(seq 20); do
    sleep 0.3
    import -window "$id" "$work/shot-$dpi.png" 2>/dev/null || continue
    if matches_render "$work/shot-$dpi.png" "$scale"; then matched=true; break; fi
  done
  $matched || fail "at Xft.dpi $dpi the picture is not the render's at $scale: $last_match"
  echo "Xft.dpi $dpi: $last_match"
  ! matches_render "$work/shot-$dpi.png" 1 || fail "at Xft.dpi $dpi the picture is the render's at 1"
  kill -TERM "$saver"
  wait "$saver" || fail "the saver did not end with status 0 on SIGTERM"
  # The next window opens where this one was: wait until it is gone.
  for _ in $(seq 50); do [ -z "$(xwininfo -root -tree | awk '/"Orbelune"/')" ] && break; sleep 0.1; done
done
echo "X11 at fractional DPI: all checks passed"
INNER
"$(dirname "$0")/with_xvfb.sh" 1280x720x24 bash "$work/inner.sh" "$orbelune" "$work" "$(dirname "$0")/x11_checks.sh" \
  "$(dirname "$0")/scale_checks.sh"
