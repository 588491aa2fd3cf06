#!/usr/bin/env bash
# Orbelune built and unit-tested on Debian 13 (GCC 14, GTK 4.18, newer Pango,
# HarfBuzz and fonts), inside the root scripts/desktop-root makes: the build
# must give no warning, the unit tests, the headless render tests and the
# settings sheet under Xvfb must pass, and AppStream 1.0 must accept the
# metainfo. The build folder is kept on the machine between runs, and the
# source is copied into it by content, so that a run rebuilds only what changed.
set -euo pipefail
source_dir=$1
source "$(dirname "$0")/desktop_root.sh"
require_desktop_root
fail() { echo "FAIL: $*"; exit 1; }

# One kept folder for every checkout, so that a fresh clone (CI's) rebuilds
# only what differs from the last run; runs take turns on it, each copying its
# own sources in under the lock, so that none builds a mix.
keep=${ORBELUNE_ROOT_CACHE:-/var/cache/orbelune}/build-trixie
mkdir -p "$keep/src" "$keep/build"
exec 9>"$keep/.lock"
flock 9
trap 'unshare_with_root' EXIT
share_with_root "$keep"
# By content (-c): a file whose bytes did not change keeps its time, and make
# leaves its object alone.
rsync -rlc --delete --exclude='/build*' --exclude='/.git' "$source_dir/" "$keep/src/"

log=$keep/build.log
if ! in_root sh -c "cmake -S '$keep/src' -B '$keep/build' -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBELUNE_BENCH=OFF \
    -DORBELUNE_WERROR=ON >'$log' 2>&1 && cmake --build '$keep/build' -j2 >>'$log' 2>&1"; then
  grep -E -B2 -A6 'error|warning' "$log" | head -60
  fail "the build on Debian 13 failed (log: $log)"
fi
if grep -q 'warning:' "$log"; then
  grep -A4 'warning:' "$log" | head -40
  fail "the build on Debian 13 gave warnings"
fi
versions=$(in_root sh -c 'g++ --version | head -1; pkg-config --modversion gtk4 pango harfbuzz' | tr '\n' ' ')
echo "built on Debian 13: $versions"

# The unit tests (CamelCase suites), the settings sheet's real widgets and the
# fuzz corpora; the desktop and package tests run on the host.
if ! in_root sh -c "cd '$keep/build' && ctest -j2 --output-on-failure -R '^([A-Z]|gtk_sheet_under_xvfb|fuzz_replay)'" \
    >"$keep/ctest.log" 2>&1; then
  grep -E -A25 'Failed|\*\*\*' "$keep/ctest.log" | head -80
  fail "tests failed on Debian 13 (log: $keep/ctest.log)"
fi
tail -3 "$keep/ctest.log"

in_root appstreamcli validate --no-net "$keep/src/resources/org.orbelune.Orbelune.Settings.metainfo.xml" ||
  fail "AppStream 1.0 refuses the metainfo"
echo "Debian 13: built without warnings; $(grep -o "[0-9]*% tests passed, [0-9]* tests failed out of [0-9]*" "$keep/ctest.log" | tail -1)"
