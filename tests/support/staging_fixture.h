// What the "GO" and "BACK" tests share: a program state whose staging base is a folder of a
// temporary tree, files listed as the scan lists them, write faults aimed at chosen files,
// snapshots of whole trees (bytes, modes, exact times), and the progress bar's values as
// they change. Header-only.
#pragma once
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QObject>
#include <QProgressBar>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ui/window.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/gui_test_access.h"
#include "staging/database.h"
#include "support/app_fixture.h"
#include "support/syscall_faults.h"
#include "support/temp_tree.h"

namespace testing_support {

// What a user would miss if it changed: a file's bytes, permission bits and exact
// last-write time; for a folder only that it is one.
struct FileFacts {
  bool folder = false;
  std::string bytes;
  mode_t mode = 0;
  int64_t modifiedNs = 0;
  bool operator==(const FileFacts&) const = default;
};
inline void PrintTo(const FileFacts& fact, std::ostream* out) {
  if (fact.folder) {
    *out << "folder";
    return;
  }
  *out << fact.bytes.size() << " bytes, mode " << std::oct << fact.mode << std::dec
       << ", modified " << fact.modifiedNs << " ns";
}
using Snapshot = std::map<std::string, FileFacts>;  // path relative to the snapshot's folder

inline std::string readFile(const std::string& path);
inline Snapshot snapshot(const std::string& folder) {
  Snapshot facts;
  std::error_code error;
  for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
       it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    const std::string path = it->path().string();
    struct stat info{};
    if (lstat(path.c_str(), &info) != 0) continue;
    FileFacts fact;
    fact.folder = S_ISDIR(info.st_mode);
    if (!fact.folder) {
      fact.mode = info.st_mode & 07777;
      fact.modifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
      fact.bytes = readFile(path);
    }
    facts[path.substr(folder.size())] = fact;
  }
  return facts;
}

// The file's bytes, read without moving its access time where the kernel allows: a test
// that looks must not change what "BACK" is to give back.
inline std::string readFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  std::string bytes;
  char block[65536];
  for (ssize_t got; fd >= 0 && (got = read(fd, block, sizeof block)) > 0;) bytes.append(block, static_cast<size_t>(got));
  if (fd >= 0) close(fd);
  return bytes;
}

// Sets a file's last-write time to a time with nanoseconds, as real files carry.
inline void setModifiedNs(const std::string& path, time_t seconds, long nanoseconds) {
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, nanoseconds}};
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

enum class Fault { kPass, kFail, kCorrupt };
// What to do with one write: the written file's path, its offset before the write, the size.
using FaultRule = std::function<Fault(const std::string& path, int64_t offset, size_t size)>;

// Routes every write of copies and data files through rule: kFail makes it fail as a full
// disk does (ENOSPC), kCorrupt writes the block with its first byte changed.
inline void injectWriteFaults(FaultRule rule) {
  setWriteRule([rule](int fd, const void* data, size_t size) -> ssize_t {
    const int64_t offset = lseek(fd, 0, SEEK_CUR);
    switch (rule(pathOfFd(fd), offset, size)) {
      case Fault::kFail:
        errno = ENOSPC;
        return -1;
      case Fault::kCorrupt: {
        std::string bytes(static_cast<const char*>(data), size);
        if (!bytes.empty()) bytes[0] = static_cast<char>(bytes[0] ^ 0x5a);
        return ::write(fd, bytes.data(), bytes.size());
      }
      case Fault::kPass:
        break;
    }
    return ::write(fd, data, size);
  });
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every value the progress bar takes, in order, while the recorder lives.
class ProgressRecorder {
 public:
  explicit ProgressRecorder(platform::Gui& gui) {
    auto* bar = qobject_cast<QProgressBar*>(platform::qtWidget(gui, ui::kProgressBar));
    if (bar) connection_ = QObject::connect(bar, &QProgressBar::valueChanged,
                                            [this](int value) { values.push_back(value); });
  }
  ~ProgressRecorder() { QObject::disconnect(connection_); }
  ProgressRecorder(const ProgressRecorder&) = delete;
  ProgressRecorder& operator=(const ProgressRecorder&) = delete;
  std::vector<int> values;

 private:
  QMetaObject::Connection connection_;
};

// A started program whose staging base is tree/stage, with files listed by the test itself
// (in the order the test appends them) rather than by a scan.
class StagingFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    base = tree.path("stage");
    tree.makeFolder("stage");
    layVolumes({diskVolume(base, 100000, 7)});
    start();
    state.drives = {staging::DriveEntry{base, 100000}};
    state.currentDrive = 0;
    state.sizeLine = "Stock Size 0.00 GB";
    // A box nobody answers would wait for ever offscreen: OK closes any box not scripted.
    platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  }
  void TearDown() override {
    restoreSyscalls();
    AppFixture::TearDown();
  }

  // Writes tree/data/relative and lists it as the scan would; its path.
  std::string listFile(const std::string& relative, const std::string& bytes) {
    const std::string path = tree.write("data/" + relative, bytes);
    listExisting(path);
    return path;
  }
  void listExisting(const std::string& path) {
    const int64_t size = platform::fileSize(path);
    const platform::FileIdentity identity = platform::fileIdentity(path);
    state.appendFile(staging::FileEntry{path, staging::kFile,
                                        platform::fileDate(path, platform::kCreated),
                                        platform::fileDate(path, platform::kModified),
                                        platform::fileDate(path, platform::kAccessed), size},
                     platform::Inode{identity.device, identity.inode});
    state.stockSize += size;
  }
  // Makes tree/data/relative and lists it as a folder entry; its path ending with "/".
  std::string listFolder(const std::string& relative) {
    const std::string path = tree.makeFolder("data/" + relative);
    state.appendFile(staging::FileEntry{path, staging::kFolder,
                                        platform::fileDate(path, platform::kCreated),
                                        platform::fileDate(path, platform::kModified),
                                        platform::fileDate(path, platform::kAccessed), 0});
    return path;
  }

  // A later run: a fresh program state and window, and Shelfdex.dat dropped on it.
  void restartAndDrop() {
    gui->closeWindow(ui::kMainWindow);
    state = staging::State();
    start();
    dropFiles({database()});
    pump();
  }

  void setCheck(bool ticked) { gui->setState(ui::kCheckBox, ticked ? 1 : 0); }
  // A click on "GO" / "BACK" as the user makes it; false when the program ended inside.
  bool clickGo() {
    gui->disable(ui::kGoButton, false);
    click(ui::kGoButton);
    pump();
    return !ended();
  }
  bool clickBack() {
    gui->disable(ui::kBackButton, false);
    click(ui::kBackButton);
    pump();
    return !ended();
  }

  // Every listed file is whole, either at its place or as its staged copy.
  void expectNothingLost(const Snapshot& before) {
    const std::string root = tree.path("data");
    for (size_t i = 0; i < state.files.size(); ++i) {
      const staging::FileEntry& entry = state.files[i];
      if (entry.kind != staging::kFile) continue;
      const std::string& original = before.at(entry.path.substr(root.size())).bytes;
      if (platform::fileSize(entry.path) >= 0) {
        EXPECT_EQ(readFile(entry.path), original) << entry.path;
      } else {
        EXPECT_EQ(readFile(staged(static_cast<int64_t>(i))), original) << entry.path << " lost";
      }
    }
  }

  std::string staged(int64_t position) const { return staging::stagedPath(base, position).file; }
  std::string database() const { return base + "/" + staging::kDatabaseName; }
  Snapshot data() const { return snapshot(tree.path("data")); }
  std::vector<std::string> lines() { return statusLines(status()); }
  std::vector<std::string> boxTitles() const {
    std::vector<std::string> titles;
    for (const platform::MessageRecord& box : platform::shownBoxes(*gui)) titles.push_back(box.title);
    return titles;
  }

  TempTree tree;
  std::string base;  // tree/stage, no "/" at the end
};

}  // namespace testing_support
