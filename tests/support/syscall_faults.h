// Faults made real through the syscall table: a test sets a rule for a call, the table entry
// then runs the rule, which may fail the call or pass it on to the system's own. Header-only:
// usable from platform_* tests, which link no test-support library.
#pragma once
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>

#include "platform/syscalls.h"

namespace testing_support {

struct SyscallRules {
  std::function<int(int dir, const char* path, int flags, mode_t mode)> openat;
  std::function<ssize_t(int fd, void* data, size_t size)> read;
  std::function<ssize_t(int fd, const void* data, size_t size)> write;
  std::function<ssize_t(int from, int to, size_t size)> copyFileRange;
  std::function<int(int fd)> fsync, fdatasync, syncfs;
  std::function<int(int dir, const char* path, int flags, mode_t mode, uint64_t resolve)> openat2;
  std::function<int(int fromDir, const char* from, int toDir, const char* to, unsigned flags)> renameat;
  std::function<int(int dir, const char* path, int flags)> unlinkat;
  std::function<int(int fromDir, const char* from, int toDir, const char* to, int flags)> linkat;
  std::function<int(int dir, const char* path, mode_t mode)> mkdirat;
  std::function<int(int dir, const char* path, const timespec* times, int flags)> utimensat;
  std::function<int(int fd, const char* name, const void* value, size_t size, int flags)> fsetxattr;
};

inline SyscallRules& syscallRules() {
  static SyscallRules rules;
  return rules;
}

// The real table, with every entry that has a rule going through it. A rule for write also
// makes copy_file_range report itself unsupported, so every copied byte meets the rule.
inline void applySyscallRules() {
  platform::Syscalls& table = platform::syscalls();
  table = platform::realSyscalls();
  const SyscallRules& r = syscallRules();
  if (r.openat) table.openat = [](int d, const char* p, int f, mode_t m) { return syscallRules().openat(d, p, f, m); };
  if (r.read) table.read = [](int fd, void* b, size_t n) { return syscallRules().read(fd, b, n); };
  if (r.write) {
    table.write = [](int fd, const void* b, size_t n) { return syscallRules().write(fd, b, n); };
    table.copyFileRange = [](int, int, size_t) -> ssize_t {
      errno = ENOSYS;
      return -1;
    };
  }
  if (r.copyFileRange)
    table.copyFileRange = [](int from, int to, size_t n) { return syscallRules().copyFileRange(from, to, n); };
  if (r.fsync) table.fsync = [](int fd) { return syscallRules().fsync(fd); };
  if (r.fdatasync) table.fdatasync = [](int fd) { return syscallRules().fdatasync(fd); };
  if (r.syncfs) table.syncfs = [](int fd) { return syscallRules().syncfs(fd); };
  if (r.openat2)
    table.openat2 = [](int d, const char* p, int f, mode_t m, uint64_t r) { return syscallRules().openat2(d, p, f, m, r); };
  if (r.renameat)
    table.renameat = [](int a, const char* b, int c, const char* d, unsigned f) { return syscallRules().renameat(a, b, c, d, f); };
  if (r.unlinkat) table.unlinkat = [](int d, const char* p, int f) { return syscallRules().unlinkat(d, p, f); };
  if (r.linkat)
    table.linkat = [](int a, const char* b, int c, const char* d, int f) { return syscallRules().linkat(a, b, c, d, f); };
  if (r.mkdirat) table.mkdirat = [](int d, const char* p, mode_t m) { return syscallRules().mkdirat(d, p, m); };
  if (r.utimensat) table.utimensat = [](int d, const char* p, const timespec* t, int f) { return syscallRules().utimensat(d, p, t, f); };
  if (r.fsetxattr)
    table.fsetxattr = [](int fd, const char* n, const void* v, size_t s, int f) { return syscallRules().fsetxattr(fd, n, v, s, f); };
}

inline void restoreSyscalls() {
  syscallRules() = SyscallRules{};
  platform::syscalls() = platform::realSyscalls();
}

// Routes every write of copies and data files through rule.
inline void setWriteRule(std::function<ssize_t(int fd, const void* data, size_t size)> rule) {
  syscallRules().write = std::move(rule);
  applySyscallRules();
}

// A volume without unnamed files, as FUSE ones (ntfs-3g, exfat-fuse) are: every O_TMPFILE
// open is refused as they refuse it.
inline void refuseUnnamedFiles() {
  syscallRules().openat = [](int dir, const char* path, int flags, mode_t mode) {
    if ((flags & O_TMPFILE) == O_TMPFILE) return errno = EOPNOTSUPP, -1;
    return platform::realSyscalls().openat(dir, path, flags, mode);
  };
  applySyscallRules();
}

// Puts the real table back when a test ends, whatever happens in it.
struct SyscallGuard {
  SyscallGuard() = default;
  SyscallGuard(const SyscallGuard&) = delete;
  SyscallGuard& operator=(const SyscallGuard&) = delete;
  ~SyscallGuard() { restoreSyscalls(); }
};

// The path of the open file or folder behind fd; with name, that entry inside the folder fd.
inline std::string pathOfFd(int fd, const char* name = nullptr) {
  if (fd == AT_FDCWD) return name ? name : "";
  if (name && name[0] == '/') return name;
  char target[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t size = readlink(link.c_str(), target, sizeof target);
  std::string path = size > 0 ? std::string(target, static_cast<size_t>(size)) : std::string();
  return name ? path + "/" + name : path;
}

}  // namespace testing_support
