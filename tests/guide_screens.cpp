// Takes the user's guide's pictures: one session walked the way a user walks it, on the real
// volume table, under an X server with a window manager. Not a test of the program; run by
// scripts/screenshots, which lays out the volumes and the folders and sets
//   BURNSHELF_SHOTS_DIR     where the PNG files go
//   BURNSHELF_SHOTS_STAGE   mount point of the staging volume to choose
//   BURNSHELF_SHOTS_FOLDERS the folders to tick, each ending with "/", joined by ":"
//   BURNSHELF_SHOTS_SIBLINGS mount points of disks under one parent to show chosen, by ":"
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gui_test_access.h"
#include "support/folder_choice.h"
#include "support/staging_fixture.h"

namespace {

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator))
    if (!part.empty()) parts.push_back(part);
  return parts;
}

int64_t bytesIn(const std::string& folder) {
  int64_t bytes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) bytes += static_cast<int64_t>(entry.file_size());
  return bytes;
}

class GuideScreens : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    shots = environment("BURNSHELF_SHOTS_DIR");
    stage = environment("BURNSHELF_SHOTS_STAGE");
    folders = split(environment("BURNSHELF_SHOTS_FOLDERS"), ':');
  }
  void TearDown() override {
    testing_support::restoreSyscalls();
    AppFixture::TearDown();
  }

  // Saves the screen inside area (plus a small margin) as name.png, once it has been painted.
  void shoot(const std::string& name, QRect area) {
    QTest::qWait(600);
    // Window geometry is in device-independent pixels; the screen has ratio more of them.
    const qreal ratio = platform::qtWindow(*gui, ui::kMainWindow)->devicePixelRatioF();
    area = area.adjusted(-6, -6, 6, 6);
    area = QRect(qRound(area.x() * ratio), qRound(area.y() * ratio), qRound(area.width() * ratio),
                 qRound(area.height() * ratio));
    const std::string command = "import -window root -crop " + std::to_string(area.width()) + "x" +
                                std::to_string(area.height()) + "+" + std::to_string(area.x()) +
                                "+" + std::to_string(area.y()) + " +repage '" + shots + "/" + name +
                                ".png'";
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
  }
  QRect mainWindow() { return platform::qtWindow(*gui, ui::kMainWindow)->frameGeometry(); }
  // A window with the title bar and border the window manager gave it, as name.png.
  void shootWindow(const std::string& name, QWidget* window) {
    QTest::qWait(600);
    const std::string command = "import -window " + std::to_string(window->winId()) +
                                " -frame '" + shots + "/" + name + ".png'";
    EXPECT_EQ(std::system(command.c_str()), 0) << name;
  }
  void shootMain(const std::string& name) { shoot(name, mainWindow()); }

  int driveItem(const std::string& mountPoint) {
    for (int i = 0; i < platform::itemCount(*gui, ui::kDriveBox); ++i)
      if (platform::itemText(*gui, ui::kDriveBox, i).rfind(mountPoint + " Free ", 0) == 0) return i;
    return -1;
  }

  // Slows the writes of files whose path holds part, and takes one picture of the main
  // window once two MiB of such a file are written: the window mid-copy.
  void shootDuringCopy(const std::string& name, const std::string& part) {
    taken = false;
    testing_support::injectWriteFaults([this, name, part](const std::string& path, int64_t offset,
                                                          size_t) {
      if (taken || path.find(part) == std::string::npos) return testing_support::Fault::kPass;
      platform::pause(120);  // a slow disk, so the window is repainted during the file
      if (offset >= static_cast<int64_t>(2 << 20)) {
        shootMain(name);
        taken = true;
      }
      return testing_support::Fault::kPass;
    });
  }

  std::string shots, stage;
  std::vector<std::string> folders;
  bool taken = false;
};

TEST_F(GuideScreens, OneSession) {
  if (shots.empty() || stage.empty() || folders.empty())
    GTEST_SKIP() << "run scripts/screenshots, which sets BURNSHELF_SHOTS_*";
  platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  start();
  pump();
  shootMain("main-window");

  // The drive box open, its volumes listed with their free space.
  chooseItem(ui::kPresetBox, 2);
  auto* drives = qobject_cast<QComboBox*>(platform::qtWidget(*gui, ui::kDriveBox));
  ASSERT_NE(drives, nullptr);
  const int item = driveItem(stage);
  ASSERT_GE(item, 0) << stage << " is not in the drive box";
  drives->showPopup();
  QTest::qWait(300);
  shoot("choose-volume", mainWindow().united(drives->view()->window()->frameGeometry()));
  drives->hidePopup();
  // Two disks under one parent (/media/alice/...): the closed box names each by its own name.
  std::vector<std::string> parts;
  for (const std::string& disk : split(environment("BURNSHELF_SHOTS_SIBLINGS"), ':')) {
    const int sibling = driveItem(disk);
    ASSERT_GE(sibling, 0) << disk << " is not in the drive box";
    chooseItem(ui::kDriveBox, sibling);
    pump();
    const std::string name = "sibling-" + std::to_string(parts.size());
    shootMain(name);
    parts.push_back(shots + "/" + name + ".png");
  }
  if (!parts.empty()) {
    std::string command = "convert";
    for (const std::string& part : parts) command += " '" + part + "'";
    command += " +append '" + shots + "/drive-box-two-disks.png'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    for (const std::string& part : parts) std::filesystem::remove(part);
  }

  chooseItem(ui::kDriveBox, item);
  pump();
  ASSERT_TRUE(enabled(ui::kMoveFolderButton)) << status();
  shootMain("volume-chosen");

  // A small example folder stands in for a disc's worth of files.
  int64_t bytes = 0;
  for (const std::string& folder : folders) bytes += bytesIn(folder);
  state.needSpace = bytes;

  testing_support::scheduleInFolderWindow(*gui, [&](testing_support::FolderWindowUser& user) {
    for (const std::string& folder : folders) ASSERT_TRUE(user.toggle(folder)) << folder;
    shootWindow("folder-window", platform::qtWindow(*gui, user.window));
  });
  click(ui::kMoveFolderButton);
  pump();
  ASSERT_TRUE(enabled(ui::kGoButton)) << status();
  shootMain("scan-finished");

  shootDuringCopy("go-running", "/Backup001/");
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  EXPECT_TRUE(taken);
  testing_support::restoreSyscalls();
  shootMain("backup-complete");

  // Later: a new run of the program, Shelfdex.dat dropped on its window.
  delete gui;
  gui = new platform::Gui();
  platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  state = staging::State{};
  start();
  pump();
  dropFiles({stage + "/Shelfdex.dat"});
  ASSERT_TRUE(pump());
  ASSERT_TRUE(enabled(ui::kBackButton));
  shootMain("restore-dropped");

  shootDuringCopy("back-running", folders.front());
  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  EXPECT_TRUE(taken);
  testing_support::restoreSyscalls();
  shootMain("restore-finished");
}

}  // namespace
