// The volume table (mounted file systems) and the program's own folder.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct Volume {
  std::string mountPoint;  // without a trailing "/" ("/" for the root file system)
  std::string source;      // mount source, "/dev/sda1", "server:/export", "tmpfs"
  std::string fsType;      // "ext4", "vfat", "tmpfs", ...
  bool readWrite = false;
  uint64_t device = 0;     // st_dev of the mount point: bind mounts share it
  int32_t freeMiB = 0;     // room this user can write into, MiB, truncated; 0 when unknown
};

// True for a file system through which the kernel shows its own state (proc, sysfs,
// devtmpfs, cgroup, ...): its "files" are no one's data.
bool isKernelState(const Volume& volume);
// True for a volume whose files outlive a reboot: a block device or a network share, never
// a RAM, overlay, read-only image or kernel file system.
bool keepsFiles(const Volume& volume);

// False for a file system that shows one mode for every file: FAT, exFAT, NTFS, and a disk
// served through FUSE (fuseblk), whose type hides which of them it is.
bool keepsModes(const Volume& volume);
// Largest file size in bytes the volume can store: 4 GiB - 1 on FAT, else INT64_MAX. FAT
// through FUSE shows as fuseblk and is not told apart here.
int64_t largestFileOn(const Volume& volume);

// Every mounted file system, from /proc/self/mountinfo, or from the seam when one is set.
std::vector<Volume> volumeTable();
// The volumes of a /proc/self/mountinfo text, in its order; freeMiB is left 0 (no system call).
std::vector<Volume> parseMountInfo(const std::string& text);
// Tests lay out their own volumes; an empty function restores the real table.
void setVolumeTableForTests(std::function<std::vector<Volume>()> table);

// Free MiB of the volume whose mount point is root, as the table gives it; 0 when unknown.
int32_t driveFreeSpace(const std::string& root);
// Mount point of the volume that holds path (longest prefix match); "" when none.
std::string volumeOf(const std::string& path);
// That volume itself; a Volume with an empty mount point when none holds path.
Volume volumeAt(const std::string& path);
// The resolved folder of the running executable, ending with "/".
std::string executableFolder();

}  // namespace platform
