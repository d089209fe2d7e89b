// File dates as date values: local wall-clock fields counted as if UTC. Reading and setting
// both convert at the offset in force at the date itself, so a date survives a round trip
// whatever season the program runs in.
#include "platform/dates.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

constexpr unsigned kStatxMask = STATX_BASIC_STATS | STATX_BTIME;

int32_t clampToDate(int64_t seconds) {
  if (seconds > INT32_MAX) return INT32_MAX;
  if (seconds < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(seconds);
}

bool statxOf(const std::string& path, struct statx& info) {
  return !path.empty() && statx(AT_FDCWD, path.c_str(), 0, kStatxMask, &info) == 0;
}

timespec toTimespec(const statx_timestamp& t) {
  return timespec{static_cast<time_t>(t.tv_sec), static_cast<long>(t.tv_nsec)};
}

}  // namespace

namespace {

// Offset of local time from UTC at that moment, in seconds; false when it cannot be known.
bool localOffset(time_t seconds, int64_t& offset) {
  tm fields{};
  if (!localtime_r(&seconds, &fields)) return false;
  offset = static_cast<int64_t>(timegm(&fields)) - seconds;
  return true;
}

// The offset is the same over whole quarter hours except where the zone changes it, so a
// scan of many files asks the time-zone rules once per quarter hour they fall in. A quarter
// whose two ends disagree is never cached, and a new zone (tzset) empties the cache.
struct OffsetCache {
  static constexpr time_t kSpan = 900;
  time_t quarter = 0;
  int64_t offset = 0;
  bool valid = false;
  long zone = 0;
  int daylight = 0;
  const char* names[2] = {nullptr, nullptr};
  std::string rules;  // TZ as it was: zones may share their names and offsets
};

bool cachedOffset(time_t seconds, int64_t& offset) {
  thread_local OffsetCache cache;
  const time_t quarter = seconds >= 0 ? seconds / OffsetCache::kSpan : (seconds + 1) / OffsetCache::kSpan - 1;
  const char* rules = std::getenv("TZ");
  const bool sameZone = cache.zone == timezone && cache.daylight == daylight &&
                        cache.names[0] == tzname[0] && cache.names[1] == tzname[1] &&
                        cache.rules == (rules ? rules : "");
  if (cache.valid && sameZone && cache.quarter == quarter) {
    offset = cache.offset;
    return true;
  }
  if (!localOffset(seconds, offset)) return false;
  int64_t first = 0, last = 0;
  const time_t start = quarter * OffsetCache::kSpan;
  cache.valid = localOffset(start, first) && localOffset(start + OffsetCache::kSpan - 1, last) &&
                first == last && first == offset;
  cache.quarter = quarter;
  cache.offset = offset;
  cache.zone = timezone;
  cache.daylight = daylight;
  cache.names[0] = tzname[0];
  cache.names[1] = tzname[1];
  cache.rules = rules ? rules : "";
  return true;
}

}  // namespace

int32_t toDateValue(time_t seconds) {
  int64_t offset = 0;
  if (!cachedOffset(seconds, offset)) return seconds < 0 ? INT32_MIN : INT32_MAX;
  return clampToDate(static_cast<int64_t>(seconds) + offset);
}

time_t fromDateValue(int32_t value) {
  time_t asUtc = value;
  tm fields{};
  gmtime_r(&asUtc, &fields);
  // -1 lets the C library choose summer or winter time from the date itself.
  fields.tm_isdst = -1;
  return mktime(&fields);
}

int32_t internal::dateOfStatx(const struct statx& info, int kind) {
  const statx_timestamp* t = nullptr;
  if (kind == kCreated) {
    t = (info.stx_mask & STATX_BTIME) ? &info.stx_btime : &info.stx_mtime;
  } else if (kind == kAccessed) {
    t = &info.stx_atime;
  } else if (kind == kModified) {
    t = &info.stx_mtime;
  } else {
    return 0;
  }
  return toDateValue(static_cast<time_t>(t->tv_sec));
}

int32_t fileDate(const std::string& path, int kind) {
  struct statx info{};
  if (!statxOf(path, info)) return 0;
  return internal::dateOfStatx(info, kind);
}

bool setFileDate(const std::string& path, int kind, int32_t value) {
  if (kind != kAccessed && kind != kModified) return 0;  // no creation time to set on Linux
  if (path.empty()) return 0;
  timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
  times[kind == kAccessed ? 0 : 1] = timespec{fromDateValue(value), 0};
  return syscalls().utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

timespec exactTime(const std::string& path, int kind) {
  struct statx info{};
  if (!statxOf(path, info)) return timespec{0, UTIME_OMIT};
  if (kind == kAccessed) return toTimespec(info.stx_atime);
  if (kind == kModified) return toTimespec(info.stx_mtime);
  if (kind == kCreated && (info.stx_mask & STATX_BTIME)) return toTimespec(info.stx_btime);
  return timespec{0, UTIME_OMIT};
}

bool setExactTimes(const std::string& path, timespec accessed, timespec modified) {
  if (path.empty()) return 0;
  const timespec times[2] = {accessed, modified};
  return syscalls().utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

}  // namespace platform
