// The scripted user of the folder window: finds the window and its widgets behind their
// numbers, opens tree nodes, clicks boxes and keys as a person would.
#include "support/folder_choice.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QListWidget>
#include <QStyle>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <memory>

#include "ui/window.h"
#include "platform/gui.h"
#include "platform/gui_test_access.h"
#include "support/gui_helpers.h"

namespace testing_support {
namespace {

constexpr int kHighestNumber = 4096;  // window and widget numbers looked through
constexpr int kLookEveryMs = 10;
constexpr int kLooksAtMost = 1000;

std::string pathOf(const QTreeWidgetItem* node) {
  return node->data(0, Qt::UserRole).toByteArray().toStdString();
}

int widgetNumber(platform::Gui& gui, const QWidget* widget) {
  for (int number = 0; widget && number <= kHighestNumber; ++number)
    if (platform::qtWidget(gui, number) == widget) return number;
  return 0;
}

// The open folder window: the window with a folder tree in it.
std::unique_ptr<FolderWindowUser> findFolderWindow(platform::Gui& gui) {
  for (int window = 1; window <= kHighestNumber; ++window) {
    QWidget* top = platform::qtWindow(gui, window);
    if (!top || !top->isVisible()) continue;
    auto* tree = top->findChild<QTreeWidget*>();
    auto* list = top->findChild<QListWidget*>();
    if (!tree || !list) continue;
    QPushButton* ok = nullptr;
    for (QPushButton* button : top->findChildren<QPushButton*>())
      if (button->text() == "OK") ok = button;
    return std::make_unique<FolderWindowUser>(gui, window, widgetNumber(gui, tree),
                                              widgetNumber(gui, list), widgetNumber(gui, ok));
  }
  return nullptr;
}

void lookForWindow(platform::Gui& gui, std::function<void(FolderWindowUser&)> script, int looksLeft) {
  std::unique_ptr<FolderWindowUser> user = findFolderWindow(gui);
  if (!user) {
    if (looksLeft <= 0) {
      ADD_FAILURE() << "the folder window did not open";
      return;
    }
    QTimer::singleShot(kLookEveryMs, [&gui, script = std::move(script), looksLeft]() mutable {
      lookForWindow(gui, std::move(script), looksLeft - 1);
    });
    return;
  }
  script(*user);
  if (!user->ended()) user->pressOk();
}

}  // namespace

FolderWindowUser::FolderWindowUser(platform::Gui& gui, int window, int tree, int list, int okButton)
    : gui(gui), window(window), tree(tree), list(list), okButton(okButton) {}

QTreeWidgetItem* FolderWindowUser::reveal(const std::string& folderPath) {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view || view->topLevelItemCount() == 0) return nullptr;
  QTreeWidgetItem* node = view->topLevelItem(0);
  while (node && pathOf(node) != folderPath) {
    openTreeNode(gui, tree, node);
    // The child whose path is the longest beginning of folderPath.
    QTreeWidgetItem* next = nullptr;
    for (int i = 0; i < node->childCount(); ++i) {
      const std::string childPath = pathOf(node->child(i));
      if (folderPath.rfind(childPath, 0) == 0 && (!next || childPath.size() > pathOf(next).size()))
        next = node->child(i);
    }
    node = next;
  }
  return node;
}

bool FolderWindowUser::toggle(const std::string& folderPath, TickBy how) {
  QTreeWidgetItem* node = reveal(folderPath);
  if (!node) return false;
  if (how == TickBy::Mouse) return clickTreeBox(gui, tree, node);
  return clickName(folderPath) && pressSpaceInTree(gui, tree);
}

bool FolderWindowUser::clickName(const std::string& folderPath) {
  QTreeWidgetItem* node = reveal(folderPath);
  QTreeWidget* view = folderTree(gui, tree);
  if (!node || !view) return false;
  view->scrollToItem(node);
  // Just right of the check box, on the name: long labels make the row wider than the view.
  const QRect row = view->visualItemRect(node);
  const int x = std::min(row.left() + 2 * view->style()->pixelMetric(QStyle::PM_IndicatorWidth) + 4,
                         view->viewport()->width() - 2);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, row.center().y()));
  return view->currentItem() == node;
}

void FolderWindowUser::clickEmptySpace() {
  QTreeWidget* view = folderTree(gui, tree);
  if (!view) return;
  const QPoint bottom(view->viewport()->width() / 2, view->viewport()->height() - 3);
  if (view->itemAt(bottom)) ADD_FAILURE() << "no empty space below the last node";
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, bottom);
}

void FolderWindowUser::toggleTopNode() {
  QTreeWidget* view = folderTree(gui, tree);
  if (view && view->topLevelItemCount() > 0) clickTreeBox(gui, tree, view->topLevelItem(0));
}

std::vector<std::string> FolderWindowUser::rows() const {
  std::vector<std::string> shown;
  for (int i = 0; i < platform::itemCount(gui, list); ++i) shown.push_back(platform::itemText(gui, list, i));
  return shown;
}

void FolderWindowUser::pressOk() {
  ended_ = true;
  clickWidget(gui, okButton);
}

void FolderWindowUser::pressCloseBox() {
  ended_ = true;
  requestClose(gui, window);
}

void scheduleInFolderWindow(platform::Gui& gui, std::function<void(FolderWindowUser&)> script) {
  QTimer::singleShot(0, [&gui, script = std::move(script)]() mutable {
    lookForWindow(gui, std::move(script), kLooksAtMost);
  });
}

void scheduleFolderChoice(platform::Gui& gui, std::vector<std::string> folderPaths, TickBy how) {
  scheduleInFolderWindow(gui, [folderPaths = std::move(folderPaths), how](FolderWindowUser& user) {
    for (const std::string& path : folderPaths)
      EXPECT_TRUE(user.toggle(path, how)) << path << " is not in the folder tree";
    user.pressOk();
  });
}

void MoveFolderFixture::SetUp() {
  AppFixture::SetUp();
  home = homeTree.makeFolder("home");
  homeTree.makeFolder("home/Documents");
  homeTree.makeFolder("home/Videos");
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"HOME", home},
                                    {"XDG_CONFIG_HOME", home + ".config"}}) {
    const char* old = std::getenv(name.c_str());
    savedEnvironment_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    setenv(name.c_str(), value.c_str(), 1);
  }
  disk = volumes.makeFolder("disk");
  disk.pop_back();
  stage = volumes.makeFolder("stage");
  stage.pop_back();
  layVolumes({diskVolume(disk, 100000, 1), diskVolume(stage, 100000, 2)});
  start();
  chooseItem(ui::kDriveBox, 1);  // the drive box lists disk, then stage
  pump();
  ASSERT_EQ(state.stagingBase(), stage);
  ASSERT_TRUE(enabled(ui::kMoveFolderButton));
}

void MoveFolderFixture::TearDown() {
  for (const auto& [name, value] : savedEnvironment_) {
    if (value) setenv(name.c_str(), value->c_str(), 1);
    else unsetenv(name.c_str());
  }
  AppFixture::TearDown();
}

std::string MoveFolderFixture::diskFolder(const std::string& relative) const {
  return relative.empty() ? disk + "/" : disk + "/" + relative + "/";
}

void MoveFolderFixture::moveFolders(std::vector<std::string> folderPaths, TickBy how) {
  scheduleFolderChoice(*gui, std::move(folderPaths), how);
  click(ui::kMoveFolderButton);
  pump();
}

}  // namespace testing_support
