// The file database Shelfdex.dat, the staging layout beside it, and dropping it on the window.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/beneath.h"
#include "staging/state.h"

namespace platform { class Gui; }

namespace staging {

inline const std::string kDatabaseName = "Shelfdex.dat";
// The status lines of a loaded database, shown at the drop and again as "BACK" starts.
inline const std::string kLoadedLine = "Load File Database";
inline const std::string kRestorePrepareLine = "Restore Prepare";
constexpr int64_t kPositionsPerFolder = 600;  // list positions per staging folder

struct StagedPath {
  std::string folder;  // base + "/Backup" + 3 digits (more when the number needs them)
  std::string file;    // folder + "/F" + 7 digits + ".dat"
};
// Where the copy of list position i lies under the staging base.
StagedPath stagedPath(const std::string& base, int64_t position);
// The staging folder with that number (1 for positions 0 to 599).
std::string stagingFolder(const std::string& base, int64_t folderNumber);

// A path "GO" could have written: absolute and canonical (no empty, "." or ".." name), each
// name at most NAME_MAX bytes, the whole shorter than PATH_MAX, ending with "/" exactly when
// it names a folder.
bool isCanonicalPath(const std::string& path, bool folder);

// Writes Shelfdex.dat in the held base, then flushes and syncs it; true when every byte
// reached the disk.
bool writeDatabase(const platform::Held& base, int64_t stockSize, const std::vector<FileEntry>& files);
// SHA-1 of the Shelfdex.dat in the held base; "" when it cannot be read.
std::string sha1OfDatabase(const platform::Held& base);

struct Database {
  int64_t stockSize = 0;
  std::vector<FileEntry> files;
};
// Reads a database; nullopt when it cannot be opened. Sets damaged when it is not a
// database this program could have written (then nullopt too).
std::optional<Database> readDatabase(const std::string& path, bool* damaged = nullptr);
std::optional<Database> readDatabase(const platform::Place& place, bool* damaged = nullptr);

// Files dropped on the main window (paths joined by "\n"): loads the first one named
// exactly Shelfdex.dat while the file list is empty, and puts the window in restore state.
void acceptDrop(State& state, platform::Gui& gui, const std::string& dropped);

}  // namespace staging
