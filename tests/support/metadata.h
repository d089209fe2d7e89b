// Everything a file or folder carries besides its bytes, as one line per entry, read with raw
// system calls (not the program's own readers), so a tree before "GO" and after "BACK" can be
// compared whole: mode, owner, exact times, every extended attribute (ACLs and capabilities
// are attributes too), inode flags, and for files the room they take.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

inline std::string hexOf(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) text += {digits[c >> 4], digits[c & 15]};
  return text;
}

// An ACL as the kernel keeps it in system.posix_acl_access or _default: the owner, one named
// user with rights, the group, the mask and others. As a mode it reads 0660.
inline std::string aclGiving(uint32_t user, uint16_t rights) {
  std::string acl("\x02\0\0\0", 4);
  auto entry = [&acl](uint16_t tag, uint16_t perm, uint32_t id) {
    for (int i = 0; i < 2; ++i) acl += static_cast<char>(tag >> (8 * i));
    for (int i = 0; i < 2; ++i) acl += static_cast<char>(perm >> (8 * i));
    for (int i = 0; i < 4; ++i) acl += static_cast<char>(id >> (8 * i));
  };
  entry(0x01, 6, UINT32_MAX);
  entry(0x02, rights, user);
  entry(0x04, 4, UINT32_MAX);
  entry(0x10, 6, UINT32_MAX);
  entry(0x20, 0, UINT32_MAX);
  return acl;
}

// A file capability (version 2, effective): binding to low ports.
inline const std::string kCapability("\x01\0\0\x02\x00\x04\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 20);

constexpr int kTestedFlags = FS_NOATIME_FL | FS_NODUMP_FL | FS_IMMUTABLE_FL | FS_APPEND_FL;

// Sets which of the tested inode flags the file or folder at path has, leaving the file
// system's own (ext4's extents) as they are; true on success.
inline bool setFlags(const std::string& path, int flags) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  int now = 0;
  const bool set = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &now) == 0 &&
                   (now = (now & ~kTestedFlags) | flags, ioctl(fd, FS_IOC_SETFLAGS, &now) == 0);
  if (fd >= 0) close(fd);
  return set;
}

// One entry's line; a file's allocated room only when withRoom (a restored file may take less).
inline std::string metadataOf(const std::string& path, bool withRoom = true) {
  struct stat info{};
  if (lstat(path.c_str(), &info) != 0) return "missing";
  auto time = [](const timespec& t) { return std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec); };
  std::string line = std::to_string(info.st_mode) + " " + std::to_string(info.st_uid) + ":" +
                     std::to_string(info.st_gid) + " a" + time(info.st_atim) + " m" + time(info.st_mtim);
  if (S_ISREG(info.st_mode))
    line += " " + std::to_string(info.st_size) + (withRoom ? "/" + std::to_string(info.st_blocks) : "");
  // O_NOATIME: looking must not change what is looked at.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOATIME | O_CLOEXEC);
  if (fd < 0) return line;
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0)
    line += " flags" + std::to_string(flags & kTestedFlags);
  char names[65536];
  const ssize_t size = flistxattr(fd, names, sizeof names);
  std::vector<std::string> attributes;
  for (ssize_t at = 0; size > 0 && at < size; at += static_cast<ssize_t>(std::string(names + at).size()) + 1) {
    std::string value(65536, '\0');
    const ssize_t got = fgetxattr(fd, names + at, value.data(), value.size());
    attributes.push_back(std::string(names + at) + "=" + hexOf(value.substr(0, got < 0 ? 0 : static_cast<size_t>(got))));
  }
  close(fd);
  std::sort(attributes.begin(), attributes.end());
  for (const std::string& attribute : attributes) line += " " + attribute;
  return line;
}

// Every entry beneath root (a folder), "relative: line" sorted by name, folders listed
// without moving their access times.
inline std::vector<std::string> metadataOfTree(const std::string& root, bool withRoom = true,
                                               const std::string& relative = "") {
  std::vector<std::string> lines;
  const int fd = open((root + relative).c_str(), O_RDONLY | O_DIRECTORY | O_NOATIME | O_CLOEXEC);
  DIR* folder = fd < 0 ? nullptr : fdopendir(fd);
  if (!folder) return {relative + ": unreadable"};
  std::vector<std::string> names;
  while (dirent* entry = readdir(folder))
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
  closedir(folder);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = relative + "/" + name;
    lines.push_back(path + ": " + metadataOf(root + path, withRoom));
    struct stat info{};
    if (lstat((root + path).c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      const std::vector<std::string> inner = metadataOfTree(root, withRoom, path);
      lines.insert(lines.end(), inner.begin(), inner.end());
    }
  }
  return lines;
}

}  // namespace testing_support
