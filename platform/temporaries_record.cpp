// The record of the temporaries this user's runs made under a name, where a file system makes
// no unnamed files: a line "+ mount inode name" when one is made, "- name" when it is placed
// or removed. It lies in the user's data folder, never on a staging volume, which anyone
// holding the stick may write: only what it lists is ever swept as stale.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <mutex>
#include <string>

#include "platform/internal.h"

// A mount's identity that is never given to another while the system runs (Linux 6.8).
#ifndef STATX_MNT_ID_UNIQUE
#define STATX_MNT_ID_UNIQUE 0x00004000U
#endif

namespace platform::internal {
namespace {

const char kRecordName[] = "temporaries";
const char kCompactName[] = "temporaries.new";
// Placed and removed temporaries leave pairs of lines: each time the record grows past
// another multiple of this many bytes (some 1200 pairs) it is written anew with only the
// lines still in force, so however many stay in force, rewriting costs little per line.
constexpr off_t kCompactEvery = 64 << 10;
constexpr off_t kMostBytes = 16 << 20;

// The mount the open folder lies on; 0 when unknown. Older kernels give an identity that a
// later mount may take again: a temporary then only stays longer.
uint64_t mountOf(int folder) {
  struct statx info{};
  return statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID_UNIQUE, &info) == 0 ? info.stx_mnt_id : 0;
}

// Believed only as the user's own regular file that no one else may write.
bool trusted(int fd) {
  struct stat info{};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
         (info.st_mode & 022) == 0 && info.st_size <= kMostBytes;
}

std::string textOf(int fd) {
  std::string text;
  char block[16384];
  for (off_t at = 0;;) {
    const ssize_t got = pread(fd, block, sizeof block, at);
    if (got <= 0) return text;
    text.append(block, static_cast<size_t>(got));
    at += got;
  }
}

bool number(const std::string& text, size_t& at, uint64_t& value) {
  const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
  if (error != std::errc{} || end == text.data() + text.size() || *end != ' ') return false;
  at = static_cast<size_t>(end - text.data()) + 1;
  return true;
}

// The temporaries made and not yet placed or removed, by name. A line cut short (a full
// disk) names nothing that stands anywhere.
std::multimap<std::string, MadeAt> inForce(const std::string& text) {
  std::multimap<std::string, MadeAt> made;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
    const std::string line = text.substr(start, end - start);
    size_t at = 2;
    MadeAt where;
    if (line.rfind("- ", 0) == 0) made.erase(line.substr(2));
    else if (line.rfind("+ ", 0) == 0 && number(line, at, where.mount) && number(line, at, where.inode))
      made.emplace(line.substr(at), where);
  }
  return made;
}

// The record in the open data folder, open for appending and locked against another run's
// rewrite of it; -1 when it cannot be had. A run that waited for the lock while the record
// was written anew opens the new one.
int openLocked(int folder) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int fd = openat(folder, kRecordName, O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat held{}, named{};
    if (flock(fd, LOCK_EX) == 0 && fstat(fd, &held) == 0 &&
        fstatat(folder, kRecordName, &named, AT_SYMLINK_NOFOLLOW) == 0 && held.st_ino == named.st_ino)
      return fd;
    close(fd);
  }
  return -1;
}

std::string madeLine(const MadeAt& where, const std::string& name) {
  return "+ " + std::to_string(where.mount) + " " + std::to_string(where.inode) + " " + name + "\n";
}

// Writes the record anew with only the temporaries still in force, under the lock of fd.
void compact(int folder, int fd) {
  std::string text;
  for (const auto& [name, where] : inForce(textOf(fd))) text += madeLine(where, name);
  const int fresh = openat(folder, kCompactName, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fresh < 0) return;
  const bool written = write(fresh, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  if (close(fresh) == 0 && written) renameat(folder, kCompactName, folder, kRecordName);
}

void append(const std::string& line, bool create) {
  const std::string folderPath = userDataFolder(create);
  const int folder = folderPath.empty() ? -1 : open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  const int fd = openLocked(folder);
  struct stat info{};
  const off_t size = static_cast<off_t>(line.size());
  if (fd >= 0 && trusted(fd) && write(fd, line.data(), line.size()) == size && fstat(fd, &info) == 0 &&
      (info.st_size - size) / kCompactEvery != info.st_size / kCompactEvery)
    compact(folder, fd);
  if (fd >= 0) close(fd);
  close(folder);
}

}  // namespace

void recordTemporary(int folder, uint64_t inode, const std::string& name) {
  append(madeLine(MadeAt{mountOf(folder), inode}, name), true);
}

void forgetTemporary(const std::string& name) { append("- " + name + "\n", false); }

// BACK sweeps every folder it restores to: the record is read again only once it changed.
TemporaryRecord::TemporaryRecord() {
  static std::mutex guard;
  static std::string lastKey;
  static std::multimap<std::string, MadeAt> lastMade;
  const std::string folder = userDataFolder(false);
  const int fd = folder.empty() ? -1 : open((folder + "/" + kRecordName).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info{};
  if (fd < 0 || !trusted(fd) || fstat(fd, &info) != 0) {
    if (fd >= 0) close(fd);
    return;
  }
  const std::string key = std::to_string(info.st_dev) + " " + std::to_string(info.st_ino) + " " +
                          std::to_string(info.st_size) + " " + std::to_string(info.st_mtim.tv_sec) + "." +
                          std::to_string(info.st_mtim.tv_nsec);
  const std::lock_guard<std::mutex> lock(guard);
  if (key != lastKey) {
    lastMade = inForce(textOf(fd));
    lastKey = key;
  }
  made_ = lastMade;
  close(fd);
}

bool TemporaryRecord::made(int folder, uint64_t inode, const std::string& name) const {
  const auto [first, last] = made_.equal_range(name);
  if (first == last) return false;
  const uint64_t mount = mountOf(folder);
  bool seenHere = false;
  for (auto entry = first; entry != last; ++entry) {
    if (entry->second.mount == mount && entry->second.inode == inode) return true;
    seenHere = seenHere || entry->second.mount == mount;
  }
  return !seenHere;
}

}  // namespace platform::internal
