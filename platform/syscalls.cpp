// The system's own calls behind the syscall table.
#include "platform/syscalls.h"

#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <cstdio>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

int realOpenat(int dir, const char* path, int flags, mode_t mode) {
  return ::openat(dir, path, flags, mode);
}
int realOpenat2(int dir, const char* path, int flags, mode_t mode, uint64_t resolve) {
  open_how how{};
  how.flags = static_cast<uint64_t>(flags);
  how.mode = (flags & (O_CREAT | __O_TMPFILE)) ? mode : 0;
  how.resolve = resolve;
  return static_cast<int>(::syscall(SYS_openat2, dir, path, &how, sizeof how));
}
int realRenameat(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
  return ::renameat2(fromDir, from, toDir, to, flags);
}
ssize_t realCopyFileRange(int from, int to, size_t size) {
  return ::copy_file_range(from, nullptr, to, nullptr, size, 0);
}
int realUtimensat(int dir, const char* path, const timespec times[2], int flags) {
  return path ? ::utimensat(dir, path, times, flags) : ::futimens(dir, times);
}

const Syscalls kReal = {realOpenat, realOpenat2, ::read,    ::write,  realCopyFileRange,
                        ::fsync,    ::fdatasync, ::syncfs,  realRenameat,
                        ::unlinkat, ::linkat,    ::mkdirat, realUtimensat, ::fsetxattr};
Syscalls inUse = kReal;

}  // namespace

Syscalls& syscalls() { return inUse; }
const Syscalls& realSyscalls() { return kReal; }

}  // namespace platform
