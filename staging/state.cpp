// List operations of the program state.
#include "staging/state.h"

#include <array>
#include <random>

#include "platform/numtext.h"

namespace staging {
namespace {

using SipKey = std::array<uint64_t, 2>;

// Drawn once per process: a list read from a file cannot be crafted to collide in the index
// without knowing it, so a loaded database stays linear to index whatever paths it holds.
const SipKey& processKey() {
  static const SipKey key = [] {
    std::random_device device;
    SipKey drawn{};
    for (uint64_t& half : drawn) half = (uint64_t{device()} << 32) | device();
    return drawn;
  }();
  return key;
}

uint64_t rotl(uint64_t value, int bits) { return (value << bits) | (value >> (64 - bits)); }

void sipRound(uint64_t v[4]) {
  v[0] += v[1]; v[1] = rotl(v[1], 13); v[1] ^= v[0]; v[0] = rotl(v[0], 32);
  v[2] += v[3]; v[3] = rotl(v[3], 16); v[3] ^= v[2];
  v[0] += v[3]; v[3] = rotl(v[3], 21); v[3] ^= v[0];
  v[2] += v[1]; v[1] = rotl(v[1], 17); v[1] ^= v[2]; v[2] = rotl(v[2], 32);
}

// SipHash-1-3 under the process key: a keyed hash made for tables fed by untrusted input.
uint64_t hashOf(std::string_view path) {
  const SipKey& key = processKey();
  uint64_t v[4] = {key[0] ^ 0x736f6d6570736575ULL, key[1] ^ 0x646f72616e646f6dULL,
                   key[0] ^ 0x6c7967656e657261ULL, key[1] ^ 0x7465646279746573ULL};
  const auto* bytes = reinterpret_cast<const unsigned char*>(path.data());
  const size_t whole = path.size() & ~size_t{7};
  auto mix = [&](uint64_t word) {
    v[3] ^= word;
    sipRound(v);
    v[0] ^= word;
  };
  for (size_t at = 0; at < whole; at += 8) {
    uint64_t word = 0;
    for (int i = 7; i >= 0; --i) word = (word << 8) | bytes[at + i];
    mix(word);
  }
  uint64_t last = uint64_t{path.size() & 0xff} << 56;
  for (size_t i = whole; i < path.size(); ++i) last |= uint64_t{bytes[i]} << (8 * (i - whole));
  mix(last);
  v[2] ^= 0xff;
  for (int i = 0; i < 3; ++i) sipRound(v);
  return v[0] ^ v[1] ^ v[2] ^ v[3];
}

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
  for (; slots_[at].position != 0; at = (at + 1) & mask) {
    // A path listed twice keeps its one slot: equal paths must not pile up in one run.
    const Slot& slot = slots_[at];
    if (slot.hash == hash && files[slot.position - 1].path == files[position].path) return;
  }
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

void State::appendFile(FileEntry entry, platform::Inode inode) {
  files.push_back(std::move(entry));
  listedPaths.add(files, files.size() - 1);
  if (inode.number != 0) {
    inodes.resize(files.size());
    inodes.back() = inode;
  }
}

platform::Inode State::listedInode(size_t position) const {
  return position < inodes.size() ? inodes[position] : platform::Inode{};
}

bool State::isListed(const std::string& path) const { return listedPaths.contains(files, path); }

void State::clearFiles() {
  files.clear();
  inodes.clear();
  listedPaths.clear();
}

std::string State::stagingBase() const {
  if (currentDrive < 0 || currentDrive >= static_cast<int>(drives.size())) return "";
  return drives[currentDrive].root;
}

}  // namespace staging
