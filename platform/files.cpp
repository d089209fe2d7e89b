// File-system services on POSIX calls: sizes, path parts, identities, creating and deleting,
// owners, durability, locks and folder listings. Copying lives in copy.cpp.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/magic.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <climits>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/beneath.h"
#include "platform/dates.h"
#include "platform/fingerprint.h"
#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {

// ---- reading and writing through the syscall table ----

bool internal::writeAll(int fd, const void* data, size_t size) {
  auto* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t done = syscalls().write(fd, bytes, size);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) return false;
    if (done == 0) {  // a write that makes no progress would loop for ever
      errno = ENOSPC;
      return false;
    }
    bytes += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

int internal::openForReadingQuietly(const char* path, int dir) {
  // O_NONBLOCK: a FIFO or a device put where a file was must not hang the open.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW;
  int fd = syscalls().openat(dir, path, flags | O_NOATIME, 0);
  // O_NOATIME is refused with EPERM on files the user does not own.
  if (fd < 0 && errno == EPERM) fd = syscalls().openat(dir, path, flags, 0);
  if (fd < 0) return -1;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

int internal::openFolder(const std::string& folder) {
  return open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// ---- sizes and path parts ----

namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

int64_t fileSize(const std::string& path) {
  if (path.empty()) return kNothingThere;
  struct stat info{};
  if (stat(withoutTrailingSlashes(path).c_str(), &info) != 0) return kNothingThere;
  if (S_ISDIR(info.st_mode)) return kIsFolder;
  if (S_ISREG(info.st_mode)) return info.st_size;
  return kNothingThere;  // FIFOs, sockets, devices: not files this program handles
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return device == other.device && inode == other.inode && size == other.size &&
         same(modified, other.modified) && same(changed, other.changed);
}

FileIdentity internal::identityOf(const struct stat& info) {
  FileIdentity identity;
  if (!S_ISREG(info.st_mode)) return identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  identity.accessed = info.st_atim;
  identity.changed = info.st_ctim;
  return identity;
}

FileIdentity fileIdentity(const std::string& path) {
  struct stat info{};
  if (path.empty() || lstat(path.c_str(), &info) != 0) return {};
  return internal::identityOf(info);
}

std::string pathPart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string filePart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string canonicalPath(const std::string& path) {
  if (path.empty()) return "";
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return "";
  std::string canonical = resolved;
  free(resolved);
  return canonical;
}

std::string joinPath(const std::string& root, const std::string& name) {
  size_t start = name.find_first_not_of('/');
  std::string tail = start == std::string::npos ? std::string() : name.substr(start);
  if (root.empty()) return tail;
  if (root.back() == '/') return root + tail;
  return root + "/" + tail;
}

// ---- creating and deleting ----

bool createFolder(const std::string& path) {
  std::string folder = withoutTrailingSlashes(path);
  if (folder.empty()) return 0;
  return syscalls().mkdirat(AT_FDCWD, folder.c_str(), 0777) == 0;
}

bool deleteFile(const std::string& path) {
  return !path.empty() && syscalls().unlinkat(AT_FDCWD, path.c_str(), 0) == 0;
}

namespace {

// Gives the owner full rights on a folder (by name in dir) so its entries can be listed and
// removed; the folder must have been checked to be a real folder, not a link.
void makeFolderOpen(int dir, const char* name, mode_t mode) {
  // A folder that stays closed is found out when its entries cannot be removed.
  if ((mode & S_IRWXU) != S_IRWXU) (void)!fchmodat(dir, name, (mode & 07777) | S_IRWXU, 0);
}

// Removes every entry of the open folder fd. Links are unlinked as links; folders on another
// mount than the tree's (another volume, a tmpfs, a bind mount even of the same device) are
// left alone so nothing beyond the tree goes.
void removeContents(int fd, uint64_t mount) {
  DIR* listing = fdopendir(dup(fd));
  if (!listing) return;
  std::vector<std::string> folders;
  while (dirent* entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat info{};
      isFolder = fstatat(fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }
    if (isFolder) {
      folders.push_back(name);
    } else {
      unlinkat(fd, name.c_str(), 0);
    }
  }
  closedir(listing);
  for (const std::string& name : folders) {
    struct statx info{};
    if (statx(fd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
              STATX_TYPE | STATX_MODE | STATX_MNT_ID, &info) != 0 ||
        !S_ISDIR(info.stx_mode) || internal::mountIdentityOf(info) != mount)
      continue;
    makeFolderOpen(fd, name.c_str(), info.stx_mode);
    int child = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (child < 0) continue;
    removeContents(child, mount);
    close(child);
    unlinkat(fd, name.c_str(), AT_REMOVEDIR);
  }
}

}  // namespace

bool deleteFolder(const std::string& path) {
  std::string folder = withoutTrailingSlashes(path);
  if (folder.empty()) return 0;
  struct stat info{};
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return 0;
  makeFolderOpen(AT_FDCWD, folder.c_str(), info.st_mode);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  struct statx top{};
  if (statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &top) == 0)
    removeContents(fd, internal::mountIdentityOf(top));
  close(fd);
  return rmdir(folder.c_str()) == 0;
}

// ---- owners and modes ----

Ownership ownershipOf(const std::string& path) {
  struct stat info{};
  if (path.empty() || lstat(withoutTrailingSlashes(path).c_str(), &info) != 0) return {};
  return Ownership{static_cast<int64_t>(info.st_mode & 07777), info.st_uid, info.st_gid};
}

bool internal::restoreOwnershipOf(int fd, const Ownership& ownership) {
  if (ownership.mode < 0) return false;
  mode_t mode = static_cast<mode_t>(ownership.mode) & 07777;
  // Refused without the right: the file stays the user's, as copies do.
  struct stat info{};
  const bool known = fstat(fd, &info) == 0 && (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode));
  if (!known) return false;
  if ((info.st_uid != ownership.owner || info.st_gid != ownership.group) &&
      fchownat(fd, "", ownership.owner, ownership.group, AT_EMPTY_PATH) == 0)
    fstat(fd, &info);
  if (info.st_uid != ownership.owner) mode &= ~(S_ISUID | S_ISGID);
  if (info.st_gid != ownership.group) mode &= ~S_ISGID;
  if (fchmod(fd, mode) == 0) return true;
  if (errno != EBADF) return false;
  // An O_PATH descriptor: the inode itself through /proc.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return chmod(self.c_str(), mode) == 0;
}

bool restoreOwnership(const std::string& path, const Ownership& ownership) {
  if (ownership.mode < 0 || path.empty()) return 0;
  // O_PATH: a file whose mode lets no one read it (0200) is still reached, never through a link.
  int fd = open(withoutTrailingSlashes(path).c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return 0;
  bool good = internal::restoreOwnershipOf(fd, ownership);
  // Without /proc, by name: the entry was just found to be no link.
  if (!good && errno == ENOENT) {
    struct stat info{};
    mode_t mode = static_cast<mode_t>(ownership.mode) & 07777;
    if (fstat(fd, &info) == 0 && info.st_uid != ownership.owner) mode &= ~(S_ISUID | S_ISGID);
    if (fstat(fd, &info) == 0 && info.st_gid != ownership.group) mode &= ~S_ISGID;
    good = fchmodat(AT_FDCWD, path.c_str(), mode, 0) == 0;
  }
  close(fd);
  return good;
}

bool maySetOwners() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  const uint32_t needed = (1u << CAP_CHOWN) | (1u << CAP_FOWNER);
  return (data[0].effective & needed) == needed;
}

// ---- durability and volume facts ----

namespace {
// Opens path for a call on the open file; never waits on a FIFO or a device.
int openQuietly(const std::string& path) {
  return path.empty() ? -1
                      : syscalls().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
}
}  // namespace

bool flushAndForget(const std::string& path) {
  int fd = openQuietly(path);
  if (fd < 0) return 0;
  bool good = syscalls().fdatasync(fd) == 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
  return good;
}

Fingerprints fingerprintAt(const Place& place) {
  const int fd = openToRead(place);
  return fd < 0 ? Fingerprints{} : internal::fingerprintOpenFile(fd, {});
}

bool flushAndForget(const Place& place) {
  const int fd = openToRead(place);
  if (fd < 0) return false;
  const bool good = syscalls().fdatasync(fd) == 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
  return good;
}

void prefetchFile(const Place& place) {
  const int fd = openToRead(place);
  if (fd < 0) return;
  posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
  close(fd);
}

bool syncVolume(const std::string& path) {
  int fd = openQuietly(path);
  if (fd < 0) return 0;
  // The kernel answers a FUSE volume's syncfs alone; its daemon (ntfs-3g, exfat-fuse) hears
  // only of each file's own sync, so such a volume cannot be synced at once.
  struct statfs volume{};
  if (fstatfs(fd, &volume) == 0 && volume.f_type == FUSE_SUPER_MAGIC) {
    close(fd);
    return 0;
  }
  bool good = syscalls().syncfs(fd) == 0;
  close(fd);
  return good;
}

int lockFolder(const Held& folder, const std::string& name) {
  if (!folder) return kNoLock;
  const int dir = folder->fd();
  for (int attempt = 0; attempt < 10; ++attempt) {
    // Read-only is enough for flock, so another user's lock file that we may read still locks.
    int fd = syscalls().openat(dir, name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat held{};
    if (fd < 0) {
      if (errno == EROFS) return kNoLock;
      struct stat named{};
      if (fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(named.st_mode) &&
          named.st_uid != geteuid())
        return kLockOfAnotherUser;
      return kNotALock;
    }
    if (fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
      close(fd);
      return kNotALock;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      if (error == ENOLCK || error == EOPNOTSUPP || error == EINVAL) return kNoLock;
      return held.st_uid != geteuid() ? kLockOfAnotherUser : kLockedElsewhere;
    }
    // The holder before us removes the file as it lets go: a lock on a file that lost its
    // name between our open and our flock counts for nothing, so try again.
    struct stat named{};
    if (fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        held.st_dev == named.st_dev && held.st_ino == named.st_ino)
      return fd;
    close(fd);
  }
  return kLockedElsewhere;
}

void unlockFolder(int lock, const Held& folder, const std::string& name) {
  if (lock < 0) return;
  // While still held, so no one locks a lost name; only our own lock file goes.
  struct stat held{};
  if (folder && fstat(lock, &held) == 0) removeIfSame(Place{folder, name}, internal::identityOf(held));
  close(lock);
}

Held internal::holdByPath(const std::string& folder) {
  const int fd = internal::openFolder(folder);
  return fd >= 0 ? std::make_shared<const HeldFolder>(fd) : nullptr;
}

int lockFolder(const std::string& folder, const std::string& lockName) {
  return lockFolder(internal::holdByPath(folder), lockName);
}

void unlockFolder(int lock, const std::string& folder, const std::string& lockName) {
  unlockFolder(lock, internal::holdByPath(folder), lockName);
}

bool canRead(const std::string& path) {
  return !path.empty() && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

bool canWriteInto(const std::string& folder) {
  return !folder.empty() && faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// ---- folder listings ----

struct FolderListing::Impl {
  DIR* listing = nullptr;
  std::string name;
  unsigned char dtype = DT_UNKNOWN;
  // The current entry's statx, asked once at the first date or size and kept until next().
  int asked = 0;  // 0 not yet, 1 info holds it, -1 the entry could not be examined
  struct statx info{};

  bool examine() {
    if (asked == 0)
      asked = statx(dirfd(listing), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
                    STATX_BASIC_STATS | STATX_BTIME | STATX_MNT_ID, &info) == 0 ? 1 : -1;
    return asked == 1;
  }
};

FolderListing::FolderListing(const std::string& folder) : impl_(new Impl) {
  if (folder.empty()) return;
  // Listing a folder would otherwise move its access time, which "BACK" gives back as it was.
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  int fd = open(folder.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(folder.c_str(), kFlags);  // not the user's own
  if (fd >= 0 && !(impl_->listing = fdopendir(fd))) close(fd);
}

FolderListing::~FolderListing() {
  if (impl_->listing) closedir(impl_->listing);
  delete impl_;
}

bool FolderListing::ok() const { return impl_->listing != nullptr; }

bool FolderListing::next() {
  if (!impl_->listing) return false;
  while (dirent* entry = readdir(impl_->listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    impl_->name = std::move(name);
    impl_->dtype = entry->d_type;
    impl_->asked = 0;
    return true;
  }
  impl_->name.clear();
  return false;
}

const std::string& FolderListing::name() const { return impl_->name; }

EntryType FolderListing::type() const {
  if (!impl_->listing || impl_->name.empty()) return EntryType::kOther;
  unsigned char dtype = impl_->dtype;
  if (dtype == DT_UNKNOWN) {
    struct stat info{};
    if (fstatat(dirfd(impl_->listing), impl_->name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
      return EntryType::kOther;
    dtype = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_LNK;
  }
  if (dtype == DT_REG) return EntryType::kFile;
  if (dtype == DT_DIR) return EntryType::kFolder;
  return EntryType::kOther;
}

int32_t FolderListing::date(int kind) const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return internal::dateOfStatx(impl_->info, kind);
}

int64_t FolderListing::size() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return kNothingThere;
  if (S_ISDIR(impl_->info.stx_mode)) return kIsFolder;
  return static_cast<int64_t>(impl_->info.stx_size);
}

uint64_t FolderListing::mountId() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return internal::mountIdentityOf(impl_->info);
}

uint32_t FolderListing::links() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return impl_->info.stx_nlink;
}

bool FolderListing::ownedByUser() const {
  return impl_->listing && !impl_->name.empty() && impl_->examine() && impl_->info.stx_uid == geteuid();
}

Inode FolderListing::inode() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return {};
  return Inode{makedev(impl_->info.stx_dev_major, impl_->info.stx_dev_minor), impl_->info.stx_ino};
}

bool FolderListing::readable() const {
  if (!impl_->listing || impl_->name.empty()) return false;
  // The owner's read bit decides for the owner (an ACL never narrows it), so the common case
  // of one's own files needs no further call; every other case asks the kernel.
  static const uid_t user = geteuid();
  if (impl_->examine() && impl_->info.stx_uid == user && (impl_->info.stx_mode & S_IRUSR))
    return true;
  return faccessat(dirfd(impl_->listing), impl_->name.c_str(), R_OK, AT_EACCESS) == 0;
}

void pause(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool raiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  if (limit.rlim_cur == limit.rlim_max) return true;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

}  // namespace platform
