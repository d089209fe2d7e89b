// Where a list's entries and their staged copies lie, as held folders: every entry beneath
// one of the chosen folders the list starts from, every staged copy beneath the staging
// base. Nothing is reached through a link, across a mount or above those folders.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/beneath.h"
#include "staging/state.h"

namespace staging {

// The chosen folders a list starts from, each ending with "/": the recorded volumes where
// the facts are present, else the folder entries whose parent folder is not listed.
std::vector<std::string> chosenFoldersOf(const std::vector<FileEntry>& files, const MoveFacts& facts);

class ListPlaces {
 public:
  ListPlaces(const std::vector<FileEntry>& files, std::vector<std::string> tops);
  // The chosen folder entry i lies beneath (or is), as an index into tops; -1 for none.
  int topOf(size_t i) const { return topOf_[i]; }
  // True when every entry lies beneath a chosen folder.
  bool allBeneath() const;
  // The folder that holds entry i, held, and the entry's name in it; the folder is null when
  // it cannot be reached without a link, another mount or a missing folder.
  platform::Place placeOf(size_t i);
  // The same for reading ahead, with a cursor of its own, so reading a folder or two ahead
  // never makes the pass open its current folder again.
  platform::Place aheadOf(size_t i);
  // Folder entry i itself, held; null when it cannot be reached (see placeOf).
  platform::Held folderOf(size_t i);
  // Folder entry i made when missing (a chosen folder with at most levelsAbove missing
  // folders above it), and held; made tells whether it was made.
  platform::Held makeFolder(size_t i, int levelsAbove, bool* made);
  // The chosen folder t held. When it is missing and levelsAbove allows, it is made first,
  // with at most levelsAbove missing folders above it; made tells whether it was.
  platform::Held top(int t, int levelsAbove = -1, bool* made = nullptr);

 private:
  const std::vector<FileEntry>& files_;
  std::vector<std::string> tops_;
  std::vector<int32_t> topOf_;
  std::vector<platform::Held> held_;
  platform::FolderCursor cursor_, aheadCursor_;
  platform::Place placeWith(platform::FolderCursor& cursor, size_t i);
};

// The staging base held, with its staging folders held as they are first asked for.
class StagingArea {
 public:
  explicit StagingArea(const std::string& base);
  const platform::Held& base() const { return base_; }
  // The staging folder with that number, held; made first when make is set and nothing
  // stands there (made tells whether it was). Null when it is not a real folder on the base's
  // mount.
  platform::Held folder(int64_t number, bool make = false, bool* made = nullptr);
  // The staged copy of list position i; its folder is null when the staging folder is not.
  platform::Place copyOf(int64_t position);
  // A name directly in the base.
  platform::Place at(const std::string& name) const { return platform::Place{base_, name}; }

 private:
  platform::Held base_;
  std::vector<platform::Held> folders_;  // by number - 1
};

}  // namespace staging
