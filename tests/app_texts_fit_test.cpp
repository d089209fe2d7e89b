// Every text a user has to read fits where it is shown, measured with the real fonts: the
// status messages of a whole session on volumes with long mount points, and the drive box.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QComboBox>
#include <QTimer>

#include <set>
#include <string>
#include <vector>

#include "platform/gui_test_access.h"
#include "support/folder_choice.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::diskVolume;
using testing_support::statusLines;

// Mount points as desktops name USB disks and backup drives.
const std::string kSandisk = "/media/alice/SANDISK ULTRA 64GB";
const std::string kBackup = "/mnt/backup-disk-2";
const std::string kPassport = "/media/alice/WD My Passport Ultra 4TB Photo Archive 2019-2024";

// Each status text as the user gets to see it (looked at whenever events are handled),
// and those of them that are not shown whole.
class StatusWatch {
 public:
  explicit StatusWatch(platform::Gui& gui) : gui_(gui) {
    QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
    timer_.start(0);
  }
  void look() {
    if (!platform::qtWidget(gui_, ui::kStatusText)) return;
    const std::string text = gui_.text(ui::kStatusText);
    if (!seen.empty() && seen.back() == text) return;
    seen.push_back(text);
    if (!platform::shownWhole(gui_, ui::kStatusText)) cut.push_back(text);
  }
  std::vector<std::string> seen, cut;

 private:
  platform::Gui& gui_;
  QTimer timer_;
};

class TextsFit : public testing_support::AppFixture {
 protected:
  void TearDown() override {
    testing_support::restoreSyscalls();
    AppFixture::TearDown();
  }
  int driveItem(const std::string& mountPoint) {
    for (int i = 0; i < platform::itemCount(*gui, ui::kDriveBox); ++i)
      if (platform::itemText(*gui, ui::kDriveBox, i).rfind(mountPoint + " Free ", 0) == 0) return i;
    return -1;
  }
  TempTree tree;
};

TEST_F(TextsFit, DriveBoxTellsWhichVolumeAndItsRoom) {
  std::vector<platform::Volume> volumes = {
      diskVolume("/", 20000, 1), diskVolume(kSandisk, 58712, 2), diskVolume(kBackup, 1900321, 3),
      diskVolume("/mnt/backup-disk-3", 1800123, 4), diskVolume(kPassport, 3815000, 5)};
  for (uint64_t n = 10; volumes.size() < 21; ++n)
    volumes.push_back(diskVolume("/mnt/archive-" + std::to_string(n), 1000 * int(n), n));
  layVolumes(volumes);
  start();
  ASSERT_EQ(platform::itemCount(*gui, ui::kDriveBox), 20);
  auto* box = qobject_cast<QComboBox*>(platform::qtWidget(*gui, ui::kDriveBox));

  // The closed box names the volume as a file manager does, by its mount point's last part
  // (shortened in its middle where it must), then the free figure: two disks under one long
  // parent are told apart. The tooltip and the open list keep the whole text.
  const std::pair<std::string, std::string> names[] = {
      {kSandisk, "57.3"}, {kBackup, "1855.8"}, {"/mnt/backup-disk-3", "1757.9"}, {kPassport, "3725.6"}};
  std::set<std::string> shownNames;
  for (const auto& [mountPoint, figure] : names) {
    const int item = driveItem(mountPoint);
    ASSERT_GE(item, 0) << mountPoint;
    gui->setState(ui::kDriveBox, item);
    const std::string text = platform::itemText(*gui, ui::kDriveBox, item);
    const std::string name = mountPoint.substr(mountPoint.rfind('/') + 1);
    const QString shown = QString::fromStdString(platform::shownText(*gui, ui::kDriveBox));
    const QString tail = QString::fromStdString(" " + figure + " GB");
    ASSERT_TRUE(shown.endsWith(tail)) << shown.toStdString();
    const QStringList parts = shown.chopped(tail.size()).split(QChar(0x2026));  // "..."
    ASSERT_LE(parts.size(), 2) << shown.toStdString();
    EXPECT_TRUE(QString::fromStdString(name).startsWith(parts.front()) && !parts.front().isEmpty())
        << shown.toStdString();
    EXPECT_TRUE(QString::fromStdString(name).endsWith(parts.back()) && !parts.back().isEmpty())
        << shown.toStdString();
    shownNames.insert(shown.chopped(tail.size()).toStdString());
    EXPECT_EQ(box->toolTip().toStdString(), text);
    EXPECT_EQ(box->itemData(item, Qt::ToolTipRole).toString().toStdString(), text);
  }
  EXPECT_EQ(shownNames.size(), std::size(names));

  // The open list: below the box, every item whole, both within 350 pixels.
  box->showPopup();
  const QRect list = box->view()->window()->geometry();
  const QRect closed(box->mapToGlobal(QPoint(0, 0)), box->size());
  EXPECT_GE(list.top(), closed.bottom());
  EXPECT_LE(list.bottom() - closed.top() + 1, 350);
  EXPECT_TRUE(platform::shownWhole(*gui, ui::kDriveBox));
  box->hidePopup();
}

// A session on a USB disk with a long name: every message of the scan, "GO" and "BACK",
// including "Did not stock files." after a folder without files, is shown whole.
TEST_F(TextsFit, EveryStatusMessageOfASessionIsShownWhole) {
  const std::string disk = tree.makeFolder(kPassport.substr(1));
  const std::string stage = tree.makeFolder(kBackup.substr(1));
  layVolumes({diskVolume(disk.substr(0, disk.size() - 1), 100000, 8),
              diskVolume(stage.substr(0, stage.size() - 1), 100000, 7)});
  const std::string empty = tree.makeFolder(kPassport.substr(1) + "/Empty album 2024");
  const std::string photos = tree.makeFolder(kPassport.substr(1) + "/Photos 2019-2024/Summer");
  for (const char* name : {"IMG_20190704_183512 Family at the lake.JPG", "WWWWWWWW MMMMMMMM.mov"})
    tree.write(kPassport.substr(1) + "/Photos 2019-2024/Summer/" + name, std::string(70000, 'x'));
  platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  StatusWatch watch(*gui);
  start();
  chooseItem(ui::kPresetBox, 0);
  chooseItem(ui::kDriveBox, driveItem(stage.substr(0, stage.size() - 1)));
  pump();
  state.needSpace = 140000;

  testing_support::scheduleFolderChoice(*gui, {empty});
  click(ui::kMoveFolderButton);
  pump();
  EXPECT_EQ(statusLines(status()).back(), "Did not stock files.");
  testing_support::scheduleFolderChoice(*gui, {photos});
  click(ui::kMoveFolderButton);
  pump();
  ASSERT_EQ(statusLines(status()).back(), "Finished");
  click(ui::kGoButton);
  ASSERT_TRUE(pump());
  ASSERT_EQ(statusLines(status()).back(), "Backup complete");
  click(ui::kBackButton);
  ASSERT_TRUE(pump());
  ASSERT_EQ(statusLines(status()).back(), "Finished");
  watch.look();

  // The longest lines were among them: the folder's last 38 characters, a file's name.
  std::string all;
  for (const std::string& text : watch.seen) all += text + "\n";
  for (const char* line : {"ive 2019-2024/Photos 2019-2024/Summer/\n", "FILE>IMG_20190704_183512",
                           "File>IMG_20190704_183512"})
    EXPECT_TRUE(testing_support::contains(all, line)) << line << " not seen in\n" << all;
  EXPECT_EQ(watch.cut, std::vector<std::string>{});
}

}  // namespace

namespace {

// A status line too long even condensed: the user who points at it reads it whole.
TEST_F(TextsFit, ALineThatCannotFitIsTheStatusTooltip) {
  start();
  const std::string text = "FILE>" + std::string(120, 'W');
  gui->setText(ui::kStatusText, text);
  QWidget* label = platform::qtWidget(*gui, ui::kStatusText);
  ASSERT_NE(label, nullptr);
  QHelpEvent hover(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(label, &hover);
  EXPECT_EQ(label->toolTip().toStdString(), text);
  gui->setText(ui::kStatusText, "Finished");
  QApplication::sendEvent(label, &hover);
  EXPECT_TRUE(label->toolTip().isEmpty());
}

}  // namespace
