// The whole road a user takes, through the real window: choose a preset and a staging volume,
// tick a folder, "Move Folder", "GO", then "BACK" in the same run or in a new run after
// dropping Shelfdex.dat. The trees before and after must be the same, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include <QTimer>

#include "app/event_loop.h"
#include "platform/gui_test_access.h"
#include "support/folder_choice.h"
#include "support/gui_helpers.h"
#include "support/database_bytes.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::readFile;
using testing_support::setModifiedNs;
using testing_support::Snapshot;
using testing_support::statusLines;

constexpr size_t kMiB = 1 << 20;

using testing_support::databaseBytes;

class EndToEnd : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    base = tree.path("stage");
    tree.makeFolder("stage");
    // The folder tree shows the volumes of the table: one for the data, one to stage on.
    layVolumes({testing_support::diskVolume(tree.path("data"), 1, 8),
                testing_support::diskVolume(base, 100000, 7)});
    platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  }
  void TearDown() override {
    testing_support::restoreSyscalls();
    AppFixture::TearDown();
  }

  // A video folder as users keep them: nested folders, an empty one, an executable script,
  // names with spaces and letters outside ASCII, times with nanoseconds.
  void layVideoFolder() {
    tree.makeFolder("data/Video/empty");
    const std::string clip = tree.write("data/Video/clip one.mp4", TempTree::patternBytes(3 * kMiB + 1, 5));
    setModifiedNs(clip, 1650000000, 250000000);
    const std::string script = tree.write("data/Video/sub/play.sh", "#!/bin/sh\nexit 0\n");
    tree.setMode("data/Video/sub/play.sh", 0755);
    setModifiedNs(script, 1550000000, 999999999);
    tree.write("data/Video/sub/Ünïcode ß.txt", "text");
    tree.setMode("data/Video/sub/Ünïcode ß.txt", 0640);
    tree.write("data/Video/sub/deeper/empty file", "");
  }

  int64_t videoBytes() const { return 3 * kMiB + 1 + 17 + 4; }

  // Preset, staging volume, the folder ticked, "Move Folder": the list is ready for "GO".
  void chooseAndScan() {
    start();
    chooseItem(ui::kPresetBox, 0);
    int stageItem = -1;
    for (int i = 0; i < platform::itemCount(*gui, ui::kDriveBox); ++i)
      if (platform::itemText(*gui, ui::kDriveBox, i).rfind(base + " ", 0) == 0) stageItem = i;
    ASSERT_GE(stageItem, 0);
    chooseItem(ui::kDriveBox, stageItem);
    pump();
    ASSERT_TRUE(enabled(ui::kMoveFolderButton));
    // A disc's worth of bytes would make a slow test: the need space is what the folder holds.
    state.needSpace = videoBytes();

    testing_support::scheduleFolderChoice(*gui, {tree.folderPath("data/Video")});
    click(ui::kMoveFolderButton);
    pump();
    ASSERT_TRUE(enabled(ui::kGoButton));
    ASSERT_EQ(state.stockSize, videoBytes());
  }

  void expectStagedLayout(const Snapshot& before) {
    EXPECT_EQ(readFile(base + "/Shelfdex.dat"), databaseBytes(state.stockSize, state.files));
    std::set<std::string> expectedNames;
    for (size_t i = 0; i < state.files.size(); ++i) {
      const staging::FileEntry& entry = state.files[i];
      if (entry.kind != staging::kFile) continue;
      const std::string copy = staging::stagedPath(base, static_cast<int64_t>(i)).file;
      expectedNames.insert(platform::filePart(copy));
      EXPECT_EQ(readFile(copy), before.at(entry.path.substr(tree.path("data").size())).bytes);
      EXPECT_EQ(platform::fileSize(entry.path), platform::kNothingThere) << entry.path;
    }
    EXPECT_EQ(expectedNames.size(), 4u);
    const std::vector<std::string> names = tree.list("stage/Backup001");
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expectedNames);
    // The sha1sum and md5sum lists come with the fingerprints of a ticked check.
    std::vector<std::string> top{"Backup001", "Shelfdex-contents.txt", "Shelfdex.dat", "Shelfdex.facts"};
    if (gui->state(ui::kCheckBox) == 1) top.insert(top.end(), {"Shelfdex.md5", "Shelfdex.sha1"});
    EXPECT_EQ(tree.list("stage"), top);
    // The folders stay where they were, emptied of the moved files.
    Snapshot left = snapshot(tree.path("data"));
    for (const auto& [path, fact] : left) EXPECT_TRUE(fact.folder) << path << " was not moved";
    EXPECT_EQ(left.size(), 4u);  // Video, Video/empty, Video/sub, Video/sub/deeper
  }

  void expectAllBack(const Snapshot& before) {
    for (const staging::FileEntry& entry : state.files) {
      if (entry.kind != staging::kFolder) continue;
      EXPECT_EQ(platform::fileDate(entry.path, platform::kModified), entry.modified) << entry.path;
    }
    EXPECT_EQ(snapshot(tree.path("data")), before);
    EXPECT_TRUE(tree.list("stage").empty());
    EXPECT_EQ(statusLines(status()).back(), "Finished");
    EXPECT_EQ(progress(), 100);
    EXPECT_TRUE(platform::shownBoxes(*gui).empty());
  }

  Snapshot snapshot(const std::string& folder) const { return testing_support::snapshot(folder); }

  TempTree tree;
  std::string base;
};

TEST_F(EndToEnd, GoThenBackInTheSameRun) {
  layVideoFolder();
  const Snapshot before = snapshot(tree.path("data"));
  chooseAndScan();

  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  EXPECT_EQ(statusLines(status()).back(), "Backup complete");
  EXPECT_EQ(progress(), 100);
  EXPECT_TRUE(enabled(ui::kBackButton));
  EXPECT_FALSE(enabled(ui::kGoButton));
  expectStagedLayout(before);

  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  expectAllBack(before);
}

TEST_F(EndToEnd, BackInALaterRunByDroppingTheDatabase) {
  layVideoFolder();
  const Snapshot before = snapshot(tree.path("data"));
  chooseAndScan();
  gui->setState(ui::kCheckBox, 0);  // the later run checks; this one copies unchecked
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  expectStagedLayout(before);
  const std::vector<staging::FileEntry> listed = state.files;

  // The program ends and starts again with nothing in memory.
  delete gui;
  gui = new platform::Gui();
  state = staging::State{};
  start();
  dropFiles({tree.path("data/Video/nothing.txt"), base + "/Shelfdex.dat"});
  ASSERT_TRUE(pump());
  ASSERT_EQ(state.files, listed);
  EXPECT_TRUE(enabled(ui::kBackButton));
  EXPECT_TRUE(platform::isDisabled(*gui, ui::kGoButton));
  EXPECT_EQ(statusLines(status()),
            (std::vector<std::string>{"Restore Size 0.00 GB", "Load File Database", "Restore Prepare"}));

  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  expectAllBack(before);
}

// "burnshelf PATH" (a file manager's "Open With") loads the database as a drop of it does.
TEST_F(EndToEnd, BackInALaterRunOpenedWithTheDatabase) {
  layVideoFolder();
  const Snapshot before = snapshot(tree.path("data"));
  chooseAndScan();
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  const std::vector<staging::FileEntry> listed = state.files;

  delete gui;
  gui = new platform::Gui();
  state = staging::State{};
  // The user closes the window it opened with (which stays until the program ends).
  QTimer::singleShot(0, [this] { testing_support::requestClose(*gui, ui::kMainWindow); });
  EXPECT_EQ(app::runMainRoutine(state, *gui, base + "/Shelfdex.dat"), 0);
  ASSERT_EQ(state.files, listed);
  EXPECT_EQ(statusLines(status()),
            (std::vector<std::string>{"Restore Size 0.00 GB", "Load File Database", "Restore Prepare"}));
  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  expectAllBack(before);
}

// Not a check: with BURNSHELF_SCREENSHOT=<file> under an X server (xvfb-run), saves a
// picture of the screen while "GO" copies a file, for the documentation.
TEST_F(EndToEnd, ScreenshotDuringGo) {
  const char* target = std::getenv("BURNSHELF_SCREENSHOT");
  if (!target) GTEST_SKIP() << "set BURNSHELF_SCREENSHOT to take the picture";
  layVideoFolder();
  chooseAndScan();
  bool taken = false;
  const std::string command = std::string("import -window root '") + target + "'";
  testing_support::injectWriteFaults([&](const std::string& path, int64_t offset, size_t) {
    if (path.find("/Backup001/") == std::string::npos) return testing_support::Fault::kPass;
    platform::pause(150);  // a slow disk, so the window is repainted during the file
    if (!taken && offset >= static_cast<int64_t>(2 * kMiB)) {
      taken = std::system(command.c_str()) == 0;
    }
    return testing_support::Fault::kPass;
  });
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  EXPECT_TRUE(taken);
}

}  // namespace
