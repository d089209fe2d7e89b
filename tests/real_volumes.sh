#!/usr/bin/env bash
# Runs real_volumes_test (its path is the first argument) on real file systems: small ext4,
# xfs, NTFS (ntfs-3g) and exFAT (exfat-fuse) images, and vfat where the kernel has it, on
# loop devices, mounted in a private mount namespace so no other process sees them. Exits
# 77, which ctest reports as skipped, where this machine cannot do that (not root, no loop
# devices, no mkfs tools); a FUSE volume that cannot be had is skipped alone, with its reason.
#   tests/real_volumes.sh build/test/tests/real_volumes_test [gtest options]
# Inside the namespace the test mounts a volume again (after its FUSE daemon was killed) with
#   tests/real_volumes.sh --mount TYPE SOURCE MOUNT-POINT
set -uo pipefail

# Mounts SOURCE (a loop device, or an image for the FUSE types) of type TYPE at POINT.
mount_volume() {
  local fs=$1 source=$2 point=$3
  mkdir -p "$point"
  case $fs in
    # fuseblk on a loop device that detaches itself once the volume is unmounted.
    # Closed to other users, as a desktop mounts a stick for its owner: root stages only there.
    ntfs) mount -t ntfs-3g -o loop,umask=077 "$source" "$point" ;;
    exfat) mount -t exfat-fuse -o loop,umask=077 "$source" "$point" ;;
    # fuseblk with the loop device as its source: the volume table takes it as a disk.
    vfat) if [ "${BURNSHELF_FUSEFAT:-}" = 1 ]; then
            fusefat -o "rw+,blkdev,fsname=$source" "$source" "$point"
          else
            mount -t vfat -o utf8,umask=077 "$source" "$point"
          fi ;;
    *) mount "$source" "$point" ;;
  esac >/dev/null 2>&1
}

if [ "${1:-}" = --mount ]; then
  shift
  mount_volume "$@"
  exit $?
fi

if [ "${BURNSHELF_IN_NAMESPACE:-}" = 1 ]; then
  # Inside the namespace: mount, run, unmount. A FUSE daemon would keep the namespace (and
  # its loop device) alive after the test, so every mount below the work folder goes,
  # also those the test made again, deepest first.
  unmount() {
    awk -v work="$BURNSHELF_WORK/" 'index($5, work) == 1 { print $5 }' /proc/self/mountinfo |
      sort -r | while read -r point; do umount -l "$point" 2>/dev/null; done
  }
  trap unmount EXIT
  for fs in ext4 xfs vfat ntfs exfat; do
    var="BURNSHELF_SOURCE_$fs"
    [ -n "${!var:-}" ] || continue
    point="$BURNSHELF_WORK/$fs"
    mount_volume "$fs" "${!var}" "$point" || { echo "cannot mount $fs (${!var})"; exit 1; }
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
export BURNSHELF_SOURCE_ext4=$ext4 BURNSHELF_SOURCE_xfs=$xfs BURNSHELF_WORK=$work

if grep -qw vfat /proc/filesystems && command -v mkfs.vfat >/dev/null; then
  vfat=$(attach vfat $size mkfs.vfat -F 32) && loops+=("$vfat") && export BURNSHELF_SOURCE_vfat=$vfat
elif [ "${BURNSHELF_FUSEFAT:-}" = 1 ] && command -v fusefat >/dev/null; then
  vfat=$(attach vfat $size mkfs.vfat -F 32) && loops+=("$vfat") && export BURNSHELF_SOURCE_vfat=$vfat
else
  export BURNSHELF_ABSENT_vfat="the kernel has no vfat driver (/proc/filesystems); fusefat \
mounts one as fuseblk, but it cannot set file modes (ENOSYS) or make non-ASCII names, so \
copies onto it fail (try it with BURNSHELF_FUSEFAT=1)"
fi

# The FUSE volumes users bring on USB disks: their images are mounted through a loop device
# of their own. A missing driver skips that volume's cases only.
fuse_image() {
  local fs=$1 mkfs=$2 driver=$3
  if [ ! -c /dev/fuse ] || ! grep -qw fuseblk /proc/filesystems; then
    export "BURNSHELF_ABSENT_$fs=no FUSE on this machine (/dev/fuse, fuseblk in /proc/filesystems)"
  elif ! command -v "$mkfs" >/dev/null || ! command -v "$driver" >/dev/null; then
    export "BURNSHELF_ABSENT_$fs=$mkfs or $driver is missing (scripts/install-deps installs them)"
  elif truncate -s "${size}M" "$work/$fs.img" && "$mkfs" "${@:4}" "$work/$fs.img" >/dev/null 2>&1; then
    export "BURNSHELF_SOURCE_$fs=$work/$fs.img"
  else
    export "BURNSHELF_ABSENT_$fs=$mkfs cannot make an image"
  fi
}
fuse_image ntfs mkntfs ntfs-3g -F -Q -q
fuse_image exfat mkfs.exfat mount.exfat-fuse
export BURNSHELF_SCRIPT
BURNSHELF_SCRIPT=$(realpath "$0")

BURNSHELF_IN_NAMESPACE=1 unshare -m --propagation private bash "$0" "$@"
result=$?
echo "real volumes: $(($(date +%s) - started)) s"
exit $result
