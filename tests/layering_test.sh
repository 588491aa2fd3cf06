#!/usr/bin/env bash
# Holds the sources to the program's layering (docs/architecture.md): each
# folder includes only from the folders it may depend on, each folder's library
# (and each program, by the folder of its first source) links only those
# folders' libraries, no toolkit header is seen outside the backends and
# hosts, and only view/ defines the view's members.
set -euo pipefail
src=${1:?usage: layering_test.sh SRC_DIR}
cd "$src"
status=0

# The folders a folder may depend on, besides itself.
declare -A allowed=(
  [base]=""
  [contracts]="base"
  [store]="contracts base"
  [settings]="store contracts base"
  [oscillator]="contracts base"
  # The lock screen's password check and prompt, drawn through the contracts.
  [lock]="contracts base"
  [view]="oscillator settings store contracts base"
  [session]="view oscillator settings store contracts base"
  [sheet]="view oscillator settings store contracts base"
  # The watcher's autostart entry and lock: files and processes, no figure.
  [activation]="store contracts base"
  # What every host does alike, on the session.
  [host]="session view oscillator settings store contracts base"
  # Drawing backends implement the contracts.
  [cairo]="contracts base"
  [recording]="contracts base"
  # Window systems: a host and its backend, on the host core and the figure;
  # GNOME's idle source is an idle source of the host core.
  [gnome]="host session view oscillator settings store contracts base"
  [x11]="host cairo session view oscillator settings store contracts base"
  [wayland]="lock gnome host cairo session view oscillator settings store contracts base"
  # The figure as a Qt Quick item for Plasma: a host on the host core.
  [plasma]="host cairo session view oscillator settings store contracts base"
  # The sheet's controls and interface loader on GTK.
  [gtk]="contracts base"
  # The settings app: a program of its own, on the sheet, the host core and GTK.
  [settings_app]="gtk host activation sheet cairo session view oscillator settings store contracts base"
  [cli]="lock gnome x11 wayland host recording cairo activation session view oscillator settings store contracts base"
  # The build-time writer of the XScreenSaver description and the man page.
  [docgen]="settings store contracts base"
)

may_use() {  # folder, used folder
  [ "$1" = "$2" ] && return 0
  local p
  for p in ${allowed[$1]}; do [ "$p" = "$2" ] && return 0; done
  return 1
}

for dir in */; do
  folder=${dir%/}
  [ -n "${allowed[$folder]+known}" ] && continue
  echo "$folder/ is no known room; add it to tests/layering_test.sh and docs/architecture.md"
  status=1
done

# Includes: one grep over every file, then no process per line.
while IFS= read -r line; do
  file=${line%%:*}
  file=${file#./}
  included=${line#*:#include \"}
  included=${included%%\"*}
  folder=${file%%/*}
  [ -n "${allowed[$folder]+known}" ] || continue  # said below
  # Generated at build time: the bundle's names and the Wayland protocols' code.
  case $included in bundle_info.h | *-client-protocol.h) continue ;; esac
  from=${included%/*}
  [ "$from" = "$included" ] && from=$folder
  may_use "$folder" "$from" || { echo "$file includes $included: $folder/ may not depend on $from/"; status=1; }
done < <(grep -rH '^#include "' --include='*.h' --include='*.cpp' .)

# Links: each room's library, and each program, links only the rooms it may use.
declare -A roomOfTarget=()
for room in "${!allowed[@]}"; do roomOfTarget[orbelune_$room]=$room; done
while IFS= read -r line; do
  if [[ $line =~ ^[[:space:]]*add_executable\(([^ ]+)[[:space:]]+([a-z0-9_]+)/ ]]; then
    roomOfTarget[${BASH_REMATCH[1]}]=${BASH_REMATCH[2]}
  fi
done <CMakeLists.txt
while IFS= read -r line; do
  [[ $line =~ ^[[:space:]]*target_link_libraries\(([^ ]+) ]] || continue
  target=${BASH_REMATCH[1]}
  room=${roomOfTarget[$target]:-}
  [ -n "$room" ] || continue
  for word in $line; do
    word=${word%)}
    [[ $word == orbelune_* ]] || continue
    used=${word#orbelune_}
    [ -n "${allowed[$used]+known}" ] || continue
    may_use "$room" "$used" || { echo "$target links $word: $room/ may not depend on $used/"; status=1; }
  done
done <CMakeLists.txt

# Toolkits are the backends' and the hosts' business.
for folder in base contracts store settings oscillator view session host sheet activation docgen lock; do
  [ -d $folder ] || continue
  if grep -rln '#include <\(gtk\|gdk\|gio\|glib\|cairo\|pango\|X11\|wayland\|Q[A-Z]\|Qt\)' $folder; then
    echo "^ a toolkit header outside the backends and hosts"
    status=1
  fi
done

# A definition starts its line; a call (OrbeluneView::create) is indented.
if grep -rlE --include='*.cpp' --exclude-dir=view '^[A-Za-z].*OrbeluneView::~?[A-Za-z_]+\(' .; then
  echo "^ defines OrbeluneView members outside view/"
  status=1
fi

[ $status -eq 0 ] && echo "layering holds"
exit $status
