#!/usr/bin/env bash
# Whether every reader of an XDG autostart entry takes `PROGRAM idle` from
# ENTRY: desktop-file-validate accepts it, systemd's autostart generator makes
# its unit, and GLib (gio launch) runs PROGRAM with "idle", which PROGRAM
# records in RECORD. Prints what a reader did instead; status 1 then.
set -uo pipefail
entry=$1 program=$2 record=$3
status=0
out=$(desktop-file-validate "$entry" 2>&1) || { echo "desktop-file-validate refuses it: $out"; status=1; }

generator=/usr/lib/systemd/user-generators/systemd-xdg-autostart-generator
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/config/autostart" "$work/normal" "$work/early" "$work/late"
cp "$entry" "$work/config/autostart/"
out=$(XDG_CONFIG_HOME=$work/config XDG_CONFIG_DIRS=$work/none "$generator" "$work/normal" "$work/early" "$work/late" 2>&1)
unit=$(find "$work/normal" "$work/early" "$work/late" -name '*.service' | head -1)
if [ -z "$unit" ]; then
  echo "systemd's autostart generator makes no unit: $out"
  status=1
fi

rm -f "$record"
out=$(gio launch "$entry" 2>&1) || { echo "gio launch refuses it: $out"; status=1; }
for _ in $(seq 50); do [ -s "$record" ] && break; sleep 0.05; done
expected=$(printf '%s\n%s' "$program" idle)
if [ "$(cat "$record" 2>/dev/null)" != "$expected" ]; then
  echo "GLib ran: $(cat "$record" 2>/dev/null || echo nothing)"
  status=1
fi
exit $status
