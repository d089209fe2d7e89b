#!/usr/bin/env bash
# Runs mounts_test (its path is the first argument) in a private mount namespace, where it
# mounts RAM disks and bind mounts of its own inside temporary folders (and, as root, gives
# files to another user for the whole road of GO and BACK); no other process
# sees them. Exits 77, which ctest reports as skipped, where this machine cannot do that.
#   tests/mounts.sh build/test/tests/mounts_test [gtest options]
set -uo pipefail
binary=${1:?usage: mounts.sh <mounts_test binary> [gtest options]}
skip() { echo "SKIPPED: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to mount"
command -v unshare >/dev/null || skip "unshare is missing (util-linux)"
unshare -m --propagation private true 2>/dev/null || skip "cannot make a private mount namespace"
grep -qw tmpfs /proc/filesystems || skip "the kernel has no tmpfs"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
BURNSHELF_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$@"
