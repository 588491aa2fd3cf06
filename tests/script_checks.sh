# Shell helpers every test script sources first: fail, need TOOL...,
# yellow_pixels and figure_shows, and a FAIL line naming the command and line
# when `set -e` ends a script, so that no test ends without saying why.

fail() { echo "FAIL: $*"; exit 1; }

# $work, a folder of the script's own removed when it ends, with the
# settings in it.
make_work_folder() {
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  export XDG_CONFIG_HOME=$work/config
}

need() {
  local tool
  for tool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps installs it)"; exit 1; }
  done
}

set -E
trap 'echo "FAIL: ${BASH_SOURCE[0]##*/}:$LINENO: \"$BASH_COMMAND\" ended with status $?" >&2' ERR

# How many pixels of picture $1 are the figure's yellow (red and green above
# $2 percent, blue at most 30 percent): one threshold a channel and a count,
# not a per-pixel expression, which costs seconds of CPU a screenshot.
yellow_pixels() {
  convert "$1" -alpha off -separate \
    \( -clone 0 -threshold "${2:-60}%" \) \( -clone 1 -threshold "${2:-60}%" \) \( -clone 2 -threshold 30% -negate \) \
    -delete 0-2 -evaluate-sequence min -format '%[fx:round(mean*w*h)]' info:
}

# The same pixels as a black-and-white mask: yellow_mask PICTURE MASK [PERCENT].
yellow_mask() {
  convert "$1" -alpha off -separate \
    \( -clone 0 -threshold "${3:-60}%" \) \( -clone 1 -threshold "${3:-60}%" \) \( -clone 2 -threshold 30% -negate \) \
    -delete 0-2 -evaluate-sequence min "$2"
}

# figure_shows PICTURE COMMAND...: succeeds once COMMAND, run again and again,
# has written a PICTURE with the yellow figure in it (over 200 pixels). It
# tries for ORBELUNE_FIGURE_SECONDS (default 30 s), as a busy machine may take
# that long to start a saver and answer a screenshot; prints the count.
figure_shows() {
  local picture=$1 yellow=0
  shift
  local deadline=$((SECONDS + ${ORBELUNE_FIGURE_SECONDS:-30}))
  while :; do
    sleep 0.3
    if "$@" 2>/dev/null; then
      # A picture half written when read counts as none.
      yellow=$(yellow_pixels "$picture" 2>/dev/null) || yellow=0
      [ "${yellow:-0}" -gt 200 ] && { echo "yellow pixels: $yellow"; return 0; }
    fi
    [ "$SECONDS" -lt "$deadline" ] || break
  done
  echo "yellow pixels: $yellow"
  return 1
}
