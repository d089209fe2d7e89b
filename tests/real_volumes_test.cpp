// The whole road on real file systems. tests/real_volumes.sh mounts loop-device volumes in a
// private mount namespace and names them in BURNSHELF_VOLUME_EXT4, _XFS and _VFAT; the
// program reads the real volume table (no seam), so the drive box shows what the kernel
// reports. Without those variables (not root, no loop devices) every case is skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/folder_choice.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::Snapshot;
using testing_support::statusLines;

constexpr int64_t kSecondNs = 1000000000;

// A mounted test volume: its mount point and how finely it keeps last-write times.
struct RealVolume {
  std::string name;        // "ext4", "xfs", "vfat"
  std::string mountPoint;  // no "/" at the end
  int64_t timeStepNs = 1;  // vfat keeps 2-second times
  bool keepsModes = true;  // vfat shows one mode for every file
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

RealVolume volumeFromEnvironment(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  RealVolume volume{name, environment(("BURNSHELF_VOLUME_" + upper).c_str())};
  if (name == "vfat") {
    volume.timeStepNs = 2 * kSecondNs;
    volume.keepsModes = false;
  }
  return volume;
}

// Skips the running case unless the script mounted the volume; the reason names what is missing.
#define REQUIRE_VOLUME(volume)                                                                   \
  if ((volume).mountPoint.empty()) {                                                             \
    const std::string why = environment(("BURNSHELF_ABSENT_" + (volume).name).c_str());        \
    GTEST_SKIP() << "no " << (volume).name << " volume: "                                       \
                 << (why.empty() ? "run tests/real_volumes.sh as root" : why);                  \
  }

// MiB this user can write into, as df shows it: computed here, not by the program's code.
int64_t freeMiB(const std::string& mountPoint) {
  struct statvfs info{};
  if (statvfs(mountPoint.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>((static_cast<unsigned long long>(info.f_bavail) * info.f_frsize) >> 20);
}

class RealVolumes : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    gui->scriptAnswers(std::vector<int>(16, platform::kAnswerOk));
  }

  // A folder as users keep them, in a fresh folder on the volume: nested and empty folders,
  // an empty file, files from a few bytes to several MiB, an executable, names with blanks
  // and letters outside ASCII, times with nanoseconds in the past. Its path ending with "/".
  std::string layFolder(const RealVolume& volume, const std::string& name) {
    const std::string root = volume.mountPoint + "/" + name;
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root + "/empty");
    int64_t bytes = 0;
    auto write = [&](const std::string& relative, size_t size, uint8_t seed, time_t seconds, long ns) {
      const std::string path = root + "/" + relative;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      const std::string content = TempTree::patternBytes(size, seed);
      FILE* out = std::fopen(path.c_str(), "wb");
      ASSERT_NE(out, nullptr) << path;
      ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), out), content.size());
      std::fclose(out);
      testing_support::setModifiedNs(path, seconds, ns);
      bytes += static_cast<int64_t>(size);
    };
    write("clip one.mp4", 6 * kMiB + 123, 1, 1650000000, 250000000);
    write("clip two.mp4", 3 * kMiB, 2, 1651000001, 999999999);
    for (int i = 0; i < 24; ++i)
      write("photos/2023/IMG_" + std::to_string(1000 + i) + ".jpg", 40000 + 7919 * i,
            static_cast<uint8_t>(10 + i), 1680000000 + 3601 * i, 100000 * i);
    write("sub/play.sh", 17, 3, 1550000000, 1);
    if (volume.keepsModes) chmod((root + "/sub/play.sh").c_str(), 0755);
    write("sub/Ünïcode ß.txt", 4, 4, 1500000000, 500000000);
    write("sub/deeper/empty file", 0, 5, 1400000000, 0);
    folderBytes_ = bytes;
    return root + "/";
  }

  // Start-up on the real table, the preset, the staging volume from the drive box, the
  // folder ticked in the folder window, "Move Folder": the list is ready for "GO".
  void chooseAndScan(const RealVolume& stage, const std::string& folder) {
    start();
    chooseItem(app::kPresetBox, 0);
    const int item = driveItem(stage.mountPoint);
    ASSERT_GE(item, 0) << stage.mountPoint << " is not in the drive box";
    chooseItem(app::kDriveBox, item);
    pump();
    ASSERT_TRUE(enabled(app::kMoveFolderButton)) << status();
    ASSERT_EQ(state.stagingBase(), stage.mountPoint);
    // A disc's worth of bytes would make a slow test: the need is what the folder holds.
    state.needSpace = folderBytes_;

    testing_support::scheduleFolderChoice(*gui, {folder});
    click(app::kMoveFolderButton);
    pump();
    ASSERT_TRUE(enabled(app::kGoButton)) << status();
    ASSERT_EQ(state.stockSize, folderBytes_);
  }

  int driveItem(const std::string& mountPoint) {
    for (int i = 0; i < gui->itemCount(app::kDriveBox); ++i)
      if (gui->itemText(app::kDriveBox, i).rfind(mountPoint + " Free ", 0) == 0) return i;
    return -1;
  }

  void go() {
    click(app::kGoButton);
    ASSERT_TRUE(pump()) << status();
    ASSERT_EQ(statusLines(status()).back(), "Backup complete");
    ASSERT_TRUE(enabled(app::kBackButton));
  }

  // Every listed file lies in the staging area and its source is gone. The list holds all the
  // folder's bytes; an empty file the walk meets after the need was reached stays in place.
  void expectStaged(const RealVolume& stage, const Snapshot& before, const std::string& folder) {
    for (int64_t i = 0; i < static_cast<int64_t>(state.files.size()); ++i) {
      const staging::FileEntry& entry = state.files[i];
      if (entry.kind != staging::kFile) continue;
      const std::string copy = staging::stagedPath(stage.mountPoint, i).file;
      EXPECT_EQ(testing_support::readFile(copy), before.at(entry.path.substr(folder.size())).bytes)
          << copy;
      EXPECT_EQ(platform::fileSize(entry.path), platform::kNothingThere) << entry.path;
    }
    for (const auto& [path, fact] : before) {
      if (fact.folder || state.isListed(folder + path)) continue;
      EXPECT_TRUE(fact.bytes.empty()) << path << " was neither listed nor empty";
      EXPECT_EQ(platform::fileSize(folder + path), 0) << path;
    }
    EXPECT_GT(platform::fileSize(stage.mountPoint + "/Shelfdex.dat"), 0);
  }

  // The folder as it was: same names, bytes, modes (where both volumes keep them) and
  // last-write times to the step of the coarser volume; the staging volume is clean again.
  void expectBack(const RealVolume& data, const RealVolume& stage, const Snapshot& before,
                  const std::string& folder) {
    ASSERT_EQ(statusLines(status()).back(), "Finished") << status();
    EXPECT_EQ(progress(), 100);
    EXPECT_TRUE(gui->shownBoxes().empty());
    const Snapshot after = testing_support::snapshot(folder);
    ASSERT_EQ(keys(after), keys(before));
    const int64_t step = std::max(data.timeStepNs, stage.timeStepNs);
    for (const auto& [path, was] : before) {
      const testing_support::FileFacts& now = after.at(path);
      ASSERT_EQ(now.folder, was.folder) << path;
      if (was.folder) continue;
      EXPECT_EQ(now.bytes, was.bytes) << path;
      if (stage.keepsModes) {
        EXPECT_EQ(now.mode, was.mode) << path;
      }
      if (step == 1) {
        EXPECT_EQ(now.modifiedNs, was.modifiedNs) << path;
      } else {
        EXPECT_LT(std::llabs(now.modifiedNs - was.modifiedNs), step) << path;
      }
    }
    // Folders get their recorded dates back after their files returned.
    for (const staging::FileEntry& entry : state.files) {
      if (entry.kind != staging::kFolder) continue;
      EXPECT_EQ(platform::fileDate(entry.path, platform::kModified), entry.modified) << entry.path;
    }
    EXPECT_EQ(platform::fileSize(stage.mountPoint + "/Shelfdex.dat"), platform::kNothingThere);
    EXPECT_EQ(platform::fileSize(stage.mountPoint + "/Backup001"), platform::kNothingThere);
  }

  static std::vector<std::string> keys(const Snapshot& snapshot) {
    std::vector<std::string> names;
    for (const auto& [path, fact] : snapshot) names.push_back(path);
    return names;
  }

  // GO and BACK in one run (fingerprints checked), then GO without the check and BACK in a
  // new program state that loads the dropped Shelfdex.dat (checked again).
  // The road from the volume of one type to that of another, skipped when either is absent.
  void roadBetween(const char* dataType, const char* stageType) {
    const RealVolume data = volumeFromEnvironment(dataType);
    const RealVolume stage = volumeFromEnvironment(stageType);
    REQUIRE_VOLUME(data);
    REQUIRE_VOLUME(stage);
    road(data, stage);
  }

  void road(const RealVolume& data, const RealVolume& stage) {
    const std::string folder = layFolder(data, "Video");
    if (HasFatalFailure()) return;
    const Snapshot before = testing_support::snapshot(folder);

    chooseAndScan(stage, folder);
    if (HasFatalFailure()) return;
    go();
    if (HasFatalFailure()) return;
    expectStaged(stage, before, folder);
    click(app::kBackButton);
    ASSERT_TRUE(pump()) << status();
    expectBack(data, stage, before, folder);
    if (HasFatalFailure()) return;

    restart();
    chooseAndScan(stage, folder);
    if (HasFatalFailure()) return;
    gui->setState(app::kCheckBox, 0);
    go();
    if (HasFatalFailure()) return;
    expectStaged(stage, before, folder);
    const std::vector<staging::FileEntry> listed = state.files;

    restart();
    start();
    dropFiles({stage.mountPoint + "/Shelfdex.dat"});
    ASSERT_TRUE(pump());
    ASSERT_EQ(state.files, listed);
    ASSERT_EQ(state.stagingBase(), stage.mountPoint);
    ASSERT_TRUE(enabled(app::kBackButton));
    click(app::kBackButton);
    ASSERT_TRUE(pump()) << status();
    expectBack(data, stage, before, folder);
    std::filesystem::remove_all(folder);
  }

  // The program ends and starts again with nothing in memory.
  void restart() {
    delete gui;
    gui = new platform::Gui();
    gui->scriptAnswers(std::vector<int>(16, platform::kAnswerOk));
    state = staging::State{};
  }

  static constexpr size_t kMiB = 1 << 20;
  int64_t folderBytes_ = 0;
};

TEST_F(RealVolumes, DriveBoxListsTheMountedVolumesWithTheirFreeSpace) {
  const RealVolume ext4 = volumeFromEnvironment("ext4");
  const RealVolume xfs = volumeFromEnvironment("xfs");
  REQUIRE_VOLUME(ext4);
  REQUIRE_VOLUME(xfs);
  start();
  for (const RealVolume& volume : {ext4, xfs}) {
    const int item = driveItem(volume.mountPoint);
    ASSERT_GE(item, 0) << volume.mountPoint << " is not in the drive box";
    const int64_t mib = freeMiB(volume.mountPoint);
    EXPECT_EQ(state.drives[item].free, mib) << volume.name;
    // The box shows gigabytes with one decimal, as df -m / 1024 gives them.
    const std::string shown = gui->itemText(app::kDriveBox, item);
    const double gigabytes = std::stod(shown.substr(volume.mountPoint.size() + 6));
    EXPECT_NEAR(gigabytes, static_cast<double>(mib) / 1024.0, 0.051) << shown;
  }
  // The volume the program runs from is never offered for staging.
  EXPECT_LT(driveItem(state.homeDrive), 0);
}

TEST_F(RealVolumes, RoadFromExt4ToXfsAndBack) { roadBetween("ext4", "xfs"); }
TEST_F(RealVolumes, RoadFromXfsToExt4AndBack) { roadBetween("xfs", "ext4"); }
TEST_F(RealVolumes, RoadFromExt4ToVfatAndBack) { roadBetween("ext4", "vfat"); }
TEST_F(RealVolumes, RoadFromVfatToExt4AndBack) { roadBetween("vfat", "ext4"); }

}  // namespace
