#!/usr/bin/env bash
# Holds the sources to the program's layering (docs/architecture.md): each
# folder includes only from the folders it may depend on, no toolkit header is
# seen outside the backends and hosts, and only view/ defines the view's members.
set -euo pipefail
src=${1:?usage: layering_test.sh SRC_DIR}
cd "$src"
status=0

# The folders a folder may include from, besides itself and the generated bundle_info.h.
allowed() {
  case $1 in
    base) echo "" ;;
    contracts) echo "base" ;;
    store) echo "contracts base" ;;
    settings) echo "store contracts base" ;;
    oscillator) echo "contracts base" ;;
    lock) echo "contracts base" ;;
    view) echo "oscillator settings store contracts base" ;;
    session) echo "view oscillator settings store contracts base" ;;
    sheet) echo "view oscillator settings store contracts base" ;;
    # Drawing backends implement the contracts.
    cairo | recording) echo "contracts base" ;;
    # Window systems: a host and its backend, on the session and the figure.
    x11 | wayland) echo "cairo session view oscillator settings store contracts base" ;;
    gtk) echo "sheet cairo session view oscillator settings store contracts base" ;;
    cli) echo "lock x11 wayland recording cairo session view oscillator settings store contracts base" ;;
    *) echo "-" ;;
  esac
}

while IFS= read -r file; do
  folder=$(dirname "$file")
  permitted=$(allowed "$folder")
  if [ "$permitted" = "-" ]; then
    echo "$file: $folder/ is no known room; add it to tests/layering_test.sh and docs/architecture.md"
    status=1
    continue
  fi
  while IFS= read -r included; do
    # Generated at build time: the bundle's names and the Wayland protocols' code.
    case $included in bundle_info.h | *-client-protocol.h) continue ;; esac
    from=$(dirname "$included")
    ok=no
    [ "$from" = "$folder" ] && ok=yes
    for p in $permitted; do [ "$from" = "$p" ] && ok=yes; done
    if [ $ok = no ]; then
      echo "$file includes $included: $folder/ may not depend on $from/"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . \( -name '*.h' -o -name '*.cpp' \) | sed 's|^\./||' | sort)

# Toolkits are the backends' and the hosts' business.
for folder in base contracts store settings oscillator lock view session sheet; do
  [ -d $folder ] || continue
  if grep -ln '#include <\(gtk\|gdk\|glib\|cairo\|pango\|X11\|wayland\)' $(find $folder -type f) 2>/dev/null; then
    echo "^ a toolkit header outside the backends and hosts"
    status=1
  fi
done

# A definition starts its line; a call (OrbeluneView::create) is indented.
if grep -lE '^[A-Za-z].*OrbeluneView::~?[A-Za-z_]+\(' $(find . -name '*.cpp' ! -path './view/*'); then
  echo "^ defines OrbeluneView members outside view/"
  status=1
fi

[ $status -eq 0 ] && echo "layering holds"
exit $status
