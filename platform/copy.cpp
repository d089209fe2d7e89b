// Copying on POSIX calls: the one place data is written for keeps. A copy is written as an
// unnamed file in its target's folder (a temporary name where the file system has no such
// files), keeps holes, owner, mode and times, and takes its name only once complete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "platform/attributes.h"
#include "platform/beneath.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {

// A file held open by descriptor, closed when its last holder lets go.
class HeldFile {
 public:
  explicit HeldFile(int fd) : fd_(fd) {}
  ~HeldFile() { close(fd_); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

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
  // Call with the offset the copy has written up to; a hole skipped counts as written.
  void reached(off_t end) {
    while (end - started_ >= kWritebackBytes) {
      sync_file_range(fd_, started_, kWritebackBytes, SYNC_FILE_RANGE_WRITE);
      started_ += kWritebackBytes;
    }
  }

 private:
  int fd_;
  off_t started_ = 0;
};

// Which stretches of a source a copy reads: the source's own data (holes skipped), or only
// those named; the stretches read are noted where asked.
struct Stretches {
  const std::vector<DataRange>* only = nullptr;
  std::vector<DataRange>* read = nullptr;
  void copied(off_t start, off_t end) const {
    if (read && end > start) read->push_back(DataRange{start, end});
  }
};

// The next stretch of data of the open file at or after offset, [start, end); false after
// the last. Holes between stretches are skipped, so a copy keeps them: copy_file_range keeps
// them only on some file systems. A file system that cannot tell holes reports all as data.
bool nextData(int fd, off_t offset, off_t& start, off_t& end, const Stretches& stretches) {
  if (stretches.only) {
    const auto& only = *stretches.only;
    const auto next = std::upper_bound(only.begin(), only.end(), offset,
                                       [](off_t at, const DataRange& range) { return at < range.end; });
    if (next == only.end()) return false;
    start = std::max<off_t>(next->start, offset);
    end = std::min<off_t>(next->end, lseek(fd, 0, SEEK_END));
    return end > start;
  }
  start = lseek(fd, offset, SEEK_DATA);
  if (start < 0 && errno == ENXIO) return false;  // only a hole (or nothing) from offset on
  if (start < 0) start = offset;
  end = lseek(fd, start, SEEK_HOLE);
  if (end <= start) end = lseek(fd, 0, SEEK_END);
  return end > start;
}

// Gives the copy the source's length, so a hole at the end stays a hole.
bool endLikeSource(int from, int to, off_t copied) {
  const off_t size = lseek(from, 0, SEEK_END);
  return size >= 0 && ftruncate(to, std::max(size, copied)) == 0;
}

enum class KernelCopy { kDone, kFailed, kUnsupported };

// The size of the next copy_file_range call, from the bytes and time the last one took.
size_t nextKernelCopyStep(size_t done, std::chrono::steady_clock::duration took) {
  const double seconds = std::max(std::chrono::duration<double>(took).count(), 1e-6);
  const double bytes = static_cast<double>(done) / seconds *
                       std::chrono::duration<double>(kKernelCopyStep).count();
  return static_cast<size_t>(std::clamp(bytes, double{kKernelCopyLeastBytes}, double{kKernelCopyMostBytes}));
}

// copy_file_range of every stretch of data, in steps sized by the measured rate. kUnsupported only before the first byte, so
// the caller can fall back to reading and writing from the start.
KernelCopy copyInKernel(int from, int to, const Stretches& stretches, Ticker& ticker) {
  Writeback writeback(to);
  bool started = false;
  size_t step = kKernelCopyFirstBytes;
  off_t offset = 0, start = 0, end = 0;
  while (nextData(from, offset, start, end, stretches)) {
    if (lseek(from, start, SEEK_SET) != start || lseek(to, start, SEEK_SET) != start)
      return KernelCopy::kFailed;
    for (offset = start; offset < end;) {
      const size_t piece = static_cast<size_t>(std::min<off_t>(end - offset, static_cast<off_t>(step)));
      const auto begun = std::chrono::steady_clock::now();
      ssize_t done = syscalls().copyFileRange(from, to, piece);
      if (done < 0 && errno == EINTR) continue;
      if (done < 0) {
        bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                           errno == EOPNOTSUPP || errno == EBADF;
        return !started && unsupported ? KernelCopy::kUnsupported : KernelCopy::kFailed;
      }
      if (done == 0) break;  // the source got shorter meanwhile
      started = true;
      offset += done;
      writeback.reached(offset);
      step = nextKernelCopyStep(static_cast<size_t>(done), std::chrono::steady_clock::now() - begun);
      ticker.maybeTick();
    }
    stretches.copied(start, offset);
    offset = std::max(offset, end);
  }
  return endLikeSource(from, to, offset) ? KernelCopy::kDone : KernelCopy::kFailed;
}

// Hashes the zeros a hole of the source reads as, without writing them.
void hashHole(FingerprintStream& prints, off_t size) {
  while (size > 0) {
    const size_t piece = static_cast<size_t>(std::min<off_t>(size, kCopyBlockBytes));
    std::memset(prints.nextBlock(), 0, piece);
    prints.commit(piece);
    size -= static_cast<off_t>(piece);
  }
}

// Reads, hashes and writes block by block, stretch of data by stretch. With prints the
// blocks are read straight into the stream's buffers: while this thread writes block k and
// reads k+1, a helper hashes block k; holes are hashed as the zeros they read as.
bool copyByBlocks(int from, int to, const Stretches& stretches, FingerprintStream* prints, Ticker& ticker) {
  std::unique_ptr<char[]> own(prints ? nullptr : new char[kCopyBlockBytes]);
  Writeback writeback(to);
  internal::ReadWindow window(from);
  off_t offset = 0, start = 0, end = 0;
  while (nextData(from, offset, start, end, stretches)) {
    if (prints) hashHole(*prints, start - offset);
    if (lseek(from, start, SEEK_SET) != start || lseek(to, start, SEEK_SET) != start) return false;
    for (offset = start; offset < end;) {
      char* block = prints ? reinterpret_cast<char*>(prints->nextBlock()) : own.get();
      window.before(offset);
      const size_t piece = static_cast<size_t>(std::min<off_t>(end - offset, kCopyBlockBytes));
      ssize_t got = syscalls().read(from, block, piece);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return false;
      if (got == 0) break;  // the source got shorter meanwhile
      offset += got;
      if (prints) prints->commit(static_cast<size_t>(got));
      if (!internal::writeAll(to, block, static_cast<size_t>(got))) return false;
      writeback.reached(offset);
      ticker.maybeTick();
    }
    stretches.copied(start, offset);
    offset = std::max(offset, end);
  }
  const off_t size = lseek(from, 0, SEEK_END);
  if (prints && size > offset) hashHole(*prints, size - offset);
  return endLikeSource(from, to, offset);
}

// Gives the open copy an owner and group where this process may (the temporary is its own
// until then; FAT keeps neither), and the mode it may then have: a set-uid or set-gid bit
// only under the owner (group) it was given for.
mode_t takeOwner(int to, uid_t owner, gid_t group, mode_t wanted) {
  constexpr mode_t kPlainBits = 0777;
  struct stat copy{};
  if (fstat(to, &copy) != 0) return wanted & kPlainBits;
  // A refused change leaves the copy as it was; FAT may also accept one and keep nothing.
  if ((copy.st_uid != owner || copy.st_gid != group) && fchown(to, owner, group) == 0 &&
      fstat(to, &copy) != 0)
    return wanted & kPlainBits;
  mode_t mode = wanted & 07777;
  if (copy.st_uid != owner) mode &= ~(S_ISUID | S_ISGID);
  if (copy.st_gid != group) mode &= ~S_ISGID;
  return mode;
}

// Fills the open temporary file from the source and gives it its owner, mode and times:
// the source's, or those the options name.
bool fillCopy(int from, int to, const struct stat& source, const CopyOptions& options) {
  Ticker ticker(options.tick);
  FingerprintStream stream;
  const Stretches stretches{options.data, options.sourceData};
  bool wantPrints = options.sourcePrints != nullptr;
  bool copied = false;
  bool blocks = wantPrints;
  if (!blocks) {
    KernelCopy result = copyInKernel(from, to, stretches, ticker);
    if (result == KernelCopy::kUnsupported) blocks = true;  // before any stretch was noted
    copied = result == KernelCopy::kDone;
  }
  if (blocks) copied = copyByBlocks(from, to, stretches, wantPrints ? &stream : nullptr, ticker);
  if (!copied) return false;
  const mode_t mode = options.ownership
                          ? takeOwner(to, options.ownership->owner, options.ownership->group,
                                      static_cast<mode_t>(options.ownership->mode))
                          : takeOwner(to, source.st_uid, source.st_gid, source.st_mode);
  // After the owner and the bytes, since a change of either drops a file capability, and
  // before the mode, which may close the file to its owner's own changes.
  if (options.attributes && !writeAttributes(to, *options.attributes, !options.keepInherited)) return false;
  // A volume that keeps no permission bits (FAT) refuses to change them; the bytes still count.
  if (fchmod(to, mode) != 0 && errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP)
    return false;
  const bool setTimes = options.times || options.keepTimes;
  if (setTimes) {
    const timespec sourceTimes[2] = {source.st_atim, source.st_mtim};
    if (syscalls().utimensat(to, nullptr, options.times ? options.times : sourceTimes, 0) != 0) return false;
  }
  // fsync carries the times along; fdatasync is enough for the bytes alone.
  if (options.durable && (setTimes ? syscalls().fsync(to) : syscalls().fdatasync(to)) != 0)
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

// A fresh temporary name: ".burnshelf-" and 6 random letters or digits; "" when the system
// gives no random bytes.
std::string randomTemporaryName() {
  unsigned char random[kTemporaryRandom];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return "";
  std::string name = kTemporaryPrefix;
  for (unsigned char r : random) name += kTemporaryLetters[r % (sizeof kTemporaryLetters - 1)];
  return name;
}

// Creates a new file under a fresh temporary name in the open folder dir; its descriptor, or -1.
int createNamed(int dir, std::string& name) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    name = randomTemporaryName();
    if (name.empty()) return -1;
    int fd = syscalls().openat(dir, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Creates the temporary's file in the open folder dir, open for reading and writing: unnamed
// where the file system makes such files, so a stopped run leaves nothing named behind; else
// under a temporary name, entered in the user's record at once so a later sweep may remove
// it. Its descriptor, or -1; temporary gets the name ("" for none) and the inode.
int createTemporary(int dir, Temporary& temporary) {
  temporary.name.clear();
  int fd = syscalls().openat(dir, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  // FUSE volumes (ntfs-3g, exfat-fuse) and network ones have no unnamed files.
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) fd = createNamed(dir, temporary.name);
  struct stat info{};
  if (fd >= 0 && fstat(fd, &info) == 0) temporary.inode = Inode{info.st_dev, info.st_ino};
  if (fd >= 0 && !temporary.name.empty()) internal::recordTemporary(dir, temporary.inode.number, temporary.name);
  return fd;
}

// Gives the unnamed file fd the name in the open folder dir without replacing anything
// (EEXIST): by its descriptor where this process may (CAP_DAC_READ_SEARCH), else through
// /proc, as any user may. True on success.
bool linkUnnamed(int fd, int dir, const std::string& name) {
  if (syscalls().linkat(fd, "", dir, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  if (errno != ENOENT) return false;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  return syscalls().linkat(AT_FDCWD, self.c_str(), dir, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Gives the temporary name in its folder, replacing what stands there, by a rename. An
// unnamed file is linked under a temporary name just before: a run stopped between the two
// calls leaves a stray, never a removed file. True on success; the caller discards otherwise.
bool replaceWithTemporary(const Temporary& temporary, const std::string& name) {
  const int dir = temporary.folder->fd();
  std::string through = temporary.name;
  for (int attempt = 0; temporary.file && through.empty(); ++attempt) {
    const std::string candidate = randomTemporaryName();
    if (candidate.empty() || attempt == 100) return false;
    if (linkUnnamed(temporary.file->fd(), dir, candidate)) through = candidate;
    else if (errno != EEXIST) return false;
  }
  if (syscalls().renameat(dir, through.c_str(), dir, name.c_str(), 0) == 0) {
    if (!temporary.file) internal::forgetTemporary(through);
    return true;
  }
  if (temporary.file) syscalls().unlinkat(dir, through.c_str(), 0);
  return false;
}

// Copies the open regular file from (which it closes) into a new temporary in folder.
Temporary copyOpenToTemporary(int from, const Held& folder, const CopyOptions& options) {
  Temporary temporary;
  temporary.folder = folder;
  struct stat info{};
  const int to = folder && fstat(from, &info) == 0 ? createTemporary(folder->fd(), temporary) : -1;
  if (to < 0) {
    close(from);
    return {};
  }
  if (options.sourceSeen) *options.sourceSeen = internal::identityOf(info);
  if (options.sourceData) options.sourceData->clear();
  posix_fadvise(from, 0, 0, POSIX_FADV_SEQUENTIAL);
  bool good = fillCopy(from, to, info, options);
  close(from);
  struct stat written{};
  good = fstat(to, &written) == 0 && good;
  temporary.size = written.st_size;
  // An unnamed copy waits open for its proof and its name; it goes with its last descriptor.
  if (temporary.name.empty() && good) temporary.file = std::make_shared<const HeldFile>(to);
  else good = close(to) == 0 && good;  // network file systems report write errors at close
  if (good) return temporary;
  const int error = errno;
  discardTemporary(temporary);
  if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  errno = error;
  return {};
}

void clearResults(const CopyOptions& options) {
  if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  if (options.sourceSeen) *options.sourceSeen = FileIdentity{};
}

}  // namespace

Temporary copyToTemporary(const std::string& source, const std::string& target,
                          const CopyOptions& options) {
  clearResults(options);
  if (source.empty() || target.empty() || target.back() == '/') return {};
  const int from = internal::openForReadingQuietly(source.c_str());
  if (from < 0) return {};
  return copyOpenToTemporary(from, internal::holdByPath(pathPart(target)), options);
}

Temporary copyPlaceToTemporary(const Place& source, const Held& folder, const CopyOptions& options) {
  clearResults(options);
  const int from = openToRead(source);
  if (from < 0) return {};
  // Only the very file that was listed, and only while it has no other name: moving one
  // name of a hard-linked file frees nothing, and the other name may lie anywhere.
  struct stat info{};
  if (fstat(from, &info) != 0 || info.st_nlink != 1 ||
      (options.expected && options.expected->number != 0 &&
       !(Inode{info.st_dev, info.st_ino} == *options.expected))) {
    close(from);
    errno = ESTALE;
    return {};
  }
  // What cannot come back with the file keeps it where it is.
  if (options.sourceAttributes && readAttributes(from, *options.sourceAttributes) != AttributesRead::kRead) {
    close(from);
    errno = EPERM;
    return {};
  }
  return copyOpenToTemporary(from, folder, options);
}

namespace {

// A named temporary's rename that never replaces anything; true on success.
bool renameNamed(int dir, const std::string& from, const std::string& to) {
  if (syscalls().renameat(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  // A file system that cannot refuse to replace (some FUSE ones): asked first, then renamed.
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  struct stat info{};
  if (fstatat(dir, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) {
    errno = EEXIST;
    return false;
  }
  return syscalls().renameat(dir, from.c_str(), dir, to.c_str(), 0) == 0;
}

// A second descriptor of the held unnamed copy that reads it from the start, leaving its
// access time as the copy set it; -1 on failure.
int reopenToRead(const HeldFile& file) {
  const int fd = fcntl(file.fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return -1;
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NOATIME);
  if (lseek(fd, 0, SEEK_SET) == 0) return fd;
  close(fd);
  return -1;
}

}  // namespace

bool placeTemporaryAs(const Temporary& temporary, const std::string& name) {
  if (!temporary.made() || !temporary.folder || name.empty() || name.find('/') != std::string::npos)
    return false;
  const int dir = temporary.folder->fd();
  if (temporary.file) return linkUnnamed(temporary.file->fd(), dir, name);
  if (!renameNamed(dir, temporary.name, name)) return false;
  internal::forgetTemporary(temporary.name);
  return true;
}

void discardTemporary(const Temporary& temporary) {
  // An unnamed copy needs nothing: it goes when its last descriptor is closed.
  if (temporary.name.empty() || !temporary.folder) return;
  const int error = errno;  // callers still ask why the copy failed
  if (syscalls().unlinkat(temporary.folder->fd(), temporary.name.c_str(), 0) == 0 || errno == ENOENT)
    internal::forgetTemporary(temporary.name);
  errno = error;
}

FileIdentity temporaryIdentity(const Temporary& temporary) {
  struct stat info{};
  if (temporary.file) return fstat(temporary.file->fd(), &info) == 0 ? internal::identityOf(info) : FileIdentity{};
  const FileIdentity named = identityAt(Place{temporary.folder, temporary.name});
  return Inode{named.device, named.inode} == temporary.inode ? named : FileIdentity{};
}

Fingerprints fingerprintFromDisk(const Temporary& temporary, bool syncFirst,
                                 const std::function<void()>& tick) {
  if (!temporary.made() || !temporary.folder) return {};
  int fd = temporary.file ? reopenToRead(*temporary.file)
                          : internal::openForReadingQuietly(temporary.name.c_str(), temporary.folder->fd());
  if (fd < 0) return {};
  if (syncFirst && syscalls().fdatasync(fd) != 0) {
    close(fd);
    return {};
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  return internal::fingerprintOpenFile(fd, tick);  // closes fd
}

int removeStaleTemporaries(const Held& folder) {
  if (!folder) return 0;
  const internal::TemporaryRecord record;
  if (record.empty()) return 0;
  const int dir = folder->fd();
  DIR* listing = fdopendir(dup(dir));
  if (listing) rewinddir(listing);  // the copy of the descriptor shares its place in the folder
  int removed = 0;
  while (listing) {
    dirent* entry = readdir(listing);
    if (!entry) break;
    struct stat info{};
    // A temporary has one name; a second one makes it a file someone keeps.
    if (!isTemporaryName(entry->d_name) || fstatat(dir, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(info.st_mode) || info.st_nlink != 1)
      continue;
    if (!record.made(dir, info.st_ino, entry->d_name) || syscalls().unlinkat(dir, entry->d_name, 0) != 0) continue;
    internal::forgetTemporary(entry->d_name);
    ++removed;
  }
  if (listing) closedir(listing);
  return removed;
}

bool copyFile(const std::string& source, const std::string& target, const CopyOptions& options) {
  const Temporary temporary = copyToTemporary(source, target, options);
  if (!temporary.made()) return false;
  if (replaceWithTemporary(temporary, filePart(target))) return true;
  discardTemporary(temporary);
  if (options.sourcePrints) *options.sourcePrints = Fingerprints{};
  return false;
}

bool replaceFileContent(const Held& folder, const std::string& name, const std::string& bytes, mode_t mode) {
  if (!folder || name.empty() || name.find('/') != std::string::npos) return false;
  Temporary temporary;
  temporary.folder = folder;
  const int fd = createTemporary(folder->fd(), temporary);
  if (fd < 0) return false;
  fchmod(fd, mode);  // FAT keeps no modes
  bool good = internal::writeAll(fd, bytes.data(), bytes.size()) && syscalls().fsync(fd) == 0;
  if (temporary.name.empty()) temporary.file = std::make_shared<const HeldFile>(fd);
  else good = close(fd) == 0 && good;
  good = good && replaceWithTemporary(temporary, name);
  if (!good) discardTemporary(temporary);
  return good;
}

bool replaceFileContent(const std::string& path, const std::string& bytes) {
  if (path.empty() || path.back() == '/') return false;
  // Readable like any file the user keeps.
  return replaceFileContent(internal::holdByPath(pathPart(path)), filePart(path), bytes, 0644);
}

namespace {

bool readAll(int fd, int64_t maxBytes, std::string& bytes) {
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

}  // namespace

bool readFileContent(const std::string& path, int64_t maxBytes, std::string& bytes) {
  bytes.clear();
  return readAll(internal::openForReadingQuietly(path.c_str()), maxBytes, bytes);
}

bool readFileContent(const Place& place, int64_t maxBytes, std::string& bytes) {
  bytes.clear();
  return readAll(openToRead(place), maxBytes, bytes);
}

}  // namespace platform
