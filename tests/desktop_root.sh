# Sourced by the tests that run a compositor of the Debian 13 root made by
# scripts/desktop-root (sway 1.10, labwc, KWin 6, Mutter 48): the binaries
# under test run on the host and reach the compositor through sockets in
# folders mounted at the same path inside the root.
#
#   require_desktop_root      skips the test (status 77) without the root
#   share_with_root DIR...    mounts DIR inside the root until the test ends
#   in_root CMD...            runs CMD inside the root, as root
#   in_root_as_tester CMD...  the same as the root's user "tester"
droot_script=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/scripts/desktop-root
droot=$("$droot_script" path)
droot_shared=()

require_desktop_root() {
  if [ "$(id -u)" -ne 0 ]; then echo "SKIP: the Debian 13 root needs root (chroot, mount)"; exit 77; fi
  if [ ! -f "$droot/.orbelune-ready" ]; then
    echo "SKIP: no Debian 13 root ('scripts/desktop-root ensure' makes it; scripts/test does)"
    exit 77
  fi
}
share_with_root() {
  "$droot_script" mount "$@"
  droot_shared+=("$@")
}
unshare_with_root() {
  [ ${#droot_shared[@]} -eq 0 ] || "$droot_script" umount "${droot_shared[@]}" 2>/dev/null || true
  droot_shared=()
}
in_root() { "$droot_script" run "$@"; }
in_root_as_tester() { "$droot_script" run --user tester "$@"; }
tester_ids() { awk -F: '$1 == "tester" { print $3 ":" $4 }' "$droot/etc/passwd"; }
