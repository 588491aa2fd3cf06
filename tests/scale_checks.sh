# Shell helpers for the tests of drawing at a fractional scale: a figure whose
# picture holds still (a circle traced many times a frame, and a status line
# of fixed text), what the Wayland host told the compositor (from its
# WAYLAND_DEBUG log), and a picture's match with `orbelune render` of the same
# figure at the same scale. Needs $orbelune, $work and fail().

# 50 Hz on both axes a quarter turn apart: a circle, whole in every frame; no
# sweep, so that the status line says only the frequencies.
scale_figure=(--sweep-method 0 --frequency-x1 50 --frequency-y1 50 --phase-x1 90 --phase-y1 0 --line-width 2
  --status --show-frequencies --no-show-phases)

# scaled LENGTH SCALE: LENGTH x SCALE rounded half away from zero.
scaled() { awk -v l="$1" -v s="$2" 'BEGIN { v = l * s; printf "%d\n", v + 0.5 }'; }

# last_call LOG PATTERN: the arguments of the last request or event matching
# PATTERN (e.g. 'create_buffer'), comma-separated, without spaces.
last_call() {
  grep -E "$2\(" "$1" | tail -1 | sed -E "s/.*$2\((.*)\).*/\1/; s/new id [^,]*, //; s/ //g"
}

# buffers_of LOG WIDTH HEIGHT: waits up to 10 s for the log to show a buffer
# of WIDTH x HEIGHT made (and no other made after it).
buffers_of() {
  local made=""
  for _ in $(seq 100); do
    made=$(last_call "$1" 'wl_shm_pool@[0-9]+\.create_buffer' | cut -d, -f2,3)
    [ "$made" = "$2,$3" ] && return 0
    sleep 0.1
  done
  echo "last buffer made: ${made:-none}, not $2,$3"
  return 1
}

# told_no_buffer_scale LOG: the surface's buffer scale was never set (under a
# viewport it stays 1, the default).
told_no_buffer_scale() {
  ! grep -q 'set_buffer_scale(' "$1" || { grep 'set_buffer_scale(' "$1" | head -3; return 1; }
}

# Counts pixels of a picture: `lit FILE GEOMETRY PERCENT` is how many pixels
# in the GEOMETRY crop have green above PERCENT (the figure is yellow, the
# status line white, the background black).
lit() {
  convert "$1" -crop "$2" +repage -channel G -separate +channel -threshold "$3%" -format '%[fx:round(mean*w*h)]' info:
}

# matches_render PICTURE SCALE: PICTURE (W x H pixels) is what `orbelune
# render` draws of the figure at SCALE on W x H: the status line's band the
# same to the pixel, the same number of pixels lit across the circle's middle
# row (the line's width and edges), and the circle's pixels the same but for
# a few (where the samples of one frame fall differs from run to run). A
# picture drawn at another scale and resampled differs in all three.
matches_render() {
  local picture=$1 scale=$2 w h
  read -r w h < <(identify -format '%w %h\n' "$picture")
  "$orbelune" render --size "${w}x$h" --scale "$scale" --frames 30 --interval 0.05 --quiet \
    --last "$work/render.png" "${scale_figure[@]}" || return 1
  local band=$((h / 12)) row=$((h / 2))
  local text
  text=$(compare -metric AE -extract "${w}x$band+0+$((h - band))" "$picture" "$work/render.png" null: 2>&1) || true
  local across_p across_r
  across_p=$(lit "$picture" "${w}x1+0+$row" 50)
  across_r=$(lit "$work/render.png" "${w}x1+0+$row" 50)
  convert "$picture" -channel G -separate +channel -threshold 50% "$work/mask-picture.png"
  convert "$work/render.png" -channel G -separate +channel -threshold 50% "$work/mask-render.png"
  local differ ring
  differ=$(compare -metric AE "$work/mask-picture.png" "$work/mask-render.png" null: 2>&1) || true
  ring=$(lit "$work/render.png" "${w}x$((h - band))+0+0" 50)
  last_match="status line: $text pixels differ; across the middle row: $across_p lit, render $across_r;"
  last_match+=" circle: $differ of $ring pixels differ"
  [ "$text" = 0 ] && [ "$across_p" = "$across_r" ] && [ "$across_r" -gt 0 ] &&
    awk -v d="$differ" -v r="$ring" 'BEGIN { exit !(r > 0 && d * 20 < r) }'
}
