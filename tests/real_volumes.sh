#!/usr/bin/env bash
# Runs real_volumes_test (its path is the first argument) on real file systems: small ext4,
# xfs and (where the kernel has it) vfat images on loop devices, mounted in a private mount
# namespace so no other process sees them. Exits 77, which ctest reports as skipped, where
# this machine cannot do that (not root, no loop devices, no mkfs tools).
#   tests/real_volumes.sh build/test/tests/real_volumes_test [gtest options]
set -uo pipefail

if [ "${BURNSHELF_IN_NAMESPACE:-}" = 1 ]; then
  # Inside the namespace: mount, run, unmount. The mounts die with the namespace anyway.
  mounted=()
  unmount() { for point in "${mounted[@]}"; do umount "$point" 2>/dev/null; done; }
  trap unmount EXIT
  for fs in ext4 xfs vfat; do
    var="BURNSHELF_LOOP_$fs"
    [ -n "${!var:-}" ] || continue
    point="$BURNSHELF_WORK/$fs"
    mkdir -p "$point"
    if [ "$fs" = vfat ] && [ "${BURNSHELF_FUSEFAT:-}" = 1 ]; then
      # fuseblk with the loop device as its source: the volume table takes it as a disk.
      fusefat -o "rw+,blkdev,fsname=${!var}" "${!var}" "$point" >/dev/null 2>&1
    elif [ "$fs" = vfat ]; then
      mount -t vfat -o utf8 "${!var}" "$point"
    else
      mount "${!var}" "$point"
    fi || { echo "cannot mount $fs (${!var})"; exit 1; }
    mounted+=("$point")
    export "BURNSHELF_VOLUME_${fs^^}=$point"
  done
  "$@"
  exit $?
fi

binary=${1:?usage: real_volumes.sh <real_volumes_test binary> [gtest options]}
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to attach loop devices and mount them"
[ -e /dev/loop-control ] || skip "no loop devices on this machine (/dev/loop-control)"
for tool in losetup unshare mount mkfs.ext4 mkfs.xfs; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps installs it)"
done
for fs in ext4 xfs; do
  grep -qw "$fs" /proc/filesystems || skip "the kernel has no $fs driver"
done
unshare -m --propagation private true 2>/dev/null || skip "cannot make a private mount namespace"

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
started=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/burnshelf-volumes-XXXXXX")
loops=()
cleanup() {
  for loop in "${loops[@]}"; do losetup -d "$loop" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# Attaches a sparse image of size MiB made by the given mkfs command line; prints the loop device.
attach() {
  local fs=$1 size=$2
  shift 2
  truncate -s "${size}M" "$work/$fs.img" && "$@" "$work/$fs.img" >/dev/null 2>&1 ||
    { echo "mkfs $fs failed" >&2; return 1; }
  losetup --find --show "$work/$fs.img"
}
# Sparse 6 GiB images: the staging volume must have more room than the smallest preset needs
# (4.9 GB) for "Move Folder" to be offered, yet each image takes well under 100 MiB of disk.
size=6144
ext4=$(attach ext4 $size mkfs.ext4 -q -F -m 0) || skip "cannot make or attach an ext4 image"
loops+=("$ext4")
xfs=$(attach xfs $size mkfs.xfs -q -f) || skip "cannot make or attach an xfs image"
loops+=("$xfs")
export BURNSHELF_LOOP_ext4=$ext4 BURNSHELF_LOOP_xfs=$xfs BURNSHELF_WORK=$work

if grep -qw vfat /proc/filesystems && command -v mkfs.vfat >/dev/null; then
  vfat=$(attach vfat $size mkfs.vfat -F 32) && loops+=("$vfat") && export BURNSHELF_LOOP_vfat=$vfat
elif [ "${BURNSHELF_FUSEFAT:-}" = 1 ] && command -v fusefat >/dev/null; then
  vfat=$(attach vfat $size mkfs.vfat -F 32) && loops+=("$vfat") && export BURNSHELF_LOOP_vfat=$vfat
else
  export BURNSHELF_ABSENT_vfat="the kernel has no vfat driver (/proc/filesystems); fusefat \
mounts one as fuseblk, but it cannot set file modes (ENOSYS) or make non-ASCII names, so \
copies onto it fail (try it with BURNSHELF_FUSEFAT=1)"
fi

BURNSHELF_IN_NAMESPACE=1 unshare -m --propagation private bash "$0" "$@"
result=$?
echo "real volumes: $(($(date +%s) - started)) s"
exit $result
