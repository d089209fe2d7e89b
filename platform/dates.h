// File dates as date values: signed 32-bit seconds whose UTC calendar fields are the local
// wall-clock fields of the time, converted at the offset in force at that date.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

constexpr int kCreated = 0;   // date kinds
constexpr int kAccessed = 1;
constexpr int kModified = 2;

// Date value of a file's or folder's time of that kind; creation falls back to the
// last-write time where the file system keeps none. 0 when the path does not exist.
int32_t fileDate(const std::string& path, int kind);
// Sets that one time of a file or folder, leaving the other two; true on success.
// Linux cannot set a creation time: kind kCreated does nothing and gives false.
bool setFileDate(const std::string& path, int kind, int32_t value);

// Date value of a system time (clamped to the 32-bit range), and back to a system time.
int32_t toDateValue(time_t seconds);
time_t fromDateValue(int32_t value);

// Exact times (nanoseconds) for the copies of "GO" and "BACK".
// The time of that kind (kAccessed or kModified); tv_nsec is UTIME_OMIT when missing.
timespec exactTime(const std::string& path, int kind);
// Sets access and write times exactly (UTIME_OMIT leaves one unchanged); true on success.
bool setExactTimes(const std::string& path, timespec accessed, timespec modified);

}  // namespace platform
