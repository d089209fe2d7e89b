// List operations of the program state.
#include "staging/state.h"

#include "platform/numtext.h"

namespace staging {
namespace {

uint64_t hashOf(std::string_view path) { return std::hash<std::string_view>{}(path); }

std::string sizeLine(const std::string& word, int64_t bytes) {
  return word + " " + platform::realText(static_cast<double>(bytes) / 1073741824.0, 2) + " GB";
}

}  // namespace

std::string stockSizeLine(int64_t stockSize) { return sizeLine("Stock Size", stockSize); }
std::string restoreSizeLine(int64_t stockSize) { return sizeLine("Restore Size", stockSize); }

bool PathIndex::contains(const std::vector<FileEntry>& files, std::string_view path) const {
  if (slots_.empty()) return false;
  const uint64_t hash = hashOf(path);
  const size_t mask = slots_.size() - 1;
  for (size_t at = hash & mask;; at = (at + 1) & mask) {
    const Slot& slot = slots_[at];
    if (slot.position == 0) return false;
    if (slot.hash == hash && files[slot.position - 1].path == path) return true;
  }
}

void PathIndex::add(const std::vector<FileEntry>& files, size_t position) {
  if ((used_ + 1) * 2 > slots_.size()) grow();
  const uint64_t hash = hashOf(files[position].path);
  const size_t mask = slots_.size() - 1;
  size_t at = hash & mask;
  while (slots_[at].position != 0) at = (at + 1) & mask;
  slots_[at] = Slot{hash, position + 1};
  ++used_;
}

// Doubles the table; the stored hashes place every slot again without rehashing a path.
void PathIndex::grow() {
  std::vector<Slot> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
  const size_t mask = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.position == 0) continue;
    size_t at = slot.hash & mask;
    while (slots_[at].position != 0) at = (at + 1) & mask;
    slots_[at] = slot;
  }
}

void PathIndex::clear() {
  slots_.clear();
  used_ = 0;
}

void State::appendFile(FileEntry entry) {
  files.push_back(std::move(entry));
  listedPaths.add(files, files.size() - 1);
}

bool State::isListed(const std::string& path) const { return listedPaths.contains(files, path); }

void State::clearFiles() {
  files.clear();
  listedPaths.clear();
}

std::string State::stagingBase() const {
  if (currentDrive < 0 || currentDrive >= static_cast<int>(drives.size())) return "";
  return drives[currentDrive].root;
}

}  // namespace staging
