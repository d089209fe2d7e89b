// Folders held by descriptor and the calls that work beneath them (see beneath.h). Names
// are resolved by openat2 where the kernel has it, else one component at a time with
// O_NOFOLLOW and a check that no mount was crossed.
#include "platform/beneath.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {

HeldFolder::~HeldFolder() {
  if (fd_ >= 0) close(fd_);
}

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
constexpr uint64_t kNoLinks = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
constexpr uint64_t kBeneath = kNoLinks | RESOLVE_BENEATH | RESOLVE_NO_XDEV;

uint64_t mountOfFd(int fd) {
  struct statx info{};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &info) != 0) return 0;
  return internal::mountIdentityOf(info);
}

// A single name of a folder entry: no "/", not "." or "..".
bool isName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The components of a relative path; false for "", an absolute path, or "." and ".." parts.
bool componentsOf(const std::string& relative, std::vector<std::string>& parts) {
  parts.clear();
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    const std::string part = relative.substr(start, end - start);
    if (!isName(part)) return false;
    parts.push_back(part);
    start = end + 1;
  }
  return !parts.empty();
}

// openat2's work done one component at a time with O_NOFOLLOW; each step must stay on the
// mount of dir when resolve asks it.
int walk(int dir, const std::string& relative, int flags, mode_t mode, uint64_t resolve) {
  std::vector<std::string> parts;
  if (!componentsOf(relative, parts)) {
    errno = EINVAL;
    return -1;
  }
  const uint64_t mount = (resolve & RESOLVE_NO_XDEV) ? mountOfFd(dir) : 0;
  int at = dir;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const int fd = syscalls().openat(at, parts[i].c_str(),
                                     last ? flags | O_NOFOLLOW : O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC,
                                     mode);
    if (at != dir) close(at);
    if (fd < 0) return -1;
    if (mount != 0 && mountOfFd(fd) != mount) {
      close(fd);
      errno = EXDEV;
      return -1;
    }
    at = fd;
  }
  return at;
}

int openResolved(int dir, const std::string& relative, int flags, mode_t mode, uint64_t resolve) {
  const int fd = syscalls().openat2(dir, relative.c_str(), flags, mode, resolve);
  if (fd >= 0 || (errno != ENOSYS && errno != E2BIG && errno != EPERM)) return fd;
  return walk(dir, relative, flags, mode, resolve);
}

Held held(int fd) { return fd >= 0 ? std::make_shared<const HeldFolder>(fd) : nullptr; }

std::string withoutSlashes(const std::string& path) {
  const size_t start = path.find_first_not_of('/');
  if (start == std::string::npos) return "";
  size_t end = path.find_last_not_of('/');
  return path.substr(start, end + 1 - start);
}

}  // namespace

Held holdFolder(const std::string& path) {
  if (path.empty() || path[0] != '/') return nullptr;
  const int root = open("/", kFolderFlags);
  if (root < 0) return nullptr;
  const std::string relative = withoutSlashes(path);
  const int fd = relative.empty() ? dup(root) : openResolved(root, relative, kFolderFlags, 0, kNoLinks);
  close(root);
  return held(fd);
}

Held holdBeneath(const Held& folder, const std::string& relative) {
  if (!folder) return nullptr;
  const std::string inner = withoutSlashes(relative);
  if (inner.empty()) return folder;
  if (relative[0] == '/') return nullptr;
  return held(openResolved(folder->fd(), inner, kFolderFlags, 0, kBeneath));
}

Held makeAndHold(const Held& folder, const std::string& name, mode_t mode, bool* made) {
  if (made) *made = false;
  if (!folder || !isName(name)) return nullptr;
  if (syscalls().mkdirat(folder->fd(), name.c_str(), mode) == 0) {
    if (made) *made = true;
  } else if (errno != EEXIST) {
    return nullptr;
  }
  return held(openResolved(folder->fd(), name, kFolderFlags, 0, kBeneath));
}

namespace {
// What stands at place, not following a link; false when nothing does.
bool statAt(const Place& place, struct stat& info) {
  return place.folder && isName(place.name) &&
         fstatat(place.folder->fd(), place.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}
}  // namespace

Standing standingAt(const Place& place) {
  struct stat info{};
  if (!statAt(place, info)) return Standing::kNothing;
  if (S_ISREG(info.st_mode)) return Standing::kFile;
  return S_ISDIR(info.st_mode) ? Standing::kFolder : Standing::kOther;
}

FileIdentity identityAt(const Place& place) {
  struct stat info{};
  return statAt(place, info) ? internal::identityOf(info) : FileIdentity{};
}

Ownership ownershipAt(const Place& place) {
  struct stat info{};
  if (!statAt(place, info)) return {};
  return Ownership{static_cast<int64_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

bool timesAt(const Place& place, timespec& accessed, timespec& modified) {
  struct stat info{};
  if (!statAt(place, info)) return false;
  accessed = info.st_atim;
  modified = info.st_mtim;
  return true;
}

Ownership asRunningUser(int64_t mode) {
  return Ownership{mode < 0 ? 0600 : (mode & 0777), geteuid(), getegid()};
}

int openToRead(const Place& place) {
  if (!place.folder || !isName(place.name)) return -1;
  return internal::openForReadingQuietly(place.name.c_str(), place.folder->fd());
}

bool removeIfSame(const Place& place, const FileIdentity& seen) {
  if (seen.size == kNothingThere || !(identityAt(place) == seen)) return false;
  return syscalls().unlinkat(place.folder->fd(), place.name.c_str(), 0) == 0;
}

namespace {

// True when a process that /proc lets this user see holds the file open for writing.
bool openForWritingSomewhere(const struct stat& file) {
  DIR* processes = opendir("/proc");
  if (!processes) return false;
  bool found = false;
  while (dirent* process = readdir(processes)) {
    if (found || process->d_name[0] < '1' || process->d_name[0] > '9') continue;
    const std::string fds = std::string("/proc/") + process->d_name + "/fd";
    DIR* listing = opendir(fds.c_str());
    while (listing && !found) {
      dirent* fd = readdir(listing);
      if (!fd) break;
      struct stat target{};
      if (fd->d_name[0] == '.' || stat((fds + "/" + fd->d_name).c_str(), &target) != 0 ||
          target.st_dev != file.st_dev || target.st_ino != file.st_ino)
        continue;
      std::string info;
      if (!readFileContent(std::string("/proc/") + process->d_name + "/fdinfo/" + fd->d_name, 4096, info)) continue;
      const size_t flags = info.find("flags:");
      if (flags != std::string::npos && (std::stoul(info.substr(flags + 6), nullptr, 8) & O_ACCMODE) != O_RDONLY)
        found = true;
    }
    if (listing) closedir(listing);
  }
  closedir(processes);
  return found;
}

}  // namespace

bool removeIfSameAndUnused(const Place& place, const FileIdentity& seen) {
  const int fd = openToRead(place);
  struct stat file{};
  if (fd < 0 || fstat(fd, &file) != 0 || !(internal::identityOf(file) == seen)) {
    if (fd >= 0) close(fd);
    return false;
  }
  // While the lease is held no one can open the file for writing; it is let go at once.
  bool unused = fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
  if (!unused && errno != EAGAIN && errno != EWOULDBLOCK) unused = !openForWritingSomewhere(file);
  const bool removed = unused && removeIfSame(place, seen);
  fcntl(fd, F_SETLEASE, F_UNLCK);
  close(fd);
  return removed;
}

bool removeAt(const Place& place) {
  if (!place.folder || !isName(place.name)) return false;
  return syscalls().unlinkat(place.folder->fd(), place.name.c_str(), 0) == 0 || errno == ENOENT;
}

bool removeEmptyFolderAt(const Place& place) {
  if (!place.folder || !isName(place.name)) return false;
  return syscalls().unlinkat(place.folder->fd(), place.name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

bool setHeldTimes(const Held& folder, timespec accessed, timespec modified) {
  const timespec times[2] = {accessed, modified};
  return folder && syscalls().utimensat(folder->fd(), nullptr, times, 0) == 0;
}

bool heldTimes(const Held& folder, timespec& accessed, timespec& modified) {
  struct stat info{};
  if (!folder || fstat(folder->fd(), &info) != 0) return false;
  accessed = info.st_atim;
  modified = info.st_mtim;
  return true;
}

AttributesRead heldAttributes(const Held& folder, Attributes& attributes) {
  if (!folder) return AttributesRead::kUnreadable;
  return readAttributes(folder->fd(), attributes);
}

bool setHeldAttributes(const Held& folder, const Attributes& attributes, bool exact) {
  return folder && writeAttributes(folder->fd(), attributes, exact);
}

bool restoreHeldOwnership(const Held& folder, const Ownership& ownership) {
  return folder && internal::restoreOwnershipOf(folder->fd(), ownership);
}

Ownership heldOwnership(const Held& folder) {
  struct stat info{};
  if (!folder || fstat(folder->fd(), &info) != 0) return {};
  return Ownership{static_cast<int64_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

uint64_t heldMountIdentity(const Held& folder) { return folder ? mountOfFd(folder->fd()) : 0; }

bool syncHeldVolume(const Held& folder) {
  if (!folder) return false;
  // The kernel answers a FUSE volume's syncfs alone; its daemon hears only of each file's sync.
  struct statfs volume{};
  if (fstatfs(folder->fd(), &volume) == 0 && volume.f_type == FUSE_SUPER_MAGIC) return false;
  return syscalls().syncfs(folder->fd()) == 0;
}

Held FolderCursor::at(const Held& top, const std::string& relative) {
  if (!last_ || top.get() != top_ || relative != relative_) {
    top_ = top.get();
    relative_ = relative;
    last_ = holdBeneath(top, relative);
  }
  return last_;
}

}  // namespace platform
