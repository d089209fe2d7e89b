// List operations of the program state.
#include "staging/state.h"

namespace staging {

void State::appendFile(FileEntry entry) {
  listedPaths.insert(entry.path);
  files.push_back(std::move(entry));
}

bool State::isListed(const std::string& path) const { return listedPaths.count(path) != 0; }

void State::clearFiles() {
  files.clear();
  listedPaths.clear();
}

std::string State::stagingBase() const {
  if (currentDrive < 0 || currentDrive >= static_cast<int>(drives.size())) return "";
  return drives[currentDrive].root;
}

}  // namespace staging
