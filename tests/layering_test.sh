#!/usr/bin/env bash
# Holds the sources to the program's layering: each folder includes only from
# the folders below it (host -> config_sheet -> view -> settings/oscillator ->
# platform interfaces, backends beside the interfaces), no toolkit header is
# seen above the backends, and only view/ defines the view's members.
set -euo pipefail
src=${1:?usage: layering_test.sh SRC_DIR}
cd "$src"
status=0

# The folders a folder may include from, besides itself and the generated bundle_info.h.
allowed() {
  case $1 in
    platform) echo "platform" ;;
    platform/*) echo "platform" ;;
    oscillator) echo "platform" ;;
    settings) echo "platform" ;;
    view) echo "oscillator settings platform" ;;
    config_sheet) echo "view oscillator settings platform" ;;
    host) echo "*" ;;
    *) echo "" ;;
  esac
}

while IFS= read -r file; do
  folder=$(dirname "$file")
  permitted=$(allowed "$folder")
  [ "$permitted" = "*" ] && continue
  while IFS= read -r included; do
    [ "$included" = bundle_info.h ] && continue
    from=$(dirname "$included")
    ok=no
    [ "$from" = "$folder" ] && ok=yes
    for p in $permitted; do [ "$from" = "$p" ] && ok=yes; done
    # A backend may use another backend it builds on (x11 draws with cairo).
    case $folder/$from in platform/*/platform/*) ok=yes ;; esac
    if [ $ok = no ]; then
      echo "$file includes $included: $folder/ may not depend on $from/"
      status=1
    fi
  done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

# Toolkits are the backends' and the hosts' business.
for folder in platform oscillator settings view config_sheet; do
  files=$( [ $folder = platform ] && find platform -maxdepth 1 -type f || find $folder -type f )
  if grep -ln '#include <\(gtk\|gdk\|glib\|cairo\|pango\|X11\|wayland\)' $files 2>/dev/null; then
    echo "^ a toolkit header above the backends"
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
