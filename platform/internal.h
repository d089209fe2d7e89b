// Helpers shared by the platform sources; callers outside platform/ never include this.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/beneath.h"
#include "platform/files.h"
#include "platform/fingerprint.h"

// Older C library headers lack the mask bit; the kernel has answered it since 5.8.
#ifndef STATX_MNT_ID
#define STATX_MNT_ID 0x00001000U
#endif

namespace platform::internal {

// Writes all size bytes through the syscall table, going on after short writes and EINTR;
// false (errno set) as soon as a write fails or writes nothing.
bool writeAll(int fd, const void* data, size_t size);
// Opens the regular file at path (relative to the open folder dir, a link at its end not
// followed) for reading, without touching its access time where the kernel allows it; -1 for anything else, which is never
// waited for (a FIFO, a device).
int openForReadingQuietly(const char* path, int dir = AT_FDCWD);
// Opens a folder ("" is the current one) for calls relative to it; -1 on failure.
int openFolder(const std::string& folder);
// The folder at path held as it is opened by path (links followed): for the services that
// take paths, which tests and the benchmark use; null on failure.
std::shared_ptr<const HeldFolder> holdByPath(const std::string& folder);
// Gives the open file or folder fd the mode and owner as restoreOwnership does; true when
// the mode was set.
bool restoreOwnershipOf(int fd, const Ownership& ownership);
// The identity of a regular file from its stat (size kNothingThere for anything else).
FileIdentity identityOf(const struct stat& info);
// Fingerprints of the whole content of the open file fd, which it closes.
Fingerprints fingerprintOpenFile(int fd, const std::function<void()>& tick);
// The folder of the user's own data beside the sealing key ($XDG_DATA_HOME/burnshelf, else
// ~/.local/share/burnshelf), made closed to others when create is set; "" when unknown or
// when it cannot be made.
std::string userDataFolder(bool create);

// The record of the named temporaries this user's runs made and have not yet placed or
// removed, kept in the user's data folder (see temporaries_record.cpp). A stale temporary is
// swept only when the record lists it: a lost line leaves a stray behind, never removes a
// file the program did not make.

// Enters the temporary name with its inode, made in the open folder.
void recordTemporary(int folder, uint64_t inode, const std::string& name);
// Strikes name out: the temporary was placed or removed.
void forgetTemporary(const std::string& name);
struct MadeAt {
  uint64_t mount = 0, inode = 0;  // the mount it was made on (0: unknown) and its inode
};
// The record as a sweep reads it, once.
class TemporaryRecord {
 public:
  TemporaryRecord();
  bool empty() const { return made_.empty(); }
  // True when a run of this user made the file of that name and inode in the open folder and
  // did not place or remove it: made with that inode on this very mount, or made on a mount
  // that is gone, since a volume mounted again (a stick plugged in anew) numbers its files
  // afresh where they are FAT, exFAT or FUSE ones. The random name then tells it. A file that
  // took the name on the same mount later (another inode) was not made by this program.
  bool made(int folder, uint64_t inode, const std::string& name) const;

 private:
  std::multimap<std::string, MadeAt> made_;  // by name
};

// Date value of the time of that kind of a statx result (see fileDate).
int32_t dateOfStatx(const struct statx& info, int kind);
// The mount identity (see mountIdentity) of a statx result asked with STATX_MNT_ID.
uint64_t mountIdentityOf(const struct statx& info);

// Keeps the kernel reading a window ahead of a sequential reader, so the disk works while
// the reader hashes or writes; the kernel's own read-ahead is a few hundred KiB at most.
// Each advice asks 1 MiB: the kernel cuts a longer one to the device's read-ahead size
// (2.5 MiB on a loop device), so asking 8 MiB at a time read only the start of each 8 MiB.
class ReadWindow {
 public:
  // Advice stops at the file's length when it is opened: a small file is one advice, not
  // a window's worth.
  explicit ReadWindow(int fd) : fd_(fd) {
    struct stat info{};
    end_ = fstat(fd, &info) == 0 ? info.st_size : INT64_MAX;
  }
  // Call before reading at offset.
  void before(int64_t offset) {
    while (asked_ < offset + kAhead && asked_ < end_) {
      posix_fadvise(fd_, asked_, kStep, POSIX_FADV_WILLNEED);
      asked_ += kStep;
    }
  }

 private:
  static constexpr int64_t kStep = 1 << 20;
  static constexpr int64_t kAhead = 32 << 20;
  int fd_;
  int64_t asked_ = 0;
  int64_t end_;
};

}  // namespace platform::internal
