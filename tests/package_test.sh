#!/usr/bin/env bash
# The install and the Debian package as a user meets them: an install into a
# temporary prefix whose programs find their data there; the package's files;
# the validators; the packaged saver drawing into a given window under Xvfb.
set -euo pipefail
build=$1
source "$(dirname "$0")/script_checks.sh"
make_work_folder
skip() { echo "SKIP: $* (scripts/install-deps installs it)"; }

# 1. cmake --install into a temporary prefix. Each step says when it is done,
# so that a run stopped at its time limit shows how far it got.
cmake --install "$build" --prefix "$work/prefix" >/dev/null
for f in bin/orbelune bin/orbelune-settings libexec/xscreensaver/orbelune share/orbelune/ConfigureSheet.ui \
         share/xscreensaver/config/orbelune.xml share/applications/screensavers/orbelune.desktop \
         share/applications/org.orbelune.Orbelune.Settings.desktop \
         share/metainfo/org.orbelune.Orbelune.Settings.metainfo.xml \
         share/icons/hicolor/scalable/apps/org.orbelune.Orbelune.Settings.svg \
         share/man/man6/orbelune.6.gz share/man/man1/orbelune-settings.1.gz etc/pam.d/orbelune \
         libexec/xsecurelock/saver_orbelune; do
  [ -e "$work/prefix/$f" ] || fail "cmake --install did not install $f"
done
for prog in bin/orbelune bin/orbelune-settings; do
  dir=$(env -u ORBELUNE_DATA_DIR "$work/prefix/$prog" --data-dir)
  case "$(realpath "$dir")" in
    "$(realpath "$work/prefix")"/*) ;;
    *) fail "$prog finds its data in $dir, not in its prefix" ;;
  esac
done

# 2. The package, built from debian/ as a distribution builds it and held to
# lintian (scripts/package fails on any error or warning), and its file list.
# It builds in a copy: what a build leaves behind (debian/'s work files, obj-*,
# the .deb and .changes one folder up) must not appear in the checkout or its parent.
source_dir=$(cd "$(dirname "$0")/.." && pwd)
leftovers() {
  ls -d "$source_dir"/../orbelune_* "$source_dir"/../orbelune-dbgsym_* "$source_dir"/obj-* "$source_dir"/debian/files \
    "$source_dir"/debian/.debhelper "$source_dir"/debian/orbelune 2>/dev/null || true
}
before=$(leftovers)
echo "installed into a prefix at ${SECONDS}s; building the package (scripts/package)"
"$source_dir/scripts/package" "$work/package" >"$work/package.log" 2>&1 || { cat "$work/package.log"; fail "scripts/package"; }
[ "$(leftovers)" = "$before" ] || fail "scripts/package wrote into the checkout or its parent: $(leftovers)"
deb=$(ls "$work"/package/orbelune_*_*.deb | head -1)
echo "package built at ${SECONDS}s"
[ -f "$deb" ] || fail "no orbelune_<version>_<arch>.deb"
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/files"
# Where Debian's own hack packages (xscreensaver-data and the like) put theirs.
for f in /usr/bin/orbelune /usr/bin/orbelune-settings /usr/libexec/xscreensaver/orbelune \
         /usr/share/xscreensaver/config/orbelune.xml /usr/share/applications/screensavers/orbelune.desktop \
         /usr/share/applications/org.orbelune.Orbelune.Settings.desktop /usr/share/orbelune/ConfigureSheet.ui \
         /usr/share/metainfo/org.orbelune.Orbelune.Settings.metainfo.xml /usr/share/man/man6/orbelune.6.gz \
         /usr/share/man/man1/orbelune-settings.1.gz /usr/share/doc/orbelune/copyright \
         /usr/share/doc/orbelune/changelog.gz /etc/pam.d/orbelune /usr/libexec/xsecurelock/saver_orbelune; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
dpkg-deb -f "$deb" Depends | grep -q 'libgtk-4-1' || fail "the package does not depend on GTK (shlibdeps)"
# Where Plasma 6 is (Debian 13), the wallpaper's package: its package and QML module.
wallpaper=$(ls "$work"/package/orbelune-plasma-wallpaper_*_*.deb 2>/dev/null | head -1 || true)
if [ -n "$wallpaper" ]; then
  dpkg-deb -c "$wallpaper" | awk '{print $6}' | sed 's|^\./|/|' >"$work/wallpaper-files"
  for f in /usr/share/plasma/wallpapers/org.orbelune.Orbelune/metadata.json \
           /usr/share/plasma/wallpapers/org.orbelune.Orbelune/contents/ui/main.qml; do
    grep -qx "$f" "$work/wallpaper-files" || fail "the wallpaper package lacks $f"
  done
  grep -q '/qt6/qml/org/orbelune/figure/liborbelune_plasma_plugin.so$' "$work/wallpaper-files" ||
    fail "the wallpaper package lacks its QML module"
  if grep -q /usr/share/plasma "$work/files"; then fail "the saver's package holds the wallpaper's files"; fi
fi
dpkg -x "$deb" "$work/root"
root=$work/root
grep -q "^License: Expat" "$root/usr/share/doc/orbelune/copyright" || fail "the copyright file names no MIT (Expat) license"

# 3. The validators.
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/org.orbelune.Orbelune.Settings.desktop" \
    "$root/usr/share/applications/screensavers/orbelune.desktop" | grep -v '^.*: hint:' && fail "desktop entries" || true
else skip "desktop-file-validate"; fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root/usr/share/metainfo/org.orbelune.Orbelune.Settings.metainfo.xml" >/dev/null \
    || fail "appstreamcli rejects the metainfo"
else skip "appstreamcli"; fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$root/usr/share/xscreensaver/config/orbelune.xml" || fail "orbelune.xml is not well-formed"
else skip "xmllint"; fi
if command -v man >/dev/null; then
  man -l "$root/usr/share/man/man6/orbelune.6.gz" 2>/dev/null | grep -q XSCREENSAVER_WINDOW || fail "man page"
fi

echo "validators done at ${SECONDS}s"
# 4. The packaged saver, as XScreenSaver's preview runs it.
cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
root=$1 work=$2
source "$3"
export XDG_CONFIG_HOME=$work/config
hack=$root/usr/libexec/xscreensaver/orbelune
"$hack" --window & host=$!
id=$(saver_window)
[ -n "$id" ] || { echo "FAIL: no window"; exit 1; }
"$hack" -window-id "$id" & pid=$!
shows_figure "$id" "$work/shot.png" || { echo "FAIL: the packaged saver drew nothing"; exit 1; }
kill -TERM "$pid"; status=0; wait "$pid" || status=$?
kill -TERM "$host"; wait "$host" || true
[ "$status" -eq 0 ] || { echo "FAIL: status $status on SIGTERM"; exit 1; }
INNER
"$(dirname "$0")/with_xvfb.sh" 800x600x24 bash "$work/inner.sh" "$root" "$work" "$(dirname "$0")/x11_checks.sh"
echo "install and package: all checks passed"
