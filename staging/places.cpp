// Held folders for the entries of a list and for the staging area (see places.h).
#include "staging/places.h"

#include <set>
#include <string_view>
#include <unordered_map>

#include "platform/files.h"
#include "staging/database.h"

namespace staging {
namespace {

// The parent of a folder path ending with "/" ("/a/b/" gives "/a/"); "" for "/".
std::string parentOf(const std::string& folder) {
  if (folder.size() < 2) return "";
  return platform::pathPart(folder.substr(0, folder.size() - 1));
}

// FNV-1a, one byte at a time, so every prefix of a path has its hash on the way.
constexpr uint64_t kFnvStart = 14695981039346656037ull;
uint64_t fnvStep(uint64_t hash, char c) { return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull; }

}  // namespace

std::vector<std::string> chosenFoldersOf(const std::vector<FileEntry>& files, const MoveFacts& facts) {
  std::vector<std::string> tops;
  if (facts.present) {
    std::set<std::string_view> seen;
    for (const SourceVolume& volume : facts.volumes)
      if (seen.insert(volume.folder).second) tops.push_back(volume.folder);
    return tops;
  }
  std::set<std::string_view> folders, seen;
  for (const FileEntry& entry : files)
    if (entry.kind == kFolder) folders.insert(entry.path);
  for (const FileEntry& entry : files)
    if (entry.kind == kFolder && folders.count(parentOf(entry.path)) == 0 && seen.insert(entry.path).second)
      tops.push_back(entry.path);
  return tops;
}

// Each entry's chosen folder is found in one pass over its path: the hash of every prefix
// that ends with "/" is looked up, so a list of long paths costs time linear in its bytes.
ListPlaces::ListPlaces(const std::vector<FileEntry>& files, std::vector<std::string> tops)
    : files_(files), tops_(std::move(tops)), topOf_(files.size(), -1), held_(tops_.size()) {
  std::unordered_multimap<uint64_t, int32_t> byHash;
  for (size_t t = 0; t < tops_.size(); ++t) {
    uint64_t hash = kFnvStart;
    for (char c : tops_[t]) hash = fnvStep(hash, c);
    byHash.emplace(hash, static_cast<int32_t>(t));
  }
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string& path = files[i].path;
    uint64_t hash = kFnvStart;
    for (size_t at = 0; at < path.size(); ++at) {
      hash = fnvStep(hash, path[at]);
      if (path[at] != '/') continue;
      auto [first, last] = byHash.equal_range(hash);
      for (auto it = first; it != last; ++it) {
        const std::string& top = tops_[static_cast<size_t>(it->second)];
        if (top.size() == at + 1 && path.compare(0, at + 1, top) == 0) topOf_[i] = it->second;
      }
    }
  }
}

bool ListPlaces::allBeneath() const {
  for (int32_t top : topOf_)
    if (top < 0) return false;
  return true;
}

platform::Held ListPlaces::top(int t, int levelsAbove, bool* made) {
  if (made) *made = false;
  platform::Held& held = held_[static_cast<size_t>(t)];
  if (held) return held;
  const std::string& path = tops_[static_cast<size_t>(t)];
  held = platform::holdFolder(path);
  if (held || levelsAbove < 0) return held;
  // The missing folders from the deepest one there down to the chosen folder, each made
  // beneath the one held above it. Each is known by the length of its path, so a deep
  // path costs memory in its length, not its square.
  std::vector<size_t> missing{path.size()};
  platform::Held above;
  for (size_t end = path.rfind('/', path.size() - 2); end != std::string::npos && end > 0;
       end = path.rfind('/', end - 1)) {
    if ((above = platform::holdFolder(path.substr(0, end + 1)))) break;
    if (static_cast<int>(missing.size()) > levelsAbove) return nullptr;
    missing.push_back(end + 1);
  }
  if (!above) above = platform::holdFolder("/");
  for (auto length = missing.rbegin(); above && length != missing.rend(); ++length) {
    const size_t start = path.rfind('/', *length - 2) + 1;
    above = platform::makeAndHold(above, path.substr(start, *length - 1 - start), 0777, made);
  }
  return held = above;
}

platform::Place ListPlaces::placeOf(size_t i) { return placeWith(cursor_, i); }
platform::Place ListPlaces::aheadOf(size_t i) { return placeWith(aheadCursor_, i); }

platform::Place ListPlaces::placeWith(platform::FolderCursor& cursor, size_t i) {
  const int t = topOf_[i];
  if (t < 0) return {};
  const FileEntry& entry = files_[i];
  const std::string& topPath = tops_[static_cast<size_t>(t)];
  std::string relative = entry.path.substr(topPath.size());
  if (!relative.empty() && relative.back() == '/') relative.pop_back();
  if (relative.empty()) {  // the chosen folder itself
    const std::string parent = parentOf(topPath);
    return platform::Place{parent.empty() ? nullptr : platform::holdFolder(parent),
                           platform::filePart(topPath.substr(0, topPath.size() - 1))};
  }
  const size_t slash = relative.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : relative.substr(0, slash);
  return platform::Place{cursor.at(top(t), folder), relative.substr(slash + 1)};
}

platform::Held ListPlaces::makeFolder(size_t i, int levelsAbove, bool* made) {
  if (made) *made = false;
  const int t = topOf_[i];
  if (t < 0) return nullptr;
  if (files_[i].path.size() == tops_[static_cast<size_t>(t)].size()) return top(t, levelsAbove, made);
  const platform::Place place = placeOf(i);
  return platform::makeAndHold(place.folder, place.name, 0777, made);
}

platform::Held ListPlaces::folderOf(size_t i) {
  const int t = topOf_[i];
  if (t < 0) return nullptr;
  const std::string& topPath = tops_[static_cast<size_t>(t)];
  const std::string relative = files_[i].path.substr(topPath.size());
  return relative.empty() ? top(t) : platform::holdBeneath(top(t), relative);
}

StagingArea::StagingArea(const std::string& base) : base_(platform::holdFolder(base)) {}

platform::Held StagingArea::folder(int64_t number, bool make, bool* made) {
  if (made) *made = false;
  if (number < 1 || !base_) return nullptr;
  if (folders_.size() < static_cast<size_t>(number)) folders_.resize(static_cast<size_t>(number));
  platform::Held& held = folders_[static_cast<size_t>(number - 1)];
  if (held) return held;
  const std::string name = platform::filePart(stagingFolder("", number));
  if (make) return held = platform::makeAndHold(base_, name, 0700, made);
  return held = platform::holdBeneath(base_, name);
}

platform::Place StagingArea::copyOf(int64_t position) {
  return platform::Place{folder(position / kPositionsPerFolder + 1),
                         platform::filePart(stagedPath("", position).file)};
}

}  // namespace staging
