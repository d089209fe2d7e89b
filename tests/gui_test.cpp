// The widget and event layer driven as a user drives it, offscreen: choices, clicks, the
// close box, drops, message boxes answered by the test seam, and the folder tree.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "platform/gui.h"
#include "platform/gui_test_access.h"
#include "support/temp_tree.h"
#include "support/gui_helpers.h"

namespace fs = std::filesystem;
using namespace platform;
using testing_support::chooseComboItem;
using testing_support::clickWidget;

namespace {

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(gui.openWindow(0, 300, 230, "Burnshelf", kStyleSystemMenu), 1);
    gui.useAsParent(0);
  }
  Gui gui;
};

TEST_F(GuiTest, ClientAreaHasExactlyTheAskedSize) {
  QWidget* window = qtWindow(gui, 0);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->size(), QSize(300, 230));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), "Burnshelf");
}

TEST_F(GuiTest, OnlyTheUsersDropDownChoiceIsAnEvent) {
  ASSERT_EQ(gui.addComboBox(7, 5, 30, 130, 20), 7);
  EXPECT_EQ(gui.state(7), -1);
  for (const char* item : {"/media/a  1.0 GB", "/media/b  2.0 GB", "/media/c  3.0 GB"})
    gui.addItem(7, -1, item);
  // Filling the box chooses nothing, and the program's own choice is silent.
  EXPECT_EQ(gui.state(7), -1);
  EXPECT_EQ(gui.text(7), "");
  gui.setState(7, 1);
  EXPECT_EQ(gui.text(7), "/media/b  2.0 GB");
  EXPECT_EQ(gui.waitEvent(20), kEventNone);

  ASSERT_TRUE(chooseComboItem(gui, 7, 2));
  EXPECT_EQ(gui.waitEvent(100), kEventWidget);
  EXPECT_EQ(gui.eventWidget(), 7);
  EXPECT_EQ(gui.eventWindow(), 0);
  EXPECT_EQ(gui.state(7), 2);
  // Choosing the item already shown is still a choice.
  ASSERT_TRUE(chooseComboItem(gui, 7, 2));
  EXPECT_EQ(gui.waitEvent(100), kEventWidget);
}

TEST_F(GuiTest, ClicksOfEnabledButtonsAndCheckBoxesAreEvents) {
  ASSERT_EQ(gui.addButton(0, 10, 165, 100, 30, "Move Folder"), 1);
  ASSERT_EQ(gui.addCheckBox(9, 5, 200, 290, 25, "Check"), 9);
  gui.setState(9, 1);
  EXPECT_EQ(gui.pollEvent(), kEventNone);

  clickWidget(gui, 9);
  EXPECT_EQ(gui.waitEvent(100), kEventWidget);
  EXPECT_EQ(gui.eventWidget(), 9);
  EXPECT_EQ(gui.state(9), 0);

  clickWidget(gui, 0);
  EXPECT_EQ(gui.waitEvent(100), kEventWidget);
  EXPECT_EQ(gui.eventWidget(), 0);

  gui.disable(0, true);
  EXPECT_TRUE(platform::isDisabled(gui, 0));
  clickWidget(gui, 0);
  EXPECT_EQ(gui.waitEvent(20), kEventNone);
}

TEST_F(GuiTest, CloseRequestIsAnEventAndTheWindowStays) {
  const int second = gui.openWindow(kAnyNumber, 636, 479, "Move Folder", kStyleToolWindow);
  ASSERT_GE(second, 1000);
  ASSERT_TRUE(testing_support::requestClose(gui, second));
  EXPECT_EQ(gui.waitEvent(100), kEventClose);
  EXPECT_EQ(gui.eventWindow(), second);
  EXPECT_TRUE(qtWindow(gui, second)->isVisible());

  gui.closeWindow(second);
  EXPECT_EQ(qtWindow(gui, second), nullptr);
}

TEST_F(GuiTest, OneDropOfThreeFilesIsOneTextInDropOrder) {
  const std::vector<std::string> paths = {"/tmp/b file.txt", "/tmp/a/Shelfdex.dat", "/tmp/\xc3\xa4.bin"};
  // Before dropping is enabled the window refuses the files.
  EXPECT_FALSE(testing_support::dropFiles(gui, 0, paths));
  EXPECT_EQ(gui.pollEvent(), kEventNone);

  gui.enableDrop(0);
  ASSERT_TRUE(testing_support::dropFiles(gui, 0, paths));
  EXPECT_EQ(gui.waitEvent(100), kEventDrop);
  EXPECT_EQ(gui.eventWindow(), 0);
  EXPECT_EQ(gui.droppedFiles(), "/tmp/b file.txt\n/tmp/a/Shelfdex.dat\n/tmp/\xc3\xa4.bin");
  // The drop text belongs to that event only.
  EXPECT_EQ(gui.waitEvent(20), kEventNone);
  EXPECT_EQ(gui.droppedFiles(), "");
}

TEST_F(GuiTest, WaitWithNothingHappeningReturnsNone) {
  EXPECT_EQ(gui.waitEvent(20), kEventNone);
  EXPECT_EQ(gui.pollEvent(), kEventNone);
}

TEST_F(GuiTest, DrainedEventsAreGone) {
  gui.addButton(4, 10, 165, 100, 30, "Move Folder");
  clickWidget(gui, 4);
  testing_support::requestClose(gui, 0);
  gui.refreshWindow();
  EXPECT_EQ(gui.waitEvent(20), kEventNone);
}

TEST_F(GuiTest, ScriptedMessageBoxesAnswerInOrderAndAreRecorded) {
  platform::scriptAnswers(gui, {kAnswerRetry, kAnswerCancel});
  EXPECT_EQ(gui.messageBox("Error File checked", "Retry Copy? ( Cancel = End )",
                           kBoxWarningRetryCancel), kAnswerRetry);
  EXPECT_EQ(gui.messageBox("Error", "Drive error, stop.", kBoxStopOk), kAnswerCancel);
  ASSERT_EQ(platform::shownBoxes(gui).size(), 2u);
  EXPECT_EQ(platform::shownBoxes(gui)[0].title, "Error File checked");
  EXPECT_EQ(platform::shownBoxes(gui)[0].text, "Retry Copy? ( Cancel = End )");
  EXPECT_EQ(platform::shownBoxes(gui)[0].kind, kBoxWarningRetryCancel);
  EXPECT_EQ(platform::shownBoxes(gui)[1].title, "Error");
  EXPECT_THROW(gui.endProgram(), ProgramEnd);
}

// A box the user sees: Escape means Cancel, it stays above a window kept on top, it is
// wide enough for its whole title in a title bar, and its detail stands under the text.
TEST_F(GuiTest, ShownRetryBoxAnswersCancelOnEscapeAboveAWindowOnTop) {
  gui.keepOnTop(0, true);
  bool wasAbove = false;
  int width = 0;
  QString detail;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    wasAbove = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    width = box->width();
    detail = box->informativeText();
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(gui.messageBox("Error File checked 2", "Retry Copy? ( Cancel = End )",
                           kBoxWarningRetryCancel, "/media/a/x.bin\nNo space left on device"),
            kAnswerCancel);
  QFont bold = QApplication::font("QMessageBox");
  bold.setBold(true);
  EXPECT_GE(width, QFontMetrics(bold).horizontalAdvance("Error File checked 2") + 150);
  EXPECT_EQ(detail, "/media/a/x.bin\nNo space left on device");
  EXPECT_TRUE(wasAbove);
  EXPECT_TRUE(platform::isKeptOnTop(gui, 0));
  EXPECT_EQ(platform::shownBoxes(gui).size(), 1u);
}

TEST_F(GuiTest, StatusTextComesBackExactlyAsSet) {
  gui.addLabel(3, 10, 85, 280, 70, "");
  const std::string status = "Stock Size 1.50 GB\n\rFinished";
  gui.setText(3, status);
  EXPECT_EQ(gui.text(3), status);
  EXPECT_EQ(static_cast<QLabel*>(qtWidget(gui, 3))->text(), "Stock Size 1.50 GB\nFinished");
}

TEST_F(GuiTest, MissingNumbersDoNothing) {
  EXPECT_EQ(gui.text(42), "");
  EXPECT_EQ(gui.state(42), 0);
  EXPECT_EQ(platform::itemCount(gui, 42), 0);
  EXPECT_EQ(platform::itemText(gui, 42, 0), "");
  EXPECT_FALSE(platform::isDisabled(gui, 42));
  gui.setText(42, "x");
  gui.setState(42, 1);
  gui.addItem(42, -1, "x");
  gui.disable(42, true);
  gui.keepOnTop(42, true);
  EXPECT_FALSE(platform::isKeptOnTop(gui, 42));
  EXPECT_EQ(qtWidget(gui, 42), nullptr);
  // No window is the parent: nothing can be created.
  gui.useAsParent(42);
  EXPECT_EQ(gui.addButton(5, 0, 0, 10, 10, "GO"), 0);
  EXPECT_EQ(qtWidget(gui, 5), nullptr);
}

TEST_F(GuiTest, KeepOnTopIsSwitchedOnAndOff) {
  gui.keepOnTop(0, true);
  EXPECT_TRUE(platform::isKeptOnTop(gui, 0));
  EXPECT_TRUE(qtWindow(gui, 0)->isVisible());
  gui.keepOnTop(0, false);
  EXPECT_FALSE(platform::isKeptOnTop(gui, 0));
}

// A temporary folder with subfolders, a hidden one, a file and a link to a folder.
class FolderTreeTest : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    for (const char* folder : {"b", "a/inner", "B", ".hidden", "with space", "10", "9"})
      temp.makeFolder(folder);
    temp.write("file.txt", "x");
    temp.symlink("link", temp.path("a"));
    root = temp.root() + "/";
    tree = gui.addFolderTree(kAnyNumber, 10, 38, 204, 386, {{"Temp", root}},
                             [this](const std::string& path, bool ticked) {
                               reports.push_back({path, ticked});
                               selectedAtReport = gui.text(tree);
                             });
    ASSERT_NE(tree, 0);
  }
  TempTree temp;
  std::string root;
  int tree = 0;
  std::vector<std::pair<std::string, bool>> reports;
  std::string selectedAtReport;
};

TEST_F(FolderTreeTest, ListsRealVisibleSubfoldersSortedWhenFirstOpened) {
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  QTreeWidgetItem* top = testing_support::treeNode(gui, tree, "");
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->text(0), "Computer");
  EXPECT_TRUE(top->isExpanded());
  QTreeWidgetItem* temp = testing_support::treeNode(gui, tree, root);
  ASSERT_NE(temp, nullptr);
  EXPECT_EQ(temp->childCount(), 0);  // not listed before it is opened

  testing_support::openTreeNode(gui, tree, temp);
  // As a file manager sorts them: by the user's collation, numbers by their value.
  EXPECT_EQ(testing_support::treeChildren(temp),
            (std::vector<std::string>{"9", "10", "a", "b", "B", "with space"}));
  // Only a folder with subfolders shows an expand button.
  const auto button = [&](const std::string& name) {
    return testing_support::treeNode(gui, tree, root + name + "/")->childIndicatorPolicy() !=
           QTreeWidgetItem::DontShowIndicator;
  };
  EXPECT_TRUE(button("a"));
  EXPECT_FALSE(button("b"));
  EXPECT_NE(testing_support::treeNode(gui, tree, root + "with space/"), nullptr);
  QTreeWidgetItem* a = testing_support::treeNode(gui, tree, root + "a/");
  ASSERT_NE(a, nullptr);
  testing_support::openTreeNode(gui, tree, a);
  EXPECT_EQ(testing_support::treeChildren(a), std::vector<std::string>{"inner"});
  EXPECT_NE(testing_support::treeNode(gui, tree, root + "a/inner/"), nullptr);
  EXPECT_TRUE(reports.empty());
  QLocale::setDefault(QLocale::system());
}

TEST_F(FolderTreeTest, EachBoxTheUserChangesIsReportedWithItsPath) {
  QTreeWidgetItem* temp = testing_support::treeNode(gui, tree, root);
  testing_support::openTreeNode(gui, tree, temp);
  QTreeWidgetItem* b = testing_support::treeNode(gui, tree, root + "b/");
  ASSERT_NE(b, nullptr);

  ASSERT_TRUE(testing_support::clickTreeBox(gui, tree, b));
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], std::make_pair(root + "b/", true));
  EXPECT_EQ(selectedAtReport, root + "b/");  // selected before the hook runs
  EXPECT_EQ(gui.text(tree), root + "b/");

  // The space key toggles the selected node's box.
  ASSERT_TRUE(testing_support::pressSpaceInTree(gui, tree));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1], std::make_pair(root + "b/", false));

  // A click on a name only selects; the top node's path is empty.
  QTreeWidgetItem* a = testing_support::treeNode(gui, tree, root + "a/");
  ASSERT_TRUE(testing_support::clickTreeLabel(gui, tree, a));
  EXPECT_EQ(gui.text(tree), root + "a/");
  ASSERT_TRUE(testing_support::clickTreeLabel(gui, tree, testing_support::treeNode(gui, tree, "")));
  EXPECT_EQ(gui.text(tree), "");
  EXPECT_EQ(reports.size(), 2u);
}

// The platform Qt starts on: X11 where a display answers, else a Wayland compositor that
// answers; the user's own choice is kept; where nothing answers, one line says why (Qt would
// abort). No X server answers here, so X11's own choice is seen under Xvfb (scripts/screenshots).
TEST(ChooseDisplay, TakesWhatAnswersAndSaysWhyWhenNothingDoes) {
  TempTree runtime;
  const std::string socketPath = runtime.path("wayland-test");
  const int compositor = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, socketPath.c_str());
  ASSERT_EQ(bind(compositor, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(compositor, 4), 0);

  const char* const names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"};
  std::vector<std::optional<std::string>> saved;
  for (const char* name : names)
    saved.push_back(std::getenv(name) ? std::optional<std::string>(std::getenv(name)) : std::nullopt);
  const struct {
    const char* platform;  // nullptr: not set
    const char* display;
    const char* wayland;
    std::string problem;
    const char* chosen;
  } rows[] = {
      {nullptr, nullptr, "wayland-test", "", "wayland"},
      {nullptr, ":97", "wayland-test", "", "wayland"},  // no X server: Wayland after all
      {nullptr, ":97", nullptr, "cannot open the display :97", nullptr},
      {nullptr, nullptr, "wayland-gone", "cannot open the Wayland display wayland-gone", nullptr},
      {nullptr, nullptr, nullptr,
       "no display: neither DISPLAY nor WAYLAND_DISPLAY is set (start it in a desktop session)", nullptr},
      {"xcb", nullptr, "wayland-test", "no display: DISPLAY is not set (start it in a desktop session)", "xcb"},
      {"wayland", nullptr, "wayland-gone", "cannot open the Wayland display wayland-gone", "wayland"},
      {"offscreen", nullptr, nullptr, "", "offscreen"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.platform ? row.platform : "-") + " " + (row.display ? row.display : "-") +
                 " " + (row.wayland ? row.wayland : "-"));
    const char* values[] = {row.platform, row.display, row.wayland, runtime.root().c_str()};
    for (size_t i = 0; i < std::size(names); ++i) {
      if (values[i]) setenv(names[i], values[i], 1);
      else unsetenv(names[i]);
    }
    EXPECT_EQ(chooseDisplay(), row.problem);
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    EXPECT_EQ(chosen ? std::string(chosen) : "", row.chosen ? row.chosen : "");
  }
  close(compositor);
  for (size_t i = 0; i < std::size(names); ++i) {
    if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
    else unsetenv(names[i]);
  }
}

TEST(GuiLifetime, SeveralGuisInARowAndAnyNumbersAreDistinct) {
  for (int round = 0; round < 2; ++round) {
    Gui gui;
    const int first = gui.openWindow(kAnyNumber, 100, 100, "one", kStyleToolWindow);
    const int second = gui.openWindow(kAnyNumber, 100, 100, "two", kStyleToolWindow);
    EXPECT_NE(first, 0);
    EXPECT_NE(first, second);
    gui.useAsParent(first);
    const int a = gui.addLabel(kAnyNumber, 0, 0, 10, 10, "a");
    const int b = gui.addLabel(kAnyNumber, 0, 0, 10, 10, "b");
    EXPECT_GE(a, 10);
    EXPECT_NE(a, b);
    EXPECT_EQ(gui.text(b), "b");
    gui.closeWindow(first);
    EXPECT_EQ(gui.text(b), "");  // the window's widgets went with it
  }
}

}  // namespace
