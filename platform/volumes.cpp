// The volume table from /proc/self/mountinfo, behind a seam the tests replace, and lookups
// of a path's volume and the program's own folder.
#include "platform/volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/internal.h"

namespace platform {
namespace {

std::mutex tableMutex;
std::function<std::vector<Volume>()> tableForTests;
std::function<int32_t(const std::string&)> freeQueryForTests;

// mountinfo writes space, tab, newline and backslash in names as "\" + three octal digits.
std::string unescaped(const std::string& field) {
  auto octal = [](char c, char highest) { return c >= '0' && c <= highest; };
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1], '3') &&
        octal(field[i + 2], '7') && octal(field[i + 3], '7')) {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

bool hasOption(const std::string& options, const std::string& wanted) {
  std::stringstream list(options);
  std::string option;
  while (std::getline(list, option, ','))
    if (option == wanted) return true;
  return false;
}

// One mountinfo line: id parent major:minor root mount-point options [optional...] - type
// source super-options. false for a line of another form.
bool parseLine(const std::string& line, Volume& volume) {
  std::istringstream fields(line);
  std::string id, parent, device, root, mountPoint, options, word;
  if (!(fields >> id >> parent >> device >> root >> mountPoint >> options)) return false;
  while (fields >> word && word != "-") {
  }
  if (word != "-") return false;
  std::string type, source;
  if (!(fields >> type >> source)) return false;
  unsigned major = 0, minor = 0;
  char colon = 0;
  std::istringstream numbers(device);
  if (!(numbers >> major >> colon >> minor) || colon != ':') return false;
  volume.mountPoint = unescaped(mountPoint);
  volume.source = unescaped(source);
  volume.fsType = unescaped(type);
  volume.readWrite = hasOption(options, "rw");
  // major:minor is the st_dev of files on that mount, without a stat that could hang on a
  // network file system whose server is gone.
  volume.device = makedev(major, minor);
  volume.freeMiB = 0;
  return true;
}

int32_t freeMiBOf(const std::string& mountPoint) {
  struct statvfs info{};
  if (statvfs(mountPoint.c_str(), &info) != 0) return 0;
  unsigned long long mib = (static_cast<unsigned long long>(info.f_bavail) * info.f_frsize) >> 20;
  return mib > INT32_MAX ? INT32_MAX : static_cast<int32_t>(mib);
}

std::vector<Volume> realTable() {
  std::ifstream file("/proc/self/mountinfo");
  std::stringstream text;
  text << file.rdbuf();
  return parseMountInfo(text.str());
}

// The answers of one askFreeSpace, shared with its helper threads: a thread that answers
// after the wait has ended writes into this and nothing else.
struct FreeAnswers {
  std::mutex mutex;
  std::condition_variable arrived;
  std::vector<int32_t> free;
  std::vector<bool> answered;
  size_t missing = 0;
};

// True when mountPoint is path itself or one of its leading folders.
bool holds(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/") return !path.empty() && path[0] == '/';
  if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

}  // namespace

std::vector<Volume> parseMountInfo(const std::string& text) {
  std::vector<Volume> volumes;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    Volume volume;
    if (parseLine(line, volume)) volumes.push_back(std::move(volume));
  }
  return volumes;
}

bool isKernelState(const Volume& volume) {
  static const std::set<std::string> kKernel = {
      "proc",   "sysfs",   "devtmpfs", "devpts",    "mqueue",      "debugfs",  "tracefs",
      "securityfs", "pstore", "bpf",   "autofs",    "fusectl",     "configfs", "hugetlbfs",
      "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs"};
  return kKernel.count(volume.fsType) != 0 || volume.fsType.rfind("cgroup", 0) == 0;
}

bool othersMayReach(const Volume& volume) {
  // A file system without permission bits shows every entry with the mode its mount options
  // give (umask=077 keeps others out); one with them lets the program close its own folders.
  static const std::set<std::string> kNoModes = {"vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "fuse"};
  const bool noModes = kNoModes.count(volume.fsType) || volume.fsType.rfind("fuse.", 0) == 0;
  struct stat top{};
  if (stat(volume.mountPoint.c_str(), &top) != 0) return false;
  return (top.st_mode & (noModes ? S_IRWXO | S_IRWXG : S_IWOTH)) != 0;
}

bool keepsFiles(const Volume& volume) {
  static const std::set<std::string> kShares = {"nfs", "nfs4", "cifs", "smb3", "fuseblk"};
  static const std::set<std::string> kVolatileOrFixed = {"tmpfs", "ramfs", "overlay",
                                                         "squashfs", "iso9660", "udf"};
  if (isKernelState(volume) || kVolatileOrFixed.count(volume.fsType)) return false;
  return volume.source.rfind("/dev/", 0) == 0 || kShares.count(volume.fsType) != 0;
}

int64_t largestFileOn(const Volume& volume) {
  return volume.fsType == "vfat" || volume.fsType == "msdos" ? 0xFFFFFFFFLL : INT64_MAX;
}

std::vector<Volume> volumeTable() {
  std::function<std::vector<Volume>()> table;
  {
    std::lock_guard<std::mutex> lock(tableMutex);
    table = tableForTests;
  }
  return table ? table() : realTable();
}

void setVolumeTableForTests(std::function<std::vector<Volume>()> table) {
  std::lock_guard<std::mutex> lock(tableMutex);
  tableForTests = std::move(table);
}

void setFreeSpaceQueryForTests(std::function<int32_t(const std::string&)> query) {
  std::lock_guard<std::mutex> lock(tableMutex);
  freeQueryForTests = std::move(query);
}

void askFreeSpace(std::vector<Volume>& volumes, int waitMs) {
  std::function<int32_t(const std::string&)> query;
  {
    std::lock_guard<std::mutex> lock(tableMutex);
    if (freeQueryForTests) query = freeQueryForTests;
    else if (tableForTests) return;  // the laid-out volumes carry their own figures
  }
  if (!query) query = freeMiBOf;
  auto answers = std::make_shared<FreeAnswers>();
  answers->free.assign(volumes.size(), 0);
  answers->answered.assign(volumes.size(), false);
  answers->missing = volumes.size();
  // One thread per volume: a statvfs stuck on a dead share never delays the others' answers.
  for (size_t i = 0; i < volumes.size(); ++i) {
    try {
      std::thread([answers, query, i, mountPoint = volumes[i].mountPoint] {
        const int32_t free = query(mountPoint);
        std::lock_guard<std::mutex> lock(answers->mutex);
        answers->free[i] = free;
        answers->answered[i] = true;
        if (--answers->missing == 0) answers->arrived.notify_all();
      }).detach();
    } catch (const std::system_error&) {
      std::lock_guard<std::mutex> lock(answers->mutex);  // no thread to ask with: unknown
      --answers->missing;
    }
  }
  std::unique_lock<std::mutex> lock(answers->mutex);
  answers->arrived.wait_for(lock, std::chrono::milliseconds(waitMs),
                            [&] { return answers->missing == 0; });
  for (size_t i = 0; i < volumes.size(); ++i)
    volumes[i].freeMiB = answers->answered[i] ? answers->free[i] : 0;
}

int32_t driveFreeSpace(const std::string& root) {
  // Linear in the number of mounts; a desktop has a few dozen.
  std::vector<Volume> asked;
  for (const Volume& volume : volumeTable())
    if (volume.mountPoint == root) asked.assign(1, volume);  // the last mount on a point is on top
  askFreeSpace(asked);
  return asked.empty() ? 0 : asked[0].freeMiB;
}

uint64_t internal::mountIdentityOf(const struct statx& info) {
  // Mount ids are small counters; the high bit keeps a device number from ever equalling one.
  if (info.stx_mask & STATX_MNT_ID) {
    // The C library's own struct statx may lack the field; the kernel puts it right after
    // stx_dev_minor.
    uint64_t id = 0;
    std::memcpy(&id, reinterpret_cast<const char*>(&info) + offsetof(struct statx, stx_dev_minor) +
                         sizeof info.stx_dev_minor, sizeof id);
    return id;
  }
  return (uint64_t{1} << 63) | makedev(info.stx_dev_major, info.stx_dev_minor);
}

uint64_t mountIdentity(const std::string& path) {
  struct statx info{};
  // AT_NO_AUTOMOUNT: asking about an automount point must not mount a network share.
  if (path.empty() || statx(AT_FDCWD, path.c_str(), AT_NO_AUTOMOUNT, STATX_MNT_ID, &info) != 0)
    return 0;
  return internal::mountIdentityOf(info);
}

std::string volumeOf(const std::string& path) { return volumeAt(path).mountPoint; }

Volume volumeAt(const std::string& path) {
  Volume best;
  for (const Volume& volume : volumeTable())
    if (holds(volume.mountPoint, path) && volume.mountPoint.size() >= best.mountPoint.size())
      best = volume;
  return best;
}

std::string executableFolder() {
  char buffer[PATH_MAX];
  ssize_t size = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (size <= 0) return "";
  return pathPart(std::string(buffer, static_cast<size_t>(size)));
}

}  // namespace platform
