// File-system services: sizes, path parts, folder listings, creating, copying and deleting.
// Paths are UTF-8 text with "/" as the only separator; folder paths end with "/".
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct Fingerprints;

constexpr int64_t kNothingThere = -1;  // file size: no file or folder at that path
constexpr int64_t kIsFolder = -2;      // file size: a folder (or a volume root)

constexpr int kEntryOther = 0;   // links, FIFOs, sockets, devices: never scanned or moved
constexpr int kEntryFile = 1;    // a regular file
constexpr int kEntryFolder = 2;  // a real folder (not a link to one)

// Size in bytes of the file at path; kNothingThere (also for ""), kIsFolder for a folder.
int64_t fileSize(const std::string& path);
// Everything up to and including the last "/"; "" when there is none.
std::string pathPart(const std::string& path);
// Everything after the last "/"; "" for a path ending with "/".
std::string filePart(const std::string& path);
// root + "/" + name with exactly one "/" between them ("/" + "a" is "/a").
std::string joinPath(const std::string& root, const std::string& name);

// Creates the last level of path (a trailing "/" ignored); nonzero on success,
// 0 when it exists already or its parent is missing.
int createFolder(const std::string& path);
// Deletes one file (a link is removed as a link); nonzero on success.
int deleteFile(const std::string& path);
// Deletes a folder with everything in it, read-only files included; links inside are
// removed as links and their targets are never touched. Nonzero on success, 0 when missing.
int deleteFolder(const std::string& path);

struct CopyOptions {
  bool durable = false;                   // fdatasync the copy before reporting success
  Fingerprints* sourcePrints = nullptr;   // when set: fingerprints of the bytes read from source
  bool keepTimes = false;                 // give the copy the source's exact access/write times
  std::function<void()> tick;             // called at least every 100 ms during a long copy
};
// Copies source to target through a temporary name in target's folder and a rename, so a
// copy that fails leaves an existing target untouched and no partial file. Keeps the
// permission bits. Nonzero on success.
int copyFile(const std::string& source, const std::string& target, const CopyOptions& options = {});

// Makes the file's data durable and drops its cached pages, so a following read comes
// from the disk. Nonzero on success.
int flushAndForget(const std::string& path);
// Drops the file's cached pages without syncing; after a sync they are clean and the next
// read comes from the disk. Nonzero on success.
int forgetCached(const std::string& path);
// Asks the kernel to start reading the file ahead, without waiting. Nonzero on success.
int prefetchFile(const std::string& path);
// syncfs of the volume holding path; nonzero on success.
int syncVolume(const std::string& path);
// Permission bits (07777) of the file at path; 0 when it cannot be asked.
uint32_t fileMode(const std::string& path);
// Sets the permission bits of the file at path; nonzero on success.
int setFileMode(const std::string& path, uint32_t mode);
// True when the current user may read the file / write into the folder.
bool canRead(const std::string& path);
bool canWriteInto(const std::string& folder);

// One open folder listing, in the order the file system delivers the entries ("." and ".."
// are not delivered). Reading is lazy: an entry's type and dates are asked when needed.
class FolderScan {
 public:
  explicit FolderScan(const std::string& folder);
  ~FolderScan();
  FolderScan(const FolderScan&) = delete;
  FolderScan& operator=(const FolderScan&) = delete;
  bool ok() const;                 // false when the folder cannot be listed
  bool next();                     // makes the next entry current; false after the last
  const std::string& name() const; // the current entry's name
  int type() const;                // kEntryFile, kEntryFolder or kEntryOther (lstat semantics)
  int32_t date(int kind) const;    // as fileDate() for the current entry
  int64_t size() const;            // as fileSize() for the current entry (not following links)
  bool readable() const;           // as canRead() for the current entry
  // date() and size() share one examination of the entry, made at the first of them.
 private:
  struct Impl;
  Impl* impl_;
};

// Sleeps the thread for ms milliseconds.
void pause(int ms);

}  // namespace platform
