// The identity of a volume, so "BACK" restores onto the volume the files left and never into
// the empty folder a volume that is not mounted leaves behind.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/volumes.h"

// The kernel's own question for a file system's UUID (Linux 6.5); older headers lack it.
#ifndef FS_IOC_GETFSUUID
struct fsuuid2 {
  __u8 len;
  __u8 uuid[16];
};
#define FS_IOC_GETFSUUID _IOR(0x15, 0, struct fsuuid2)
#endif

namespace platform {
namespace {

std::string hexOf(const unsigned char* bytes, size_t size) {
  std::string text;
  char two[3];
  for (size_t i = 0; i < size; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

std::string uuidFromKernel(int fd) {
  fsuuid2 answer{};
  answer.len = sizeof answer.uuid;
  if (ioctl(fd, FS_IOC_GETFSUUID, &answer) != 0 || answer.len == 0 || answer.len > sizeof answer.uuid)
    return "";
  for (size_t i = 0; i < answer.len; ++i)
    if (answer.uuid[i] != 0) return hexOf(answer.uuid, answer.len);
  return "";
}

// udev names every block device's file system by its UUID; lower-case hex without dashes,
// as the kernel gives it.
std::string uuidFromUdev(dev_t device) {
  const std::string folder = "/dev/disk/by-uuid/";
  DIR* listing = opendir(folder.c_str());
  if (!listing) return "";
  std::string found;
  while (dirent* entry = readdir(listing)) {
    struct stat info{};
    if (entry->d_name[0] == '.' || stat((folder + entry->d_name).c_str(), &info) != 0 ||
        !S_ISBLK(info.st_mode) || info.st_rdev != device)
      continue;
    for (const char* c = entry->d_name; *c; ++c)
      if (*c != '-') found += static_cast<char>(*c >= 'A' && *c <= 'F' ? *c - 'A' + 'a' : *c);
    break;
  }
  closedir(listing);
  return found;
}

std::string nearestFolder(std::string path) {
  while (!path.empty()) {
    if (fileSize(path) == kIsFolder) return path;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    path = pathPart(path);
  }
  return "/";
}

}  // namespace

std::string volumeIdentity(const std::string& path) {
  int fd = open(nearestFolder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "";
  std::string uuid = uuidFromKernel(fd);
  struct stat info{};
  if (uuid.empty() && fstat(fd, &info) == 0) uuid = uuidFromUdev(info.st_dev);
  struct statfs volume{};
  const bool asked = fstatfs(fd, &volume) == 0;
  close(fd);
  if (!uuid.empty()) return "uuid:" + uuid;
  if (!asked) return "";
  unsigned char id[sizeof volume.f_fsid];
  std::memcpy(id, &volume.f_fsid, sizeof id);
  return "fsid:" + hexOf(id, sizeof id) + ":" + std::to_string(static_cast<unsigned long>(volume.f_type));
}

}  // namespace platform
