// What a move-out must carry that Shelfdex.dat has no field for, in a small text file of the
// program's own beside it, Shelfdex.facts: the volume each moved folder lay on, the files
// "GO" left in place, the mode and owner of each entry, and the fingerprints of what
// left and of Shelfdex.dat itself. It travels with Shelfdex.dat; a database without it is
// restored as before.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>
#include <ctime>

#include "platform/attributes.h"
#include "platform/fingerprint.h"
#include "platform/beneath.h"
#include "platform/files.h"

namespace staging {

struct FileEntry;

inline const std::string kFactsName = "Shelfdex.facts";
// The files "GO" left in place, one path a line, for the user to read.
inline const std::string kKeptListName = "Shelfdex-kept.txt";
// The lock that lets one "GO" or "BACK" at a time work on a staging base.
inline const std::string kLockName = "Shelfdex.lock";
// The SHA-1 and MD5 of every staged copy in the formats of sha1sum and md5sum, paths
// relative to the staging base, so "sha1sum -c Shelfdex.sha1" checks the area by hand.
inline const std::string kSha1ListName = "Shelfdex.sha1";
inline const std::string kMd5ListName = "Shelfdex.md5";
// Every staged copy and the path it came from, "Backup001/F0000001.dat<tab>/home/…", escaped
// as Shelfdex.facts escapes paths, so a person finds a file with grep and no program.
inline const std::string kContentsListName = "Shelfdex-contents.txt";

struct SourceVolume {
  std::string folder;    // a folder the move-out took files from, ending with "/"
  std::string identity;  // platform::volumeIdentity of it at "GO"
  bool operator==(const SourceVolume&) const = default;
};

// The exact access and write times of an entry, in seconds and nanoseconds since 1970 UTC.
struct ExactTimes {
  timespec accessed{}, modified{};
  bool operator==(const ExactTimes& other) const;
};

struct MoveFacts {
  bool present = false;               // false for a database without Shelfdex.facts
  std::vector<SourceVolume> volumes;
  std::set<int64_t> kept;             // list positions of files "GO" left in place
  // What each moved file held when it left, by list position: the fingerprints "GO" took
  // of the source as it copied it, so "BACK" can tell a staged copy that has rotted since.
  std::map<int64_t, platform::Fingerprints> sums;
  std::string databaseSha1;           // of Shelfdex.dat as written; "" when none was recorded
  // Mode, owner and group of each entry by list position: a staging volume that keeps no
  // modes or owners (FAT, exFAT, NTFS) gives every copy its own, and BACK re-creates folders.
  std::map<int64_t, platform::Ownership> modes;
  // Exact times of each entry by list position: Shelfdex.dat holds local dates to the second
  // between 1970 and 2038 only, and a staging volume may round or clip what its copies keep.
  // An entry with times had its attributes and its stretches of data recorded as well.
  std::map<int64_t, ExactTimes> times;
  std::map<int64_t, platform::Attributes> attributes;       // of entries that have any
  std::map<int64_t, std::vector<platform::DataRange>> data;  // of files with holes
  // True when this user's own Burnshelf wrote them: sealed with the user's key (or recorded
  // by a "GO" of this run). Only then are owners, set-id bits and kept entries believed.
  bool own = false;
  bool operator==(const MoveFacts&) const = default;
};

// The facts of a list about to move: the volume of every folder the list starts from, and
// the mode and owner of every listed folder.
MoveFacts factsOfList(const std::vector<FileEntry>& files);
// Writes Shelfdex.facts in the held base durably, replacing an older one whole, sealed with
// the user's key (made on the first "GO") so a later drop can tell it is the user's own;
// true on success.
bool writeFacts(const platform::Held& base, const MoveFacts& facts);
// Reads Shelfdex.facts in the held base; present false when there is none, own true when
// its seal checks with the user's key. Sets damaged (and gives nullopt) for a file this
// program could not have written.
std::optional<MoveFacts> readFacts(const platform::Held& base, bool& damaged);
// Writes Shelfdex-kept.txt in the base with the paths of the kept positions, or removes it
// when there are none; true on success.
bool writeKeptList(const platform::Held& base, const std::vector<FileEntry>& files,
                   const std::set<int64_t>& kept);
// Writes Shelfdex-contents.txt in the base with every listed file not among the kept
// positions; true on success.
bool writeContentsList(const platform::Held& base, const std::vector<FileEntry>& files,
                       const std::set<int64_t>& kept);
// Writes Shelfdex.sha1 and Shelfdex.md5 in the base from the sums, or removes them when
// there are none; true on success.
bool writeSumLists(const platform::Held& base, const MoveFacts& facts);

}  // namespace staging
