// The system calls that the safety of a move depends on, reached through one table. A test
// replaces an entry to make that call fail (a full disk, an I/O error, a read-only volume);
// the program and the tests then run the same code. The program never changes the table.
#pragma once
#include <fcntl.h>
#include <sys/types.h>
#include <cstdint>
#include <ctime>

namespace platform {

struct Syscalls {
  int (*openat)(int dir, const char* path, int flags, mode_t mode);
  // openat2 with its resolve flags (RESOLVE_BENEATH and the like).
  int (*openat2)(int dir, const char* path, int flags, mode_t mode, uint64_t resolve);
  ssize_t (*read)(int fd, void* data, size_t size);
  ssize_t (*write)(int fd, const void* data, size_t size);
  ssize_t (*copyFileRange)(int from, int to, size_t size);  // at both files' offsets
  int (*fsync)(int fd);
  int (*fdatasync)(int fd);
  int (*syncfs)(int fd);
  int (*renameat)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);  // renameat2
  int (*unlinkat)(int dir, const char* path, int flags);
  // Gives a file another name; never replaces what stands at the new one (EEXIST).
  int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
  int (*mkdirat)(int dir, const char* path, mode_t mode);
  // A null path sets the times of the open file dir (futimens).
  int (*utimensat)(int dir, const char* path, const timespec times[2], int flags);
  int (*fsetxattr)(int fd, const char* name, const void* value, size_t size, int flags);
};

// The table in use; tests assign entries and put realSyscalls() back afterwards.
Syscalls& syscalls();
// The system's own calls.
const Syscalls& realSyscalls();

}  // namespace platform
