// The scan behind "Move Folder" on real trees: what is listed, in which order, when it stops,
// the texts and widgets it leaves, and the entries it must pass over.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "ui/window.h"
#include "folders/scan.h"
#include "platform/dates.h"
#include "staging/space.h"
#include "support/folder_choice.h"

namespace {

using staging::FileEntry;
using testing_support::statusLines;

// Depth-first pre-order of a real tree in readdir's order: folders (not links to them) with
// "/", then their content; regular files. What the scan lists when nothing is passed over.
void walk(const std::string& folder, std::vector<std::string>& paths) {
  DIR* listing = opendir(folder.c_str());
  ASSERT_NE(listing, nullptr) << folder;
  std::vector<std::string> names;
  while (dirent* entry = readdir(listing))
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") names.push_back(entry->d_name);
  closedir(listing);
  for (const std::string& name : names) {
    struct stat info{};
    ASSERT_EQ(lstat((folder + name).c_str(), &info), 0);
    if (S_ISDIR(info.st_mode)) {
      paths.push_back(folder + name + "/");
      walk(folder + name + "/", paths);
    } else if (S_ISREG(info.st_mode)) {
      paths.push_back(folder + name);
    }
  }
}

class ScanTest : public testing_support::MoveFolderFixture {
 protected:
  // The scan of the given folders, as "Move Folder" runs it after the window.
  void scan(std::vector<std::string> chosen, int64_t needSpace) {
    state.folders = std::move(chosen);
    state.needSpace = needSpace;
    state.stockSize = 0;
    folders::scanChosenFolders(state, *gui);
  }
  std::vector<std::string> listed() const {
    std::vector<std::string> paths;
    for (const FileEntry& entry : state.files) paths.push_back(entry.path);
    return paths;
  }
  int64_t count(const std::string& path) const {
    return std::count_if(state.files.begin(), state.files.end(),
                         [&](const FileEntry& entry) { return entry.path == path; });
  }
  // The status text of a scan that reached the need space in folder.
  std::string finishedText(const std::string& folder, const std::string& stock) const {
    const std::string shown = folder.size() > 38 ? folder.substr(folder.size() - 38) : folder;
    return ui::joinLines({shown, "", "Stock Size " + stock + " GB", "Finished"});
  }
  std::string disk(const std::string& relative) const { return volumes.path("disk/" + relative); }
  using Paths = std::vector<std::string>;
};

TEST_F(ScanTest, FirstFileAboveTheNeedEndsTheScanAndEnablesGo) {
  volumes.write("disk/A/big", std::string(100, 'x'));
  const std::string a = diskFolder("A");
  state.needSpace = 50;
  moveFolders({a});  // through the window, as the user does it

  ASSERT_EQ(listed(), Paths({a, a + "big"}));
  EXPECT_EQ(state.files[0].kind, staging::kFolder);
  EXPECT_EQ(state.files[1], (FileEntry{a + "big", staging::kFile,
                                       platform::fileDate(a + "big", platform::kCreated),
                                       platform::fileDate(a + "big", platform::kModified),
                                       platform::fileDate(a + "big", platform::kAccessed), 100}));
  struct stat info{};
  ASSERT_EQ(stat(a.c_str(), &info), 0);
  EXPECT_EQ(state.files[0].modified, platform::toDateValue(info.st_mtime));
  EXPECT_EQ(state.stockSize, 100);
  EXPECT_EQ(status(), finishedText(a, "0.00"));
  EXPECT_EQ(state.sizeLine, "Stock Size 0.00 GB");
  EXPECT_TRUE(enabled(ui::kGoButton));
  for (int widget : {ui::kPresetBox, ui::kDriveBox, ui::kMoveFolderButton}) EXPECT_FALSE(enabled(widget));
}

TEST_F(ScanTest, TheFileThatReachesTheNeedIsIncluded) {
  for (const char* name : {"f1", "f2", "f3"}) volumes.write(std::string("disk/A/") + name, "4444");
  scan({diskFolder("A")}, 10);
  EXPECT_EQ(state.files.size(), 4u);
  EXPECT_EQ(state.stockSize, 12);
  EXPECT_TRUE(enabled(ui::kGoButton));
}

TEST_F(ScanTest, NestedChosenFoldersInBothOrders) {
  volumes.write("disk/A/a.txt", "a");
  volumes.write("disk/A/B/b.txt", "b");
  const std::string a = diskFolder("A"), b = diskFolder("A/B");

  scan({a, b}, INT64_MAX);  // B met inside A, then again as a chosen folder
  EXPECT_EQ(count(b), 2);
  EXPECT_EQ(count(b + "b.txt"), 1);
  EXPECT_EQ(listed().back(), b);

  state.clearFiles();
  scan({b, a}, INT64_MAX);  // B's content first; A's scan passes B over
  EXPECT_EQ(listed(), Paths({b, b + "b.txt", a, a + "a.txt"}));
  EXPECT_EQ(state.stockSize, 2);
}

TEST_F(ScanTest, AVolumeRootHasNoOwnEntry) {
  volumes.write("disk/x", "12");
  scan({diskFolder("")}, INT64_MAX);
  EXPECT_EQ(listed(), Paths({diskFolder("") + "x"}));
}

TEST_F(ScanTest, AfterTheNeedIsReachedLaterFoldersGetOnlyTheirOwnEntry) {
  volumes.write("disk/A/f", std::string(20, 'f'));
  volumes.write("disk/C/g", "g");
  volumes.write("disk/C/D/h", "h");
  const std::string a = diskFolder("A"), c = diskFolder("C");
  scan({a, c}, 10);
  EXPECT_EQ(listed(), Paths({a, a + "f", c}));
  EXPECT_EQ(status(), finishedText(c, "0.00"));
  EXPECT_TRUE(enabled(ui::kGoButton));
}

TEST_F(ScanTest, TooLittleSaysSoAndKeepsWhatItListed) {
  volumes.write("disk/A folder whose path is long/f", "ff");
  const std::string a = diskFolder("A folder whose path is long");
  ASSERT_GT(a.size(), 38u);
  const std::string sizeLineBefore = state.sizeLine;
  scan({a}, 1000);
  EXPECT_EQ(listed(), Paths({a, a + "f"}));
  EXPECT_EQ(statusLines(status()).back(), "Did not stock files.");
  EXPECT_EQ(statusLines(status()).front(), a.substr(a.size() - 38));
  EXPECT_EQ(state.sizeLine, sizeLineBefore);
  EXPECT_FALSE(enabled(ui::kGoButton));
  EXPECT_TRUE(enabled(ui::kMoveFolderButton));
}

// A later "Move Folder" starts a new list: GO moves what the last scan listed, and the stock
// size shown is that list's total, in the failure text too (the figure of the folder the scan
// entered last would say 0.00 for a folder whose files all lie in a subfolder).
TEST_F(ScanTest, ALaterMoveFolderStartsANewList) {
  const int64_t gib = int64_t(1) << 30;
  volumes.sparse("disk/Videos/2024/film", 5186173010, {});  // 4.83 GB
  volumes.sparse("disk/Pictures/photo", gib, {});
  const std::string videos = diskFolder("Videos"), pictures = diskFolder("Pictures");
  struct Step {
    std::string ticked;
    Paths listed;            // in any order
    std::string sizeLine;
    bool finished;
  };
  const Step steps[] = {
      {videos, {videos, videos + "2024/", videos + "2024/film"}, "Stock Size 4.83 GB", false},
      {pictures, {pictures, pictures + "photo"}, "Stock Size 1.00 GB", false},
      {diskFolder(""), {videos, videos + "2024/", videos + "2024/film", pictures, pictures + "photo"},
       "Stock Size 5.83 GB", true},
  };
  state.needSpace = staging::preset(0).needSpace;  // "DVD 4.7 GB": 4.9 GB
  for (const Step& step : steps) {
    SCOPED_TRACE(step.ticked);
    moveFolders({step.ticked});
    Paths got = listed();
    Paths want = step.listed;
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want);
    const std::vector<std::string> lines = statusLines(status());
    EXPECT_NE(std::find(lines.begin(), lines.end(), step.sizeLine), lines.end()) << status();
    EXPECT_EQ(lines.back(), step.finished ? "Finished" : "Did not stock files.");
    EXPECT_EQ(enabled(ui::kGoButton), step.finished);
  }
}

TEST_F(ScanTest, AFolderNamedFinishedDoesNotPassForAFinishedScan) {
  volumes.write("disk/Finished/f", "ff");
  scan({diskFolder("Finished")}, 1000);
  EXPECT_EQ(statusLines(status()).back(), "Did not stock files.");
  EXPECT_FALSE(enabled(ui::kGoButton));
}

TEST_F(ScanTest, ListsDepthFirstInListingOrder) {
  for (const char* file : {"Top/z.bin", "Top/a b.txt", "Top/Ünïcode/ö.txt", "Top/Sub/x", "Top/Sub/Deep/y",
                           "Top/Sub/Deep/z", "Top/Sub/w", "Top/m"})
    volumes.write(std::string("disk/") + file, "data");
  volumes.makeFolder("disk/Top/Empty");
  const std::string top = diskFolder("Top");
  std::vector<std::string> expected = {top};
  walk(top, expected);
  scan({top}, INT64_MAX);
  EXPECT_EQ(listed(), expected);
  EXPECT_EQ(state.stockSize, 8 * 4);
}

// Each kind GO could not move or BACK could not bring back, between ordinary files: none is
// listed, and the scan goes on past it.
TEST_F(ScanTest, PassesOverWhatCannotBeMovedAndBack) {
  const std::string a = diskFolder("A");
  volumes.write("disk/A/first", "1");
  volumes.symlink("disk/A/loop", a);                // a link to its own folder
  volumes.symlink("disk/A/to-file", disk("A/first"));
  volumes.symlink("disk/A/dangling", disk("A/nothing"));
  volumes.fifo("disk/A/fifo");
  volumes.write("disk/A/new\nline", "x");
  volumes.write("disk/A/carriage\rreturn", "x");
  volumes.write("disk/A/bad\xff" "byte", "x");
  volumes.write("disk/A/Bad\xc3(folder/inside", "x");
  volumes.write("disk/A/Sub/last", "2");
  const std::string linked = volumes.write("disk/A/linked", "L");  // one file, two names
  ASSERT_EQ(link(linked.c_str(), disk("A/Sub/linked too").c_str()), 0);
  scan({a}, INT64_MAX);
  std::vector<std::string> paths = listed();
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, Paths({a, a + "Sub/", a + "Sub/last", a + "first"}));
  EXPECT_EQ(state.stockSize, 2);
  EXPECT_EQ(statusLines(status()).back(), "Did not stock files.");
}

// The folder window and the scan never ask a volume's free space: a share that does not
// answer would hang them.
TEST_F(ScanTest, MoveFolderAsksNoVolumeForItsFreeSpace) {
  volumes.write("disk/A/f", "1");
  auto asked = std::make_shared<std::atomic<int>>(0);
  platform::setFreeSpaceQueryForTests([asked](const std::string&) { return ++*asked; });
  moveFolders({diskFolder("A")});
  platform::setFreeSpaceQueryForTests({});
  EXPECT_EQ(listed(), Paths({diskFolder("A"), diskFolder("A") + "f"}));
  EXPECT_EQ(*asked, 0);
}

// Runs the scope as the unprivileged user "nobody" when the test runs as root, who reads
// and writes everything; restores root at the end of the scope.
class AsOrdinaryUser {
 public:
  AsOrdinaryUser() : wasRoot_(geteuid() == 0) {
    if (wasRoot_ && seteuid(65534) != 0) throw std::runtime_error("seteuid");
  }
  ~AsOrdinaryUser() {
    if (wasRoot_ && seteuid(0) != 0) std::abort();
  }

 private:
  bool wasRoot_;
};

TEST_F(ScanTest, PassesOverFilesItCouldNotCopyOrDelete) {
  // The tree is made by the test's own user; the scan looks at it as another user. Only the
  // test's own folders are opened to it: never /tmp or anything else above them.
  for (std::string folder = volumes.path("disk"); folder.size() >= volumes.root().size();
       folder = folder.substr(0, folder.rfind('/')))
    chmod(folder.c_str(), 0755);
  volumes.write("disk/A/unreadable", "x");
  volumes.setMode("disk/A/unreadable", 0200);
  volumes.write("disk/A/ok", "1");
  volumes.write("disk/A/Locked/kept", "x");
  volumes.setMode("disk/A/Locked", 0555);
  volumes.setMode("disk/A", 0777);  // the scanning user may delete from A
  if (geteuid() == 0) {
    // Another's file, readable: it could only come back as the scanning user's.
    ASSERT_EQ(chown(volumes.path("disk/A/ok").c_str(), 65534, 65534), 0);
    volumes.write("disk/A/another's", "root's");
  }
  const std::string a = diskFolder("A");
  {
    AsOrdinaryUser user;
    scan({a}, INT64_MAX);
  }
  std::vector<std::string> paths = listed();
  std::sort(paths.begin(), paths.end());
  // The locked folder itself is listed (nothing is deleted from it), its files are not.
  EXPECT_EQ(paths, Paths({a, a + "Locked/", a + "ok"}));
}

// Moving files onto the volume they lie on frees nothing: the staging volume is passed over
// when chosen, when met inside a chosen folder, and where its device is mounted again; the
// status says so before "Did not stock files.".
TEST_F(ScanTest, NeverListsTheStagingVolume) {
  volumes.write("stage/Shelfdex.dat", "db");
  volumes.write("stage/Backup001/F0000001.dat", "staged");
  volumes.write("stage/Other/file", "3");
  volumes.write("disk/A/kept", "1");
  volumes.write("disk/A/again/file", "4");
  volumes.write("stage/Deeper/own", "5");
  layVolumes({testing_support::diskVolume(MoveFolderFixture::disk, 100000, 1),
              testing_support::diskVolume(stage, 100000, 2),
              testing_support::diskVolume(disk("A/again"), 100000, 2),     // stage's device
              testing_support::diskVolume(stage + "/Deeper", 100000, 3)});  // another disk in it
  const std::string base = stage + "/", a = diskFolder("A"), top = volumes.root() + "/";
  const struct {
    Paths chosen, listed;
    bool saysWhy;
  } rows[] = {
      {{base, base + "Backup001/", base + "Other/"}, {}, true},
      {{a + "again/"}, {}, true},
      {{top}, {top}, true},  // holds the staging base (and the disk, another volume)
      {{a}, {a, a + "kept"}, true},
      {{base + "Deeper/"}, {base + "Deeper/own"}, false},
  };
  for (const auto& row : rows) {
    state.clearFiles();
    scan(row.chosen, INT64_MAX);
    Paths paths = listed();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, row.listed) << row.chosen[0];
    const std::vector<std::string> lines = statusLines(status());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2] == folders::kStagingFilesStay, row.saysWhy) << row.chosen[0];
    EXPECT_EQ(lines.back(), "Did not stock files.");
  }
  // A scan that finds enough elsewhere says nothing of what it passed over.
  state.clearFiles();
  scan({a}, 1);
  EXPECT_EQ(statusLines(status()).back(), "Finished");
}

// FAT keeps no file of 4 GiB or more: with a FAT staging volume such a file is passed over.
TEST_F(ScanTest, PassesOverFilesTooLargeForAFatStagingVolume) {
  const std::string a = diskFolder("A");
  for (const auto& [name, size] : {std::pair{"fits", 0xFFFFFFFFLL}, std::pair{"too big", 0x100000000LL}}) {
    volumes.write("disk/A/" + std::string(name), "");
    std::filesystem::resize_file(a + name, size);  // sparse: no disk space taken
  }
  for (const char* type : {"vfat", "ext4"}) {
    platform::Volume staging = testing_support::diskVolume(stage, 100000, 2);
    staging.fsType = type;
    layVolumes({testing_support::diskVolume(MoveFolderFixture::disk, 100000, 1), staging});
    state.clearFiles();
    scan({a}, INT64_MAX);
    std::vector<std::string> paths = listed();
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, std::string(type) == "vfat" ? Paths({a, a + "fits"})
                                                 : Paths({a, a + "fits", a + "too big"})) << type;
  }
}

// Other mounts inside a chosen folder (kernel file systems as /proc and /sys inside "/", a
// RAM disk, the same device bound again) are never entered; kernel file systems are not
// taken when chosen themselves either, a RAM disk's own files are.
TEST_F(ScanTest, NeverEntersTheKernelsOwnFileSystems) {
  volumes.write("disk/A/kept", "1");
  volumes.write("disk/A/bound/twice", "the disk's own files under a second path");
  volumes.write("disk/A/proc/kcore", "pretends to be huge");
  volumes.write("disk/A/sys/power/state", "mem");
  volumes.write("disk/A/shm/scratch", "22");
  platform::Volume proc = testing_support::diskVolume(disk("A/proc"), 0, 7);
  proc.source = "proc";
  proc.fsType = "proc";
  platform::Volume sys = testing_support::diskVolume(disk("A/sys"), 0, 8);
  sys.source = "sysfs";
  sys.fsType = "sysfs";
  platform::Volume shm = testing_support::diskVolume(disk("A/shm"), 0, 9);
  shm.source = "tmpfs";
  shm.fsType = "tmpfs";
  layVolumes({testing_support::diskVolume(MoveFolderFixture::disk, 100000, 1), testing_support::diskVolume(stage, 100000, 2),
              proc, sys, shm});
  const std::string a = diskFolder("A");
  // A RAM disk mounted inside a kernel file system (as /dev/shm inside /dev) is a volume of
  // its own and can be chosen.
  volumes.write("disk/A/sys/ram/own", "333");
  platform::Volume ram = shm;
  ram.mountPoint = disk("A/sys/ram");
  ram.device = 10;
  const platform::Volume bound = testing_support::diskVolume(disk("A/bound"), 100000, 1);
  layVolumes({testing_support::diskVolume(MoveFolderFixture::disk, 100000, 1), testing_support::diskVolume(stage, 100000, 2),
              proc, sys, shm, ram, bound});
  scan({a, a + "proc/", a + "sys/power/", a + "sys/ram/"}, INT64_MAX);
  std::vector<std::string> paths = listed();
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, Paths({a, a + "kept", a + "sys/ram/own"}));
}

}  // namespace
