// A fresh temporary folder per test with helpers that lay out real trees in it (files with
// given bytes, folders, links, FIFOs, modes) and read them back. Header-only: usable from
// platform_* tests, which link no test-support library.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

class TempTree {
 public:
  // Creates an empty folder under $TMPDIR (or /tmp).
  TempTree() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/burnshelf-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
  }
  // Removes the folder and everything in it, making folders writable first; links are
  // removed as links.
  ~TempTree() {
    std::error_code error;
    openUp(root_);
    std::filesystem::remove_all(root_, error);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  // The folder, without a trailing "/".
  const std::string& root() const { return root_; }
  // Absolute path of relative inside the tree ("" gives the root itself).
  std::string path(const std::string& relative) const {
    return relative.empty() ? root_ : root_ + "/" + relative;
  }
  // Absolute folder path of relative, ending with "/".
  std::string folderPath(const std::string& relative) const { return path(relative) + "/"; }

  // Writes a file holding exactly bytes (missing parent folders are made); its path.
  std::string write(const std::string& relative, const std::string& bytes) const {
    std::string full = path(relative);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    std::ofstream out(full, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + full);
    return full;
  }
  // Makes a folder and its missing parents; its path ending with "/".
  std::string makeFolder(const std::string& relative) const {
    std::filesystem::create_directories(path(relative));
    return folderPath(relative);
  }
  // Makes a symbolic link at relative pointing to target (taken as given); its path.
  std::string symlink(const std::string& relative, const std::string& target) const {
    std::string full = path(relative);
    if (::symlink(target.c_str(), full.c_str()) != 0) throw std::runtime_error("symlink " + full);
    return full;
  }
  // Makes a FIFO at relative; its path.
  std::string fifo(const std::string& relative) const {
    std::string full = path(relative);
    if (mkfifo(full.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + full);
    return full;
  }
  // Sets the permission bits of relative (chmod, following links).
  void setMode(const std::string& relative, mode_t mode) const {
    if (chmod(path(relative).c_str(), mode) != 0) throw std::runtime_error("chmod " + relative);
  }
  // Permission bits of relative, or 0 when missing.
  mode_t mode(const std::string& relative) const {
    struct stat info{};
    return stat(path(relative).c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
  }
  // The whole content of a file; "" when it cannot be read.
  std::string read(const std::string& relative) const {
    std::ifstream in(path(relative), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  // True when anything (a dangling link included) stands at relative.
  bool exists(const std::string& relative) const {
    struct stat info{};
    return lstat(path(relative).c_str(), &info) == 0;
  }
  // Names in the folder relative, sorted bytewise; hidden names included.
  std::vector<std::string> list(const std::string& relative = "") const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path(relative), error))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // Writes a file of size bytes that holds only the given pieces (offset, bytes) and holes
  // everywhere else; its path.
  std::string sparse(const std::string& relative, int64_t size,
                     const std::vector<std::pair<int64_t, std::string>>& pieces) const {
    const std::string full = write(relative, "");
    const int fd = open(full.c_str(), O_WRONLY | O_CLOEXEC);
    bool good = fd >= 0 && ftruncate(fd, size) == 0;
    for (const auto& [offset, bytes] : pieces)
      good = good && pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0) close(fd);
    if (!good) throw std::runtime_error("cannot write " + full);
    return full;
  }
  // Bytes of disk the file at the absolute path takes; -1 when missing.
  static int64_t allocated(const std::string& full) {
    struct stat info{};
    return lstat(full.c_str(), &info) == 0 ? static_cast<int64_t>(info.st_blocks) * 512 : -1;
  }
  // A string of size bytes in a pattern that differs from block to block.
  static std::string patternBytes(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
      state = state * 1664525u + 1013904223u;
      byte = static_cast<char>(state >> 24);
    }
    return bytes;
  }

 private:
  // Gives the owner full rights on every real folder below folder, so removal can enter it.
  static void openUp(const std::string& folder) {
    struct stat info{};
    if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return;
    chmod(folder.c_str(), (info.st_mode & 07777) | S_IRWXU);
    DIR* listing = opendir(folder.c_str());
    if (!listing) return;
    std::vector<std::string> children;
    while (dirent* entry = readdir(listing)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") children.push_back(folder + "/" + name);
    }
    closedir(listing);
    for (const std::string& child : children) openUp(child);
  }

  std::string root_;
};
