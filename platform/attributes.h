// What a file or folder carries besides its bytes, mode, owner and times: the extended
// attributes desktops keep (tags, ratings, where a download came from), its POSIX ACLs, a
// program's file capability, and the inode flags its owner may set. A staging volume may
// keep none of them (NTFS, exFAT), so they travel as facts and are set back from there.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform {

struct Attributes {
  // Name and value, in the order the file system lists them: user.*, system.posix_acl_access,
  // system.posix_acl_default and security.capability. Others (an SELinux label, trusted.*)
  // belong to the system the file lies on and are not carried.
  std::vector<std::pair<std::string, std::string>> extended;
  std::string flags;  // the inode flags as chattr names them: "A" (no access time), "d" (no dump)
  bool operator==(const Attributes&) const = default;
};

// True for an extended attribute name that is carried.
bool carriedAttribute(const std::string& name);
// True for an attribute that grants rights (an ACL, a capability): believed only from the
// user's own facts.
bool grantsRights(const std::string& name);
// True for flag letters that are carried.
bool carriedFlags(const std::string& flags);

// What reading an open file's attributes found.
enum class AttributesRead {
  kRead,           // every carried attribute is in attributes
  kCannotComeBack, // an attribute this process could not set again (a capability without
                   // the right to set one), or the immutable or append-only flag
  kUnreadable,     // the attributes could not be listed or read
};
AttributesRead readAttributes(int fd, Attributes& attributes);
// Gives the open file or folder fd the attributes; with exact, an ACL it inherited from its
// folder that they do not name is removed, so it holds what was recorded and nothing else.
// True when every one was set.
bool writeAttributes(int fd, const Attributes& attributes, bool exact);

}  // namespace platform
