// The scan, delete-folder and the whole road of GO and BACK on real mounts: RAM disks, bind
// mounts of the same device and of a folder into itself, inside chosen folders and trees. tests/mounts.sh runs this in a
// private mount namespace as root; the program reads the real volume table (no seam).
// Elsewhere every case is skipped.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "folders/scan.h"
#include "platform/gui_test_access.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::statusLines;
using Paths = std::vector<std::string>;

class Mounts : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    const char* inside = std::getenv("BURNSHELF_MOUNT_NAMESPACE");
    if (!inside || std::string(inside) != "1") GTEST_SKIP() << "run tests/mounts.sh as root";
    AppFixture::SetUp();
    platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
    start();
    // A RAM disk as the staging volume, with room to spare.
    stage = tree.makeFolder("stage");
    stage.pop_back();
    ramDisk(stage);
    state.drives = {staging::DriveEntry{stage, 100000}};
    state.currentDrive = 0;
  }
  void TearDown() override {
    for (auto point = points_.rbegin(); point != points_.rend(); ++point) umount2(point->c_str(), MNT_DETACH);
    if (gui) AppFixture::TearDown();
  }

  void ramDisk(const std::string& point) {
    std::filesystem::create_directories(point);
    ASSERT_EQ(mount("tmpfs", point.c_str(), "tmpfs", 0, "size=64m,mode=0755"), 0) << point;
    points_.push_back(point);
  }
  // Binds from (a folder or a file) at point, which must exist already for a file.
  void bind(const std::string& from, const std::string& point) {
    if (!std::filesystem::exists(point)) std::filesystem::create_directories(point);
    ASSERT_EQ(mount(from.c_str(), point.c_str(), nullptr, MS_BIND, nullptr), 0) << point;
    points_.push_back(point);
  }

  void scan(Paths chosen, int64_t needSpace) {
    state.clearFiles();
    state.folders = std::move(chosen);
    state.needSpace = needSpace;
    state.stockSize = 0;
    folders::scanChosenFolders(state, *gui);
  }
  Paths listed() const {
    Paths paths;
    for (const staging::FileEntry& entry : state.files) paths.push_back(entry.path);
    std::sort(paths.begin(), paths.end());
    return paths;
  }

  TempTree tree;
  std::string stage;  // mount point of the staging RAM disk, no "/" at the end

 private:
  std::vector<std::string> points_;
};

// Another volume, a bind mount of the same device, the chosen folder bound into itself and
// a bound file are all passed over, as du -x passes them.
TEST_F(Mounts, TheScanStaysOnTheChosenFoldersMount) {
  const std::string a = tree.makeFolder("data/A");
  tree.write("data/A/kept", "kept");
  tree.write("other/file", "the same bytes under a second path");
  tree.write("data/A/file place", "covered");
  ramDisk(a + "ram");
  tree.write("data/A/ram/scratch", "on a RAM disk");
  bind(tree.path("other"), a + "bound");
  bind(a, a + "self");
  bind(tree.path("other/file"), a + "file place");
  scan({a}, INT64_MAX);
  EXPECT_EQ(listed(), Paths({a, a + "kept"}));
  EXPECT_EQ(statusLines(status()).back(), "Did not stock files.");
}

// The staging volume chosen itself, bound elsewhere and chosen there, and bound inside a
// chosen folder: nothing of it is listed, and the status says why.
TEST_F(Mounts, TheScanNeverListsTheStagingVolume) {
  tree.write("stage/Photos/p1.jpg", "photo");
  const std::string b = tree.makeFolder("data/B");
  bind(stage + "/Photos", b + "photos");
  bind(stage + "/Photos", tree.path("elsewhere"));
  const struct {
    std::string chosen;
    Paths listed;
  } rows[] = {{stage + "/Photos/", {}}, {tree.folderPath("elsewhere"), {}}, {b, {b}}};
  for (const auto& row : rows) {
    scan({row.chosen}, INT64_MAX);
    EXPECT_EQ(listed(), row.listed) << row.chosen;
    const std::vector<std::string> lines = statusLines(status());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], folders::kStagingFilesStay) << row.chosen;
    EXPECT_EQ(lines.back(), "Did not stock files.");
  }
}

TEST_F(Mounts, DeleteFolderNeverCrossesAMount) {
  tree.write("doomed/a.txt", "a");
  tree.write("doomed/sub/b.txt", "b");
  tree.write("keep/precious", "precious");
  bind(tree.path("keep"), tree.path("doomed/bound"));  // the same device
  ramDisk(tree.path("doomed/ram"));
  tree.write("doomed/ram/scratch", "scratch");
  EXPECT_EQ(platform::deleteFolder(tree.folderPath("doomed")), 0) << "the mount points keep it";
  EXPECT_EQ(tree.read("keep/precious"), "precious");
  EXPECT_EQ(tree.read("doomed/ram/scratch"), "scratch");
  EXPECT_EQ(tree.list("doomed"), Paths({"bound", "ram"}));
}

// GO and BACK of a folder holding a bind mount, a hard-linked file, a sparse file and another
// user's private folder and file, which the user removes once emptied: every file ends where
// it was, byte for byte, hole for hole and owner for owner, the folder with its mode and
// owner, and the linked names are still one file.
TEST_F(Mounts, GoAndBackLeaveBindMountsHardLinksHolesAndOwnersAsTheyWere) {
  const std::string a = tree.makeFolder("data/A");
  tree.write("data/A/movie", TempTree::patternBytes(300000));
  tree.write("data/A/Sub/notes", "notes");
  const std::string linked = tree.write("data/A/linked", "linked");
  ASSERT_EQ(link(linked.c_str(), (a + "Sub/linked too").c_str()), 0);
  tree.write("other/shown twice", "bound");
  bind(tree.path("other"), a + "bound");
  const std::string sparse = tree.sparse("data/A/disk.img", 16 << 20, {{1 << 20, "boot"}});
  const std::string theirs = tree.write("data/A/Theirs/theirs", "their own");
  for (const std::string& path : {theirs, a + "Theirs"}) ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  tree.setMode("data/A/Theirs/theirs", 0600);
  tree.setMode("data/A/Theirs", 0700);
  const testing_support::Snapshot before = testing_support::snapshot(a);
  const platform::Ownership folder = platform::ownershipOf(a + "Theirs"), file = platform::ownershipOf(theirs);

  scan({a}, 300000 + 5 + (16 << 20) + 9);
  ASSERT_TRUE(enabled(ui::kGoButton)) << status();
  EXPECT_EQ(listed(), Paths({a, a + "Sub/", a + "Sub/notes", a + "Theirs/", theirs, sparse, a + "movie"}));
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  ASSERT_EQ(statusLines(status()).back(), "Backup complete") << status();
  EXPECT_EQ(tree.read("other/shown twice"), "bound");
  EXPECT_FALSE(tree.exists("data/A/movie"));
  ASSERT_EQ(rmdir((a + "Theirs").c_str()), 0);
  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  ASSERT_EQ(statusLines(status()).back(), "Finished") << status();
  EXPECT_EQ(testing_support::snapshot(a), before);
  EXPECT_LE(TempTree::allocated(sparse), 256 << 10);
  EXPECT_EQ(platform::ownershipOf(a + "Theirs"), folder);
  EXPECT_EQ(platform::ownershipOf(theirs), file);
  struct stat one{}, two{};
  ASSERT_EQ(stat(linked.c_str(), &one), 0);
  ASSERT_EQ(stat((a + "Sub/linked too").c_str(), &two), 0);
  EXPECT_EQ(one.st_ino, two.st_ino);
  EXPECT_EQ(one.st_nlink, 2u);
}

// The disk the files left is not mounted when BACK comes: its empty mount point is on the
// disk below. Nothing is restored there; once the disk is mounted again, BACK finishes.
TEST_F(Mounts, BackWaitsForTheVolumeTheFilesLeft) {
  const std::string disk = tree.path("disk"), point = tree.path("data/disk");
  ramDisk(disk);  // the disk itself, kept mounted out of sight
  tree.write("disk/Video/clip", TempTree::patternBytes(5000));
  bind(disk, point);
  const std::string video = point + "/Video/";
  const testing_support::Snapshot before = testing_support::snapshot(point);
  scan({video}, 5000);
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  ASSERT_EQ(statusLines(status()).back(), "Backup complete") << status();

  ASSERT_EQ(umount2(point.c_str(), 0), 0);
  click(ui::kBackButton);
  EXPECT_FALSE(pump());
  EXPECT_EQ(statusLines(status()).back(), "Volume not found: " + video);
  EXPECT_TRUE(tree.list("data/disk").empty());  // nothing made on the disk below

  bind(disk, point);
  gui->closeWindow(ui::kMainWindow);
  state = staging::State();
  start();
  dropFiles({stage + "/Shelfdex.dat"});
  ASSERT_TRUE(pump());
  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  EXPECT_EQ(statusLines(status()).back(), "Finished") << status();
  EXPECT_EQ(testing_support::snapshot(point), before);
}

}  // namespace
