// Helpers shared by the platform sources; callers outside platform/ never include this.
#pragma once
#include <sys/stat.h>
#include <cstddef>
#include <cstdint>

namespace platform::internal {

// True when hasWriteHook(): copies must go through writeAll so a test can fail them.
bool hasWriteHook();
// Writes all size bytes through the write seam, going on after short writes and EINTR;
// false (errno set) as soon as a write fails or writes nothing.
bool writeAll(int fd, const void* data, size_t size);
// Opens path for reading without touching its access time where the kernel allows it.
int openForReadingQuietly(const char* path);
// Date value of the time of that kind of a statx result (see fileDate).
int32_t dateOfStatx(const struct statx& info, int kind);

}  // namespace platform::internal
