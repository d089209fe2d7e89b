// The one rule by which "GO" and "BACK" reach a user's files and a staging area's entries:
// every name is resolved beneath a folder held open by descriptor, with no symbolic link
// followed in any component, no mount crossed and nothing above the held folder. A folder
// swapped for a link between two steps can then redirect nothing, and nothing is set or
// removed by a full path after it was checked.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/attributes.h"
#include "platform/files.h"
#include "platform/fingerprint.h"

namespace platform {

// A folder held open; shared by everything that lies in it while it is worked on.
class HeldFolder {
 public:
  explicit HeldFolder(int fd) : fd_(fd) {}
  ~HeldFolder();
  HeldFolder(const HeldFolder&) = delete;
  HeldFolder& operator=(const HeldFolder&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};
using Held = std::shared_ptr<const HeldFolder>;

// The absolute folder path, opened with no symbolic link in any of its components; null
// when it is missing, not a folder, or reached only through a link.
Held holdFolder(const std::string& path);
// The folder at relative ("a/b", "" for folder itself) beneath folder, never through a link,
// onto another mount or above it; null when a component is missing or is anything else.
Held holdBeneath(const Held& folder, const std::string& relative);
// The folder name in folder, made first (with mode, before the umask) when nothing stands
// there; made tells whether it was made. Null when it cannot be made or what stands there
// is not a real folder on the same mount.
Held makeAndHold(const Held& folder, const std::string& name, mode_t mode, bool* made = nullptr);

// A name in a held folder.
struct Place {
  Held folder;
  std::string name;
};

// What stands at a place, not following a link.
enum class Standing { kNothing, kFile, kFolder, kOther };
Standing standingAt(const Place& place);
// The identity of the regular file at place; size kNothingThere when none stands there.
FileIdentity identityAt(const Place& place);
// Mode, owner and group of what stands at place (mode kNothingThere when nothing does).
Ownership ownershipAt(const Place& place);
// The exact access and write times of what stands at place; false (both left) when nothing does.
bool timesAt(const Place& place, timespec& accessed, timespec& modified);
// The running user's own file with the permission bits of mode (no set-id bit); a mode of
// kNothingThere gives 0600.
Ownership asRunningUser(int64_t mode);
// Opens the regular file at place for reading, without changing its access time where the
// kernel allows; -1 for anything else (a link, a FIFO, a device, a folder). The caller
// closes it.
int openToRead(const Place& place);
// Removes the file at place only when it is still the very file seen (same inode, size,
// content and change time); true when removed.
bool removeIfSame(const Place& place, const FileIdentity& seen);
// As removeIfSame, and only while no process holds the file open for writing: what such a
// process writes after the move would go to a deleted file. A read lease proves it where the
// kernel grants one; elsewhere the open files /proc shows this user are looked through.
bool removeIfSameAndUnused(const Place& place, const FileIdentity& seen);
// Removes the file (or link) at place; true when removed or nothing was there.
bool removeAt(const Place& place);
// Removes the empty folder at place; true when removed or nothing was there.
bool removeEmptyFolderAt(const Place& place);
// Sets the access and write times of the held folder itself; true on success.
bool setHeldTimes(const Held& folder, timespec accessed, timespec modified);
// The exact access and write times of the held folder itself; false when they cannot be read.
bool heldTimes(const Held& folder, timespec& accessed, timespec& modified);
// The carried attributes of the held folder itself (see readAttributes).
AttributesRead heldAttributes(const Held& folder, Attributes& attributes);
// Gives the held folder itself the attributes (see writeAttributes); true when all were set.
bool setHeldAttributes(const Held& folder, const Attributes& attributes, bool exact);
// Gives the held folder itself a mode and owner as restoreOwnership does; true when the mode was set.
bool restoreHeldOwnership(const Held& folder, const Ownership& ownership);
// Mode, owner and group of the held folder itself.
Ownership heldOwnership(const Held& folder);
// The mount identity of the held folder (as mountIdentity); 0 when unknown.
uint64_t heldMountIdentity(const Held& folder);
// syncfs of the volume holding the folder; false also for a FUSE volume (see syncVolume).
bool syncHeldVolume(const Held& folder);

// Copies the regular file at source into a temporary in folder (see copyToTemporary).
// With options.expected set, a source that is not that very file is not copied.
Temporary copyPlaceToTemporary(const Place& source, const Held& folder, const CopyOptions& options);
// Gives a proven temporary its name in its folder without replacing anything that stands
// there; true on success.
bool placeTemporaryAs(const Temporary& temporary, const std::string& name);

// Writes bytes as the whole new content of name in folder through a temporary and a rename,
// durably, with mode (before the umask); true on success.
bool replaceFileContent(const Held& folder, const std::string& name, const std::string& bytes, mode_t mode);
// The whole content of the regular file at place, at most maxBytes; false when it is not
// there, is anything but a regular file, cannot be read, or is larger.
bool readFileContent(const Place& place, int64_t maxBytes, std::string& bytes);
// Removes the named temporaries a stopped run of this user left in folder: only those the
// user's record lists as made and not yet placed, each with its one name. A file the program
// did not make stays, whatever its name. The number removed.
int removeStaleTemporaries(const Held& folder);

// Fingerprints of the regular file at place; empty when it cannot be read.
Fingerprints fingerprintAt(const Place& place);
// Makes the data of the file at place durable and drops its cached pages; true on success.
bool flushAndForget(const Place& place);
// Asks the kernel to start reading the file at place ahead, without waiting.
void prefetchFile(const Place& place);

// An exclusive lock on a held folder through the lock file name in it, held by one program
// at a time: its handle (0 or more), or why there is none. The lock file is never reached
// through a link, and a lock file that cannot be opened or locked never counts as taken.
constexpr int kLockedElsewhere = -1;    // another program of this user holds it
constexpr int kNoLock = -2;             // the folder takes no lock file or no lock (read-only)
constexpr int kLockOfAnotherUser = -3;  // the lock file is another user's, held or closed to us
constexpr int kNotALock = -4;           // a link, a folder or anything else stands at its name
int lockFolder(const Held& folder, const std::string& name);
// Releases a lock that lockFolder gave (a handle of 0 or more) and removes its file.
void unlockFolder(int lock, const Held& folder, const std::string& name);

// Resolves folders beneath held tops one at a time and keeps the last one held, since a
// list names the files of a folder one after another.
class FolderCursor {
 public:
  // The folder at relative beneath top (see holdBeneath).
  Held at(const Held& top, const std::string& relative);

 private:
  const HeldFolder* top_ = nullptr;
  std::string relative_;
  Held last_;
};

}  // namespace platform
