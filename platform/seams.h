// Seams the tests use to make system calls fail; the program never sets them.
#pragma once
#include <sys/types.h>
#include <cstddef>
#include <functional>

namespace platform {

// Replaces ::write for copyFile and DataFile writes. It must behave like ::write: return the
// bytes written (a short count is allowed) or -1 with errno set. An empty hook restores ::write.
using WriteHook = std::function<ssize_t(int fd, const void* data, size_t size)>;
void setWriteHookForTests(WriteHook hook);

}  // namespace platform
