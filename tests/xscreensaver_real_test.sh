#!/usr/bin/env bash
# After `orbelune xscreensaver-register`, the real XScreenSaver runs the saver:
# its first program, selected, is `orbelune --root`. XScreenSaver launches no
# hacks as root, so this runs as nobody when the tests run as root.
set -euo pipefail
bindir=$(dirname "$1")
for tool in xscreensaver xscreensaver-command xvfb-run; do
  command -v "$tool" >/dev/null || { echo "SKIP: missing $tool (scripts/install-deps installs it)"; exit 0; }
done
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
as_user=()
if [ "$(id -u)" -eq 0 ]; then
  chown nobody:nogroup "$home"
  if ! runuser -u nobody -- test -x "$1"; then
    echo "SKIP: nobody cannot run $1 (its folder is not readable to other users)"
    exit 0
  fi
  as_user=(runuser -u nobody --)
fi
cat >"$home/inner.sh" <<'INNER'
set -euo pipefail
orbelune xscreensaver-register >/dev/null
xscreensaver -no-splash -verbose >"$HOME/xss.log" 2>&1 &
for _ in $(seq 150); do xscreensaver-command -version >/dev/null 2>&1 && break; sleep 0.1; done
xscreensaver-command -select 1 >/dev/null
found=no
for _ in $(seq 300); do
  if grep -q 'forked "orbelune --root"' "$HOME/xss.log"; then found=yes; break; fi
  sleep 0.1
done
xscreensaver-command -exit >/dev/null 2>&1 || true
[ "$found" = yes ] || { echo "FAIL: XScreenSaver did not run orbelune"; cat "$HOME/xss.log"; exit 1; }
echo "XScreenSaver ran orbelune --root from the registered list"
INNER
chmod 755 "$home/inner.sh"
"$(dirname "$0")/with_xvfb.sh" 800x600x24 "${as_user[@]}" env HOME="$home" PATH="$bindir:$PATH" \
  bash "$home/inner.sh"
