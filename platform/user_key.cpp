// The user's sealing key, kept beside the user's other data and readable by the user alone.
#include <fcntl.h>
#include <pwd.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/internal.h"

namespace platform {
namespace {

constexpr size_t kKeyBytes = 32;

// $XDG_DATA_HOME, else the home folder's .local/share; "" when neither is known.
std::string dataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share";
  const passwd* user = getpwuid(geteuid());
  return user && user->pw_dir && user->pw_dir[0] == '/' ? std::string(user->pw_dir) + "/.local/share" : "";
}

// Makes each missing folder of path, closed to others at the last level.
bool makeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
    mkdir(path.substr(0, slash).c_str(), 0755);
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// The key in the open file: read only from the user's own file that no one else may read.
std::string keyIn(int fd) {
  struct stat info{};
  std::string key(kKeyBytes, '\0');
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid() ||
      (info.st_mode & 077) != 0 || info.st_size != static_cast<off_t>(kKeyBytes) ||
      pread(fd, key.data(), kKeyBytes, 0) != static_cast<ssize_t>(kKeyBytes))
    return "";
  return key;
}

}  // namespace

std::string internal::userDataFolder(bool create) {
  const std::string home = dataHome();
  if (home.empty()) return "";
  const std::string folder = home + "/burnshelf";
  return !create || makeFolders(folder) ? folder : "";
}

std::string userKey(bool create) {
  const std::string folder = internal::userDataFolder(false);
  if (folder.empty()) return "";
  const std::string path = folder + "/key";
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    const std::string key = keyIn(fd);
    close(fd);
    return key;
  }
  if (!create || errno != ENOENT || internal::userDataFolder(true).empty()) return "";
  std::string key(kKeyBytes, '\0');
  if (getrandom(key.data(), kKeyBytes, 0) != static_cast<ssize_t>(kKeyBytes)) return "";
  // Written whole under a temporary name first, so a half-written key is never taken.
  const std::string temporary = path + ".new";
  unlink(temporary.c_str());
  fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return "";
  bool good = internal::writeAll(fd, key.data(), kKeyBytes) && fsync(fd) == 0;
  good = close(fd) == 0 && good;
  // A key made meanwhile by another run wins: link refuses to replace it.
  good = good && (link(temporary.c_str(), path.c_str()) == 0 || errno == EEXIST);
  unlink(temporary.c_str());
  return good ? userKey(false) : "";
}

}  // namespace platform
