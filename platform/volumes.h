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
                           // (the real table leaves it 0 until askFreeSpace)
};

// How long, in all, askFreeSpace waits for the volumes it asks (milliseconds).
constexpr int kFreeSpaceWaitMs = 1000;

// True when other users may read or change what is written on the volume: its file system
// keeps no permission bits (FAT, exFAT, NTFS, any FUSE one) and was mounted open to others,
// or others may write into its top folder.
bool othersMayReach(const Volume& volume);

// True for a file system through which the kernel shows its own state (proc, sysfs,
// devtmpfs, cgroup, ...): its "files" are no one's data.
bool isKernelState(const Volume& volume);
// True for a volume whose files outlive a reboot: a block device or a network share, never
// a RAM, overlay, read-only image or kernel file system.
bool keepsFiles(const Volume& volume);

// Largest file size in bytes the volume can store: 4 GiB - 1 on FAT, else INT64_MAX. FAT
// through FUSE shows as fuseblk and is not told apart here.
int64_t largestFileOn(const Volume& volume);

// Every mounted file system, from /proc/self/mountinfo, or from the seam when one is set.
// Reading it touches no volume, so a mount that does not answer cannot hold it up.
std::vector<Volume> volumeTable();
// The volumes of a /proc/self/mountinfo text, in its order; freeMiB is left 0 (no system call).
std::vector<Volume> parseMountInfo(const std::string& text);
// Tests lay out their own volumes; an empty function restores the real table.
void setVolumeTableForTests(std::function<std::vector<Volume>()> table);

// Sets the freeMiB of each volume, asking all of them at once on helper threads and waiting
// at most waitMs in all; a volume that has not answered by then (a network share whose
// server is gone) gets 0. Volumes of the tests' table keep their freeMiB, unless a test
// query is set.
void askFreeSpace(std::vector<Volume>& volumes, int waitMs = kFreeSpaceWaitMs);
// Tests answer the free-space questions themselves (an answer may never come); an empty
// function restores the real question.
void setFreeSpaceQueryForTests(std::function<int32_t(const std::string& mountPoint)> query);
// Free MiB of the volume mounted at root, asked now as askFreeSpace asks; 0 when unknown.
int32_t driveFreeSpace(const std::string& root);
// Equal for two paths exactly when they lie on the same mount, so a bind mount of the same
// device counts as another mount: the kernel's mount id, or the device where the kernel
// reports none. 0 when path cannot be examined.
uint64_t mountIdentity(const std::string& path);
// Mount point of the volume that holds path (longest prefix match); "" when none.
std::string volumeOf(const std::string& path);
// That volume itself; a Volume with an empty mount point when none holds path.
Volume volumeAt(const std::string& path);
// The resolved folder of the running executable, ending with "/".
std::string executableFolder();

}  // namespace platform

namespace platform {
// What tells the volume holding path (or, when path is gone, its nearest existing folder
// above) from any other, across unplugging and mounting elsewhere: "uuid:" + the file
// system's UUID where it has one, else "fsid:" + its statfs id and type. "" when it cannot
// be asked.
std::string volumeIdentity(const std::string& path);
}  // namespace platform
