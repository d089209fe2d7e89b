// What a move-out must carry that Shelfdex.dat has no field for, in a small text file of the
// program's own beside it, Shelfdex.facts: the volume each moved folder lay on and the files
// "GO" left in place, and the mode and owner of each listed folder. It travels with
// Shelfdex.dat; a database without it is restored as before.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"

namespace staging {

struct FileEntry;

inline const std::string kFactsName = "Shelfdex.facts";
// The files "GO" left in place, one path a line, for the user to read.
inline const std::string kKeptListName = "Shelfdex-kept.txt";
// The lock that lets one "GO" or "BACK" at a time work on a staging base.
inline const std::string kLockName = "Shelfdex.lock";

struct SourceVolume {
  std::string folder;    // a folder the move-out took files from, ending with "/"
  std::string identity;  // platform::volumeIdentity of it at "GO"
  bool operator==(const SourceVolume&) const = default;
};

struct MoveFacts {
  bool present = false;               // false for a database without Shelfdex.facts
  std::vector<SourceVolume> volumes;
  std::set<int64_t> kept;             // list positions of files "GO" left in place
  std::map<int64_t, platform::Ownership> folderModes;  // by list position of folder entries
  bool operator==(const MoveFacts&) const = default;
};

// The facts of a list about to move: the volume of every folder the list starts from, and
// the mode and owner of every listed folder.
MoveFacts factsOfList(const std::vector<FileEntry>& files);
// Writes base/Shelfdex.facts durably, replacing an older one whole; true on success.
bool writeFacts(const std::string& base, const MoveFacts& facts);
// Reads base/Shelfdex.facts; present false when there is none. Sets damaged (and gives
// nullopt) for a file this program could not have written.
std::optional<MoveFacts> readFacts(const std::string& base, bool& damaged);
// Writes base/Shelfdex-kept.txt with the paths of the kept positions, or removes it when
// there are none; true on success.
bool writeKeptList(const std::string& base, const std::vector<FileEntry>& files,
                   const std::set<int64_t>& kept);

}  // namespace staging
