// File-system services on POSIX calls: sizes, path parts, folder listings, creating, copying
// and deleting. copyFile is the one place data is written for keeps, so it writes to a
// temporary name beside the target and renames only a complete copy over it.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
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

bool existsAt(const std::string& path) {
  struct stat info{};
  return !path.empty() && lstat(withoutTrailingSlashes(path).c_str(), &info) == 0;
}

bool FileIdentity::operator==(const FileIdentity& other) const {
  auto same = [](const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
  };
  return device == other.device && inode == other.inode && size == other.size &&
         same(modified, other.modified) && same(changed, other.changed);
}

namespace {
FileIdentity identityOf(const struct stat& info) {
  FileIdentity identity;
  if (!S_ISREG(info.st_mode)) return identity;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.size = info.st_size;
  identity.modified = info.st_mtim;
  identity.changed = info.st_ctim;
  return identity;
}
}  // namespace

FileIdentity fileIdentity(const std::string& path) {
  struct stat info{};
  if (path.empty() || lstat(path.c_str(), &info) != 0) return {};
  return identityOf(info);
}

std::string pathPart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string filePart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joinPath(const std::string& root, const std::string& name) {
  size_t start = name.find_first_not_of('/');
  std::string tail = start == std::string::npos ? std::string() : name.substr(start);
  if (root.empty()) return tail;
  if (root.back() == '/') return root + tail;
  return root + "/" + tail;
}

// ---- creating and deleting ----

int createFolder(const std::string& path) {
  std::string folder = withoutTrailingSlashes(path);
  if (folder.empty()) return 0;
  return syscalls().mkdirat(AT_FDCWD, folder.c_str(), 0777) == 0;
}

int deleteFile(const std::string& path) {
  return !path.empty() && syscalls().unlinkat(AT_FDCWD, path.c_str(), 0) == 0;
}

int deleteEmptyFolder(const std::string& path) {
  std::string folder = withoutTrailingSlashes(path);
  return !folder.empty() && syscalls().unlinkat(AT_FDCWD, folder.c_str(), AT_REMOVEDIR) == 0;
}

namespace {

// Gives the owner full rights on a folder (by name in dir) so its entries can be listed and
// removed; the folder must have been checked to be a real folder, not a link.
void makeFolderOpen(int dir, const char* name, mode_t mode) {
  if ((mode & S_IRWXU) != S_IRWXU) fchmodat(dir, name, (mode & 07777) | S_IRWXU, 0);
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

int deleteFolder(const std::string& path) {
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

// ---- copying ----

namespace {

constexpr size_t kCopyBlockBytes = FingerprintStream::kBlockBytes;
constexpr auto kTickEvery = std::chrono::milliseconds(75);
// A copy_file_range call is one step between ticks: its size follows the measured rate so a
// step takes about kKernelCopyStep on a fast disk and a slow stick alike.
constexpr auto kKernelCopyStep = std::chrono::milliseconds(20);
constexpr size_t kKernelCopyFirstBytes = 256 << 10;
constexpr size_t kKernelCopyLeastBytes = 64 << 10;
constexpr size_t kKernelCopyMostBytes = 16 << 20;

// Calls the tick when 75 ms have passed since the last one: with a step of the copy after it,
// the window is painted at least every 100 ms.
class Ticker {
 public:
  explicit Ticker(const std::function<void()>& tick) : tick_(tick) {}
  void maybeTick() {
    if (!tick_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - last_ < kTickEvery) return;
    tick_();
    last_ = std::chrono::steady_clock::now();
  }

 private:
  const std::function<void()>& tick_;
  std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

constexpr off_t kWritebackBytes = 8 << 20;

// Starts the disk writes of each full 8 MiB the copy has written, without waiting for them:
// the disk then writes while the next part is read, instead of all at the final sync. Small
// files never reach a full piece and are left for one sync of many files together.
class Writeback {
 public:
  explicit Writeback(int fd) : fd_(fd) {}
  void wrote(size_t bytes) {
    written_ += static_cast<off_t>(bytes);
    while (written_ - started_ >= kWritebackBytes) {
      sync_file_range(fd_, started_, kWritebackBytes, SYNC_FILE_RANGE_WRITE);
      started_ += kWritebackBytes;
    }
  }

 private:
  int fd_;
  off_t written_ = 0, started_ = 0;
};

enum class KernelCopy { kDone, kFailed, kUnsupported };

// The size of the next copy_file_range call, from the bytes and time the last one took.
size_t nextKernelCopyStep(size_t done, std::chrono::steady_clock::duration took) {
  const double seconds = std::max(std::chrono::duration<double>(took).count(), 1e-6);
  const double bytes = static_cast<double>(done) / seconds *
                       std::chrono::duration<double>(kKernelCopyStep).count();
  return static_cast<size_t>(std::clamp(bytes, double{kKernelCopyLeastBytes}, double{kKernelCopyMostBytes}));
}

// copy_file_range until the end of the source. kUnsupported only before the first byte, so
// the caller can fall back to reading and writing from the start.
KernelCopy copyInKernel(int from, int to, Ticker& ticker) {
  Writeback writeback(to);
  bool started = false;
  size_t step = kKernelCopyFirstBytes;
  for (;;) {
    const auto start = std::chrono::steady_clock::now();
    ssize_t done = syscalls().copyFileRange(from, to, step);
    if (done < 0 && errno == EINTR) continue;
    if (done < 0) {
      bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                         errno == EOPNOTSUPP || errno == EBADF;
      return !started && unsupported ? KernelCopy::kUnsupported : KernelCopy::kFailed;
    }
    if (done == 0) return KernelCopy::kDone;
    started = true;
    writeback.wrote(static_cast<size_t>(done));
    step = nextKernelCopyStep(static_cast<size_t>(done), std::chrono::steady_clock::now() - start);
    ticker.maybeTick();
  }
}

// Reads, hashes and writes block by block. With prints the blocks are read straight into the
// stream's buffers: while this thread writes block k and reads k+1, a helper hashes block k.
bool copyByBlocks(int from, int to, FingerprintStream* prints, Ticker& ticker) {
  std::unique_ptr<char[]> own(prints ? nullptr : new char[kCopyBlockBytes]);
  Writeback writeback(to);
  internal::ReadWindow window(from);
  int64_t offset = 0;
  for (;;) {
    char* block = prints ? reinterpret_cast<char*>(prints->nextBlock()) : own.get();
    window.before(offset);
    ssize_t got = syscalls().read(from, block, kCopyBlockBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    offset += got;
    if (prints) prints->commit(static_cast<size_t>(got));
    if (!internal::writeAll(to, block, static_cast<size_t>(got))) return false;
    writeback.wrote(static_cast<size_t>(got));
    ticker.maybeTick();
  }
}

// Fills the open temporary file from the source and gives it the source's mode and times.
bool fillCopy(int from, int to, const struct stat& source, const CopyOptions& options) {
  Ticker ticker(options.tick);
  FingerprintStream stream;
  bool wantPrints = options.sourcePrints != nullptr;
  bool copied = false;
  bool blocks = wantPrints;
  if (!blocks) {
    KernelCopy result = copyInKernel(from, to, ticker);
    if (result == KernelCopy::kUnsupported) blocks = true;
    copied = result == KernelCopy::kDone;
  }
  if (blocks) copied = copyByBlocks(from, to, wantPrints ? &stream : nullptr, ticker);
  if (!copied) return false;
  // A volume that keeps no permission bits (FAT) refuses to change them; the bytes still count.
  if (fchmod(to, source.st_mode & 07777) != 0 && errno != EPERM && errno != ENOSYS &&
      errno != EOPNOTSUPP)
    return false;
  if (options.keepTimes) {
    const timespec times[2] = {source.st_atim, source.st_mtim};
    if (syscalls().utimensat(to, nullptr, times, 0) != 0) return false;
  }
  // fsync carries the times along; fdatasync is enough for the bytes alone.
  if (options.durable &&
      (options.keepTimes ? syscalls().fsync(to) : syscalls().fdatasync(to)) != 0)
    return false;
  if (wantPrints) *options.sourcePrints = stream.finish();
  return true;
}

const std::string kTemporaryPrefix = ".burnshelf-";
constexpr size_t kTemporaryRandom = 6;
const char kTemporaryLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool isTemporaryName(const std::string& name) {
  if (name.size() != kTemporaryPrefix.size() + kTemporaryRandom ||
      name.compare(0, kTemporaryPrefix.size(), kTemporaryPrefix) != 0)
    return false;
  return name.find_first_not_of(kTemporaryLetters, kTemporaryPrefix.size()) == std::string::npos;
}

// Creates a new temporary file in the open folder dir; its descriptor, or -1.
int createTemporary(int dir, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char random[kTemporaryRandom];
    if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return -1;
    name = kTemporaryPrefix;
    for (unsigned char r : random) name += kTemporaryLetters[r % (sizeof kTemporaryLetters - 1)];
    int fd = syscalls().openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

Temporary copyToTemporary(const std::string& source, const std::string& target,
                          const CopyOptions& options) {
  if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  if (options.sourceSeen) *options.sourceSeen = FileIdentity{};
  Temporary temporary{pathPart(target), ""};
  if (source.empty() || target.empty() || target.back() == '/') return temporary;
  int from = internal::openForReadingQuietly(source.c_str());
  if (from < 0) return temporary;
  struct stat info{};
  int dir = fstat(from, &info) == 0 ? internal::openFolder(temporary.folder) : -1;
  std::string name;
  int to = dir >= 0 ? createTemporary(dir, name) : -1;
  if (to < 0) {
    if (dir >= 0) close(dir);
    close(from);
    return temporary;
  }
  if (options.sourceSeen) *options.sourceSeen = identityOf(info);
  posix_fadvise(from, 0, 0, POSIX_FADV_SEQUENTIAL);
  bool good = fillCopy(from, to, info, options);
  close(from);
  good = close(to) == 0 && good;  // network file systems report write errors at close
  if (good) {
    temporary.name = name;
  } else {
    syscalls().unlinkat(dir, name.c_str(), 0);
    if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  }
  close(dir);
  return temporary;
}

int placeTemporary(const Temporary& temporary, const std::string& target) {
  if (temporary.name.empty() || pathPart(target) != temporary.folder) return 0;
  int dir = internal::openFolder(temporary.folder);
  if (dir < 0) return 0;
  bool good = syscalls().renameat(dir, temporary.name.c_str(), dir, filePart(target).c_str()) == 0;
  close(dir);
  return good;
}

void discardTemporary(const Temporary& temporary) {
  if (temporary.name.empty()) return;
  int dir = internal::openFolder(temporary.folder);
  if (dir < 0) return;
  syscalls().unlinkat(dir, temporary.name.c_str(), 0);
  close(dir);
}

Fingerprints fingerprintFromDisk(const Temporary& temporary, bool syncFirst,
                                 const std::function<void()>& tick) {
  if (temporary.name.empty()) return {};
  int dir = internal::openFolder(temporary.folder);
  if (dir < 0) return {};
  int fd = internal::openForReadingQuietly(temporary.name.c_str(), dir);
  close(dir);
  if (fd < 0) return {};
  if (syncFirst && syscalls().fdatasync(fd) != 0) {
    close(fd);
    return {};
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  return internal::fingerprintOpenFile(fd, tick);  // closes fd
}

int removeStaleTemporaries(const std::string& folder) {
  int dir = internal::openFolder(folder);
  if (dir < 0) return 0;
  DIR* listing = fdopendir(dup(dir));
  int removed = 0;
  while (listing) {
    dirent* entry = readdir(listing);
    if (!entry) break;
    struct stat info{};
    if (!isTemporaryName(entry->d_name) ||
        fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
      continue;
    if (syscalls().unlinkat(dir, entry->d_name, 0) == 0) ++removed;
  }
  if (listing) closedir(listing);
  close(dir);
  return removed;
}

int copyFile(const std::string& source, const std::string& target, const CopyOptions& options) {
  const Temporary temporary = copyToTemporary(source, target, options);
  if (temporary.name.empty()) return 0;
  if (placeTemporary(temporary, target)) return 1;
  discardTemporary(temporary);
  if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  return 0;
}

int replaceFileContent(const std::string& path, const std::string& bytes) {
  const std::string folder = pathPart(path);
  int dir = internal::openFolder(folder);
  if (dir < 0 || path.back() == '/') {
    if (dir >= 0) close(dir);
    return 0;
  }
  std::string name;
  int fd = createTemporary(dir, name);
  if (fd >= 0) fchmod(fd, 0644);  // readable like any file the user keeps; FAT keeps no modes
  bool good = fd >= 0 && internal::writeAll(fd, bytes.data(), bytes.size()) &&
              syscalls().fsync(fd) == 0;
  if (fd >= 0) good = close(fd) == 0 && good;
  good = good && syscalls().renameat(dir, name.c_str(), dir, filePart(path).c_str()) == 0;
  if (!good && fd >= 0) syscalls().unlinkat(dir, name.c_str(), 0);
  close(dir);
  return good;
}

bool readFileContent(const std::string& path, int64_t maxBytes, std::string& bytes) {
  bytes.clear();
  int fd = internal::openForReadingQuietly(path.c_str());
  if (fd < 0) return false;
  char block[65536];
  bool good = true;
  for (;;) {
    ssize_t got = syscalls().read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || static_cast<int64_t>(bytes.size()) + got > maxBytes) {
      good = got == 0;
      break;
    }
    bytes.append(block, static_cast<size_t>(got));
  }
  close(fd);
  return good;
}

// ---- durability and volume facts ----

namespace {
// Opens path for a call on the open file; never waits on a FIFO or a device.
int openQuietly(const std::string& path) {
  return path.empty() ? -1
                      : syscalls().openat(AT_FDCWD, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK, 0);
}
}  // namespace

int flushAndForget(const std::string& path) {
  int fd = openQuietly(path);
  if (fd < 0) return 0;
  bool good = syscalls().fdatasync(fd) == 0;
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  close(fd);
  return good;
}

int forgetCached(const std::string& path) {
  int fd = openQuietly(path);
  if (fd < 0) return 0;
  bool good = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  close(fd);
  return good;
}

int prefetchFile(const std::string& path) {
  int fd = internal::openForReadingQuietly(path.c_str());
  if (fd < 0) return 0;
  bool good = posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED) == 0;
  close(fd);
  return good;
}

int syncVolume(const std::string& path) {
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

int lockFolder(const std::string& folder, const std::string& lockName) {
  for (int attempt = 0; attempt < 10; ++attempt) {
    int dir = internal::openFolder(folder);
    if (dir < 0) return kNoLock;
    int fd = syscalls().openat(dir, lockName.c_str(),
                               O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0) {
      close(dir);
      return kNoLock;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      close(fd);
      close(dir);
      return error == EWOULDBLOCK ? kLockedElsewhere : kNoLock;
    }
    // The holder before us removes the file as it lets go: a lock on a file that lost its
    // name between our open and our flock counts for nothing, so try again.
    struct stat held{}, named{};
    const bool same = fstat(fd, &held) == 0 &&
                      fstatat(dir, lockName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
                      held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    close(dir);
    if (same) return fd;
    close(fd);
  }
  return kLockedElsewhere;
}

void unlockFolder(int lock, const std::string& folder, const std::string& lockName) {
  if (lock < 0) return;
  deleteFile(joinPath(folder, lockName));  // while still held, so no one locks a lost name
  close(lock);
}

uint32_t fileMode(const std::string& path) {
  struct stat info{};
  return !path.empty() && stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

int setFileMode(const std::string& path, uint32_t mode) {
  return !path.empty() && chmod(path.c_str(), mode & 07777) == 0;
}

bool canRead(const std::string& path) {
  return !path.empty() && faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) == 0;
}

bool canWriteInto(const std::string& folder) {
  return !folder.empty() && faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// ---- folder listings ----

struct FolderScan::Impl {
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

FolderScan::FolderScan(const std::string& folder) : impl_(new Impl) {
  if (!folder.empty()) impl_->listing = opendir(folder.c_str());
}

FolderScan::~FolderScan() {
  if (impl_->listing) closedir(impl_->listing);
  delete impl_;
}

bool FolderScan::ok() const { return impl_->listing != nullptr; }

bool FolderScan::next() {
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

const std::string& FolderScan::name() const { return impl_->name; }

int FolderScan::type() const {
  if (!impl_->listing || impl_->name.empty()) return kEntryOther;
  unsigned char dtype = impl_->dtype;
  if (dtype == DT_UNKNOWN) {
    struct stat info{};
    if (fstatat(dirfd(impl_->listing), impl_->name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
      return kEntryOther;
    dtype = S_ISREG(info.st_mode) ? DT_REG : S_ISDIR(info.st_mode) ? DT_DIR : DT_LNK;
  }
  if (dtype == DT_REG) return kEntryFile;
  if (dtype == DT_DIR) return kEntryFolder;
  return kEntryOther;
}

int32_t FolderScan::date(int kind) const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return internal::dateOfStatx(impl_->info, kind);
}

int64_t FolderScan::size() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return kNothingThere;
  if (S_ISDIR(impl_->info.stx_mode)) return kIsFolder;
  return static_cast<int64_t>(impl_->info.stx_size);
}

uint64_t FolderScan::mountId() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return internal::mountIdentityOf(impl_->info);
}

uint32_t FolderScan::links() const {
  if (!impl_->listing || impl_->name.empty() || !impl_->examine()) return 0;
  return impl_->info.stx_nlink;
}

bool FolderScan::readable() const {
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

}  // namespace platform
