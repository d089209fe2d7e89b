// The program state that lives for the whole run: the file, drive and folder lists and the
// values around them. Owned by the main routine and passed to every command.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "staging/facts.h"

namespace staging {

constexpr int8_t kFile = 0;    // FileEntry::kind
constexpr int8_t kFolder = 1;

struct FileEntry {
  std::string path;       // a folder's path ends with "/"
  int8_t kind = kFile;
  int32_t created = 0;    // date values
  int32_t modified = 0;
  int32_t accessed = 0;
  int64_t size = 0;       // bytes at scan time; 0 for a folder
  bool operator==(const FileEntry&) const = default;
};

// Finds a listed path in constant time. It keeps list positions, not copies of the paths:
// open addressing over (hash, position) pairs, so a scan of a large tree allocates nothing
// per entry and compares a path only when its full 64-bit hash matches. A path listed twice
// holds one slot, and the hash is keyed per process, so no list (a loaded database
// included) can make the probes run long.
class PathIndex {
 public:
  bool contains(const std::vector<FileEntry>& files, std::string_view path) const;
  void add(const std::vector<FileEntry>& files, size_t position);  // no-op for a held path
  void clear();

 private:
  struct Slot {
    uint64_t hash = 0;
    uint64_t position = 0;  // list position + 1; 0 marks an empty slot
  };
  void grow();
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

struct DriveEntry {
  std::string root;  // volume mount point, or the folder of a loaded Shelfdex.dat; no "/" at the end
                     // except for the root file system itself
  int64_t free = 0;  // MiB; 0 after a database load
};

// "Stock Size 1.23 GB" / "Restore Size 1.23 GB": the first line of the status messages.
std::string stockSizeLine(int64_t stockSize);
std::string restoreSizeLine(int64_t stockSize);

struct State {
  std::vector<FileEntry> files;
  PathIndex listedPaths;                        // the paths of files, kept in step with it
  // Which file each entry's name stood for when the scan listed it, so "GO" moves only that
  // file; shorter than files where the rest are not known (a loaded database).
  std::vector<platform::Inode> inodes;
  std::vector<DriveEntry> drives;
  int currentDrive = -1;                        // index into drives, -1 when none
  std::vector<std::string> folders;             // chosen folders, each ending with "/"

  int64_t stockSize = 0;   // bytes of the listed files
  int64_t needSpace = 0;   // bytes the chosen preset needs
  std::string sizeLine;    // "Stock Size 1.23 GB" / "Restore Size 1.23 GB"; "" until set
  std::string homeDrive;   // mount point of the volume the program runs from
  MoveFacts facts;         // what "GO" recorded beside Shelfdex.dat, or a dropped one read


  void appendFile(FileEntry entry, platform::Inode inode = {});  // appends and indexes the path
  platform::Inode listedInode(size_t position) const;  // number 0 when not known
  bool isListed(const std::string& path) const;
  void clearFiles();
  // Root of the current drive entry: where Shelfdex.dat and the BackupNNN folders lie.
  std::string stagingBase() const;
};

}  // namespace staging
