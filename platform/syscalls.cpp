// The system's own calls behind the syscall table.
#include "platform/syscalls.h"

#include <sys/stat.h>
#include <cstdio>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

int realOpenat(int dir, const char* path, int flags, mode_t mode) {
  return ::openat(dir, path, flags, mode);
}
ssize_t realCopyFileRange(int from, int to, size_t size) {
  return ::copy_file_range(from, nullptr, to, nullptr, size, 0);
}
int realUtimensat(int dir, const char* path, const timespec times[2], int flags) {
  return path ? ::utimensat(dir, path, times, flags) : ::futimens(dir, times);
}

const Syscalls kReal = {realOpenat, ::read,      ::write,    realCopyFileRange,
                        ::fsync,    ::fdatasync, ::syncfs,   ::renameat,
                        ::unlinkat, ::mkdirat,   realUtimensat};
Syscalls inUse = kReal;

}  // namespace

Syscalls& syscalls() { return inUse; }
const Syscalls& realSyscalls() { return kReal; }

}  // namespace platform
