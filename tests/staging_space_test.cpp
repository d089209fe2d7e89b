// Presets, the staging volumes offered, and the choice of preset and volume in the window.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "ui/window.h"
#include "platform/gui_test_access.h"
#include "platform/gui.h"
#include "staging/space.h"
#include "support/app_fixture.h"

using testing_support::diskVolume;

TEST(Presets, GiveTheirLabelsAndNeedSpaces) {
  const struct {
    const char* item;
    const char* label;
    int64_t needSpace;
  } rows[] = {
      {"DVD 4.7 GB", "Need Space> 4.9 GB", 5261334937},     {"DVD 8.5 GB", "Need Space> 8.7 GB", 9341553868},
      {"BD 25 GB", "Need Space> 25.2 GB", 27058293965},     {"BD 50 GB", "Need Space> 50.2 GB", 53901839565},
      {"Any 75 GB", "Need Space> 75.2 GB", 80745385165},    {"Any 100 GB", "Need Space> 100.2 GB", 107588930765},
      {"Any 125 GB", "Need Space> 125.2 GB", 134432476365}, {"Any 150 GB", "Need Space> 150.2 GB", 161276021965},
      {"Any 175 GB", "Need Space> 175.2 GB", 188119567565}, {"Any 200 GB", "Need Space> 200.2 GB", 214963113165},
  };
  for (int i = 0; i < staging::kPresetCount; ++i) {
    const staging::Preset preset = staging::preset(i);
    EXPECT_EQ(preset.item, rows[i].item);
    EXPECT_EQ(preset.needLabel, rows[i].label);
    EXPECT_EQ(preset.needSpace, rows[i].needSpace) << preset.item;
  }
  EXPECT_TRUE(staging::preset(-1).item.empty());
  EXPECT_TRUE(staging::preset(10).item.empty());
}

TEST(StagingDrives, OfferOnlyVolumesThatKeepDataAndAreNotHome) {
  auto volume = [](std::string mount, std::string source, std::string type, bool rw, uint64_t device, int32_t free) {
    return platform::Volume{mount, source, type, rw, device, free};
  };
  const std::vector<platform::Volume> table = {
      volume("/", "/dev/vda1", "ext4", true, 1, 9000),
      volume("/srv/bind-of-root", "/dev/vda1", "ext4", true, 1, 9000),
      volume("/tmp", "tmpfs", "tmpfs", true, 2, 9000),
      volume("/media/usb", "/dev/sdb1", "vfat", true, 3, 20000),
      volume("/media/cdrom", "/dev/sr0", "iso9660", false, 4, 700),
      volume("/media/ro", "/dev/sdc1", "ext4", false, 5, 9000),
      volume("/mnt/data", "/dev/sdd1", "ext4", true, 6, 1),
      volume("/mnt/data/again", "/dev/sdd1", "ext4", true, 6, 1),
      volume("/mnt/full", "/dev/sde1", "ext4", true, 7, 0),
      volume("/mnt/share", "server:/export", "nfs4", true, 8, 500),
      volume("/mnt/over", "overlay", "overlay", true, 9, 500),
      volume("/A", "/dev/sdf1", "xfs", true, 10, 100),
  };
  const std::vector<staging::DriveEntry> drives = staging::stagingDrives(table, "/");
  std::vector<std::string> roots;
  for (const auto& drive : drives) roots.push_back(drive.root);
  EXPECT_EQ(roots, (std::vector<std::string>{"/A", "/media/usb", "/mnt/data", "/mnt/share"}));
  EXPECT_EQ(staging::driveEntryText(drives[2]), "/mnt/data Free 0.0 GB");
  EXPECT_EQ(staging::driveEntryText({"/", 126876}), "/ Free 123.9 GB");
}

class SpaceTest : public testing_support::AppFixture {
 protected:
  // The program runs from "/" (12345 MiB free); two staging volumes with the given room.
  void startWith(int32_t firstMiB, int32_t secondMiB) {
    layVolumes({diskVolume("/", 12345, 1), diskVolume("/media/a", firstMiB, 2), diskVolume("/media/b", secondMiB, 3)});
    start();
  }
};

TEST_F(SpaceTest, StartsWithBd25AndTheVolumesListed) {
  startWith(25805, 1);
  EXPECT_EQ(gui->text(ui::kPresetBox), "BD 25 GB");
  EXPECT_EQ(gui->text(ui::kNeedLabel), "Need Space> 25.2 GB");
  EXPECT_EQ(gui->text(ui::kFreeLabel), "Free space> 12 GB");
  EXPECT_EQ(state.needSpace, 27058293965);
  ASSERT_EQ(platform::itemCount(*gui, ui::kDriveBox), 2);
  EXPECT_EQ(platform::itemText(*gui, ui::kDriveBox, 0), "/media/a Free 25.2 GB");
  EXPECT_EQ(platform::itemText(*gui, ui::kDriveBox, 1), "/media/b Free 0.0 GB");
  EXPECT_EQ(gui->state(ui::kDriveBox), -1);
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));
}

TEST_F(SpaceTest, AcceptsAVolumeOnlyWithMoreRoomThanTheNeed) {
  const struct {
    int32_t freeMiB;
    bool accepted;
    int progress;
  } cases[] = {{25805, true, 99}, {25804, false, 0}, {51610, true, 49}};
  for (const auto& c : cases) {
    startWith(c.freeMiB, 1);
    chooseItem(ui::kDriveBox, 0);
    pump();
    EXPECT_EQ(state.stagingBase(), "/media/a") << c.freeMiB;
    EXPECT_EQ(enabled(ui::kMoveFolderButton), c.accepted) << c.freeMiB;
    EXPECT_EQ(progress(), c.progress) << c.freeMiB;
    EXPECT_EQ(status(), c.accepted ? "Please select Folder, Click 'Move Folder'.\n\r" : "Could you change drive?\n\r")
        << c.freeMiB;
    TearDown();  // a fresh program for the next volume
    SetUp();
    state = staging::State();
  }
}

TEST_F(SpaceTest, ChangingThePresetReChecksTheChosenVolume) {
  startWith(30000, 60000);
  chooseItem(ui::kPresetBox, 0);
  pump();
  EXPECT_EQ(gui->text(ui::kNeedLabel), "Need Space> 4.9 GB");
  EXPECT_EQ(state.needSpace, 5261334937);
  EXPECT_EQ(status(), "Could you change drive?\n\r");
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));

  chooseItem(ui::kDriveBox, 0);
  pump();
  EXPECT_TRUE(enabled(ui::kMoveFolderButton));
  chooseItem(ui::kPresetBox, 3);  // BD 50 GB needs more than /media/a holds
  pump();
  EXPECT_EQ(gui->text(ui::kNeedLabel), "Need Space> 50.2 GB");
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));
  chooseItem(ui::kDriveBox, 1);
  pump();
  EXPECT_EQ(state.stagingBase(), "/media/b");
  EXPECT_TRUE(enabled(ui::kMoveFolderButton));
  chooseItem(ui::kPresetBox, 9);
  pump();
  EXPECT_EQ(gui->text(ui::kNeedLabel), "Need Space> 200.2 GB");
  EXPECT_EQ(state.needSpace, 214963113165);
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));
  EXPECT_EQ(state.stagingBase(), "/media/b");  // kept even without room
}

TEST_F(SpaceTest, NoVolumeLeavesMoveFolderDisabled) {
  layVolumes({diskVolume("/", 0, 1)});
  start();
  EXPECT_EQ(platform::itemCount(*gui, ui::kDriveBox), 0);
  EXPECT_EQ(gui->text(ui::kFreeLabel), "Free space> 0 GB");
  chooseItem(ui::kPresetBox, 1);
  pump();
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));
}

// Start-up asks each candidate volume and the home drive once, all at a time, and a volume
// that does not answer in time (a share whose server is gone) is left out of the drive box.
TEST_F(SpaceTest, StartUpAsksEachCandidateOnceAndWaitsForNoDeadShare) {
  struct Asked {
    std::mutex mutex;
    std::condition_variable released;
    bool over = false;
    std::map<std::string, int> calls;
  };
  auto asked = std::make_shared<Asked>();
  platform::setFreeSpaceQueryForTests([asked](const std::string& mountPoint) {
    std::unique_lock<std::mutex> lock(asked->mutex);
    ++asked->calls[mountPoint];
    if (mountPoint == "/mnt/dead")  // hangs until the test is over
      asked->released.wait_for(lock, std::chrono::seconds(30), [&] { return asked->over; });
    return mountPoint == "/" ? 12345 : 30000;
  });
  platform::Volume tmp = diskVolume("/var/ram", 9000, 4);  // holds no checkout: not the home drive
  tmp.source = tmp.fsType = "tmpfs";
  layVolumes({diskVolume("/", 0, 1), diskVolume("/media/a", 0, 2), diskVolume("/media/a/bound", 0, 2),
              diskVolume("/mnt/dead", 0, 3), tmp, diskVolume("/srv/root-again", 0, 1)});
  const auto begin = std::chrono::steady_clock::now();
  start();
  const auto waited = std::chrono::steady_clock::now() - begin;
  {
    std::lock_guard<std::mutex> lock(asked->mutex);
    asked->over = true;
    EXPECT_EQ(asked->calls, (std::map<std::string, int>{{"/", 1}, {"/media/a", 1}, {"/mnt/dead", 1}}));
  }
  asked->released.notify_all();
  platform::setFreeSpaceQueryForTests({});
  EXPECT_LT(waited, std::chrono::milliseconds(platform::kFreeSpaceWaitMs + 1000));
  ASSERT_EQ(platform::itemCount(*gui, ui::kDriveBox), 1);
  EXPECT_EQ(platform::itemText(*gui, ui::kDriveBox, 0), "/media/a Free 29.3 GB");
  EXPECT_EQ(gui->text(ui::kFreeLabel), "Free space> 12 GB");
}
