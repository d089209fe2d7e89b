// Extended attributes and inode flags read from and set on open descriptors, never by path.
#include "platform/attributes.h"

#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "platform/syscalls.h"

namespace platform {
namespace {

const std::string kAclAccess = "system.posix_acl_access";
const std::string kAclDefault = "system.posix_acl_default";
const std::string kCapability = "security.capability";

struct Flag {
  char letter;
  int bit;
};
// Flags the owner may set at any time that change nothing about who may do what.
constexpr Flag kCarriedFlags[] = {{'A', FS_NOATIME_FL}, {'d', FS_NODUMP_FL}};
// A file that can be neither deleted nor changed stays where it is.
constexpr int kImmovableFlags = FS_IMMUTABLE_FL | FS_APPEND_FL;

bool maySetCapabilities() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_SETFCAP / 32].effective & (1u << (CAP_SETFCAP % 32))) != 0;
}

bool unsupported(int error) { return error == ENOTSUP || error == ENOTTY || error == ENOSYS || error == EINVAL; }

// Reads a list or a value whose size may change between asking and reading; false with errno.
template <typename Read>
bool readGrowing(std::string& out, Read read) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = read(nullptr, 0);
    if (size < 0) return false;
    out.resize(static_cast<size_t>(size));
    const ssize_t got = read(out.data(), out.size());
    if (got >= 0) {
      out.resize(static_cast<size_t>(got));
      return true;
    }
    if (errno != ERANGE) return false;
  }
  return false;
}

}  // namespace

bool carriedAttribute(const std::string& name) {
  return (name.rfind("user.", 0) == 0 && name.size() > 5) || name == kAclAccess || name == kAclDefault ||
         name == kCapability;
}

bool grantsRights(const std::string& name) { return name.rfind("user.", 0) != 0; }

bool carriedFlags(const std::string& flags) {
  std::string seen;
  for (char letter : flags) {
    bool known = false;
    for (const Flag& flag : kCarriedFlags) known = known || flag.letter == letter;
    if (!known || seen.find(letter) != std::string::npos) return false;
    seen += letter;
  }
  return true;
}

AttributesRead readAttributes(int fd, Attributes& attributes) {
  attributes = {};
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    if (flags & kImmovableFlags) return AttributesRead::kCannotComeBack;
    for (const Flag& flag : kCarriedFlags)
      if (flags & flag.bit) attributes.flags += flag.letter;
  }
  std::string names;
  if (!readGrowing(names, [fd](char* to, size_t size) { return flistxattr(fd, to, size); }))
    return unsupported(errno) ? AttributesRead::kRead : AttributesRead::kUnreadable;
  for (size_t start = 0; start < names.size();) {
    const size_t end = names.find('\0', start);
    const std::string name = names.substr(start, end - start);
    start = end == std::string::npos ? names.size() : end + 1;
    if (!carriedAttribute(name)) continue;
    if (name == kCapability && !maySetCapabilities()) return AttributesRead::kCannotComeBack;
    std::string value;
    if (!readGrowing(value, [&](char* to, size_t size) { return fgetxattr(fd, name.c_str(), to, size); })) {
      if (errno == ENODATA) continue;  // removed since it was listed
      return AttributesRead::kUnreadable;
    }
    attributes.extended.emplace_back(name, std::move(value));
  }
  return AttributesRead::kRead;
}

bool writeAttributes(int fd, const Attributes& attributes, bool exact) {
  if (exact) {
    struct stat info{};
    if (fstat(fd, &info) != 0) return false;
    for (const std::string& acl : {kAclAccess, kAclDefault}) {
      if (acl == kAclDefault && !S_ISDIR(info.st_mode)) continue;
      bool named = false;
      for (const auto& [name, value] : attributes.extended) named = named || name == acl;
      if (!named && fremovexattr(fd, acl.c_str()) != 0 && errno != ENODATA && !unsupported(errno)) return false;
    }
  }
  for (const auto& [name, value] : attributes.extended)
    if (syscalls().fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) return false;
  if (attributes.flags.empty()) return true;
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
  for (const Flag& flag : kCarriedFlags)
    if (attributes.flags.find(flag.letter) != std::string::npos) flags |= flag.bit;
  return ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
}

}  // namespace platform
