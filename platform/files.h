// File-system services: sizes, path parts, folder listings, creating, copying and deleting.
// Paths are UTF-8 text with "/" as the only separator; folder paths end with "/".
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <ctime>
#include <string>
#include <vector>

namespace platform {

struct Attributes;
struct Fingerprints;
class HeldFolder;
class HeldFile;

constexpr int64_t kNothingThere = -1;  // file size: no file or folder at that path
constexpr int64_t kIsFolder = -2;      // file size: a folder (or a volume root)

// What an entry of a folder listing is (links are not followed).
enum class EntryType {
  kOther,   // links, FIFOs, sockets, devices: never scanned or moved
  kFile,    // a regular file
  kFolder,  // a real folder (not a link to one)
};

// Size in bytes of the file at path; kNothingThere (also for ""), kIsFolder for a folder.
int64_t fileSize(const std::string& path);
// Everything up to and including the last "/"; "" when there is none.
std::string pathPart(const std::string& path);
// Everything after the last "/"; "" for a path ending with "/".
std::string filePart(const std::string& path);
// The absolute path of the folder at path with every link resolved, without a trailing "/"
// (but "/" itself); "" when it cannot be resolved.
std::string canonicalPath(const std::string& path);
// root + "/" + name with exactly one "/" between them ("/" + "a" is "/a").
std::string joinPath(const std::string& root, const std::string& name);

// Creates the last level of path (a trailing "/" ignored); true on success,
// false when it exists already or its parent is missing.
bool createFolder(const std::string& path);
// Deletes one file (a link is removed as a link); true on success.
bool deleteFile(const std::string& path);
// Deletes a folder with everything in it, read-only files included; links inside are
// removed as links and their targets are never touched, and folders on other mounts (bind
// mounts included) are left as they are. True on success, false when missing or when a mount
// inside kept the folder.
bool deleteFolder(const std::string& path);

// What makes a file the file that was copied: the same inode with the same size, content
// time and change time. An edit that puts the last-write time back still moves the change
// time; a rename of another file over the name changes the inode.
struct FileIdentity {
  uint64_t device = 0, inode = 0;
  int64_t size = kNothingThere;  // kNothingThere when no regular file was there
  timespec modified{}, changed{};
  timespec accessed{};  // not part of the identity: reading the file may move it
  bool operator==(const FileIdentity& other) const;
};
// The identity of the regular file at path (links are not followed); size kNothingThere
// when there is none.
FileIdentity fileIdentity(const std::string& path);

// Device and inode number: which file a name stood for when it was listed.
struct Inode {
  uint64_t device = 0, number = 0;  // number 0: not known
  bool operator==(const Inode&) const = default;
};

// Permission bits (07777), owner and group of what stands at path (links not followed).
struct Ownership {
  int64_t mode = kNothingThere;  // kNothingThere when nothing is there
  uint32_t owner = 0, group = 0;
  bool operator==(const Ownership&) const = default;
};
Ownership ownershipOf(const std::string& path);
// Gives the file or real folder at path (links not followed) the owner and group where this
// process may, then the mode; set-uid and set-gid only under the owner and group they were
// recorded with. True when the mode was set.
bool restoreOwnership(const std::string& path, const Ownership& ownership);
// True when this process may give its copies any owner and group and any mode under them
// (CAP_CHOWN and CAP_FOWNER): then copies keep owners, else they become the user's.
bool maySetOwners();

// A stretch of a file that holds data, [start, end) in bytes; what lies between stretches
// is a hole, read as zeros and taking no room.
struct DataRange {
  int64_t start = 0, end = 0;
  bool operator==(const DataRange&) const = default;
};

struct CopyOptions {
  bool durable = false;                   // fdatasync the copy before reporting success
  Fingerprints* sourcePrints = nullptr;   // when set: fingerprints of the bytes read from source
  FileIdentity* sourceSeen = nullptr;     // when set: the source as it was when it was read
  bool keepTimes = false;                 // give the copy the source's exact access/write times
  std::function<void()> tick;             // called at least every 100 ms during a long copy
  // When set, the copy takes this mode, owner and group instead of the source's (set-uid
  // and set-gid only under the owner and group given), and these access and write times.
  const Ownership* ownership = nullptr;
  const timespec* times = nullptr;        // {accessed, modified}
  const Inode* expected = nullptr;        // when set, only this very file is copied
  // When set: the source's extended attributes and flags as it was read. A source holding
  // one that could not be set again (see readAttributes) is not copied, errno EPERM.
  Attributes* sourceAttributes = nullptr;
  // When set, given to the copy before it is complete; ACLs it inherited and these do not
  // name are removed unless keepInherited.
  const Attributes* attributes = nullptr;
  bool keepInherited = false;
  std::vector<DataRange>* sourceData = nullptr;  // when set: the stretches of data read
  // When set, only these stretches are read from the source and written: the rest of the
  // copy is holes, whatever the source holds there (a staging volume that keeps no holes).
  const std::vector<DataRange>* data = nullptr;
};

// A complete copy waiting for its name in its target's folder: an unnamed file held open
// where the file system makes them (O_TMPFILE: ext4, xfs, btrfs, tmpfs), so a stopped run
// leaves nothing named; elsewhere a file under a short temporary name (".burnshelf-" + 6
// characters), which the user's record of temporaries lists until it is placed or
// discarded. Every call on it names the folder and the name apart, so it works wherever the
// target's own path fits.
struct Temporary {
  std::shared_ptr<const HeldFolder> folder;  // where it lies
  std::shared_ptr<const HeldFile> file;      // the unnamed copy, open; null for a named one
  std::string name;    // the named copy's name; "" for an unnamed one
  Inode inode;         // the copy's device and inode
  int64_t size = 0;    // bytes of the copy as written
  bool made() const { return file || !name.empty(); }  // false when no copy was made
};
// Copies source into a temporary beside target, with its holes, its owner and group where
// maySetOwners() (set-uid and set-gid only under them), the permission bits (and the times);
// nothing made on failure, with nothing left behind. Only a regular file is opened as a source.
Temporary copyToTemporary(const std::string& source, const std::string& target,
                          const CopyOptions& options = {});
// Removes a named temporary; an unnamed one goes when its last holder lets it go. Keeps errno.
void discardTemporary(const Temporary& temporary);
// The identity of the temporary's file as it is now; size kNothingThere when a named one's
// name no longer stands for the file made.
FileIdentity temporaryIdentity(const Temporary& temporary);
// Fingerprints of the temporary as the disk holds it: its cached pages are dropped first, so
// it must have been synced, or syncFirst set. Empty prints when it cannot be read or synced.
Fingerprints fingerprintFromDisk(const Temporary& temporary, bool syncFirst,
                                 const std::function<void()>& tick = {});

// Copies source to target through a temporary and a rename, so a copy that fails leaves an
// existing target untouched and no partial file. Keeps what copyToTemporary keeps. True on success.
bool copyFile(const std::string& source, const std::string& target, const CopyOptions& options = {});

// Writes bytes as the whole new content of path, through a temporary and a rename, and makes
// it durable; an old file at path stays whole until the new one is complete. True on success.
bool replaceFileContent(const std::string& path, const std::string& bytes);
// The whole content of the regular file at path, at most maxBytes; false when it is not there,
// cannot be read, or is larger.
bool readFileContent(const std::string& path, int64_t maxBytes, std::string& bytes);

// Makes the file's data durable and drops its cached pages, so a following read comes
// from the disk. True on success.
bool flushAndForget(const std::string& path);
// syncfs of the volume holding path; true on success. False also for a volume that cannot be
// synced at once (FUSE): each file must then be synced on its own.
bool syncVolume(const std::string& path);
// True when the current user may read the file / write into the folder.
bool canRead(const std::string& path);
bool canWriteInto(const std::string& folder);

// One open folder listing, in the order the file system delivers the entries ("." and ".."
// are not delivered). Reading is lazy: an entry's type and dates are asked when needed.
class FolderListing {
 public:
  explicit FolderListing(const std::string& folder);
  ~FolderListing();
  FolderListing(const FolderListing&) = delete;
  FolderListing& operator=(const FolderListing&) = delete;
  bool ok() const;                 // false when the folder cannot be listed
  bool next();                     // makes the next entry current; false after the last
  const std::string& name() const; // the current entry's name
  EntryType type() const;
  int32_t date(int kind) const;    // as fileDate() for the current entry
  int64_t size() const;            // as fileSize() for the current entry (not following links)
  bool readable() const;           // as canRead() for the current entry
  uint64_t mountId() const;        // as mountIdentity() for the current entry; 0 when unknown
  uint32_t links() const;          // hard links of the current entry; 0 when unknown
  bool ownedByUser() const;        // true when the effective user owns the current entry
  Inode inode() const;             // the current entry's device and inode; number 0 when unknown
  // date(), size(), mountId(), links(), ownedByUser() and inode() share one examination of the entry, made at the
  // first of them.
 private:
  struct Impl;
  Impl* impl_;
};

// The lock of lockFolder(Held, name) in beneath.h on the folder at path (tests play another
// program with it): a handle of 0 or more, or a negative reason.
int lockFolder(const std::string& folder, const std::string& lockName);
void unlockFolder(int lock, const std::string& folder, const std::string& lockName);

// The user's own secret for sealing what "GO" writes: 32 random bytes in a file only the
// user may read ($XDG_DATA_HOME/burnshelf/key, else ~/.local/share/burnshelf/key), never on
// a staging volume. With create, it is made when missing. "" when there is none (or it
// cannot be made, or it is not the user's own 0600 file).
std::string userKey(bool create);

// Sleeps the thread for ms milliseconds.
void pause(int ms);

// Raises the soft limit of open files to the hard one (a desktop's soft limit may be 1024):
// unnamed copies wait open for their proof, two batches of up to 500 at a time, beside the
// folders they lie in. False when it cannot be raised.
bool raiseOpenFileLimit();

}  // namespace platform
