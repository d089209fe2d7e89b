// The main window's first state, its font rule, and the loop's handling of events.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAccessible>
#include <QApplication>
#include <QIcon>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "app/event_loop.h"
#include "app/main_window.h"
#include "ui/window.h"
#include "platform/gui_test_access.h"
#include "support/app_fixture.h"

using testing_support::diskVolume;

TEST(MainFont, KeepsThePixelHeightAcrossResolutions) {
  const int cases[][2] = {{96, 10}, {120, 8}, {144, 6}, {192, 5}, {72, 13}, {0, 10}};
  for (const auto& c : cases) EXPECT_EQ(ui::mainFontPoints(c[0]), c[1]) << c[0] << " dpi";
}

class MainWindowTest : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    layVolumes({diskVolume("/", 2048, 1), diskVolume("/media/usb", 30000, 2)});
    start();
  }
};

TEST_F(MainWindowTest, OpensWithTenWidgetsInTheirFirstState) {
  QWidget* window = platform::qtWindow(*gui, ui::kMainWindow);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->windowTitle(), "Burnshelf");
  EXPECT_EQ(window->size(), QSize(300, 230));
  EXPECT_FALSE(window->windowIcon().isNull());
  const struct {
    int widget;
    QRect geometry;
  } layout[] = {
      {ui::kPresetBox, {5, 5, 130, 20}},    {ui::kNeedLabel, {140, 5, 155, 20}},
      {ui::kDriveBox, {5, 30, 130, 20}},    {ui::kFreeLabel, {140, 30, 155, 20}},
      {ui::kProgressBar, {10, 60, 280, 20}}, {ui::kStatusText, {10, 85, 280, 70}},
      {ui::kMoveFolderButton, {10, 165, 100, 30}}, {ui::kGoButton, {150, 165, 60, 30}},
      {ui::kBackButton, {220, 165, 70, 30}}, {ui::kCheckBox, {5, 200, 290, 25}},
  };
  for (const auto& w : layout) {
    QWidget* widget = platform::qtWidget(*gui, w.widget);
    ASSERT_NE(widget, nullptr) << w.widget;
    EXPECT_EQ(widget->geometry(), w.geometry) << w.widget;
  }
  EXPECT_EQ(gui->text(ui::kMoveFolderButton), "Move Folder");
  EXPECT_EQ(gui->text(ui::kCheckBox), "CRC32,MD5,SHA-1 FingerPrint Check");
  EXPECT_EQ(gui->state(ui::kCheckBox), 1);
  EXPECT_EQ(progress(), 0);
  EXPECT_EQ(status(), "");
  for (int button : {ui::kMoveFolderButton, ui::kGoButton, ui::kBackButton}) EXPECT_FALSE(enabled(button));
  EXPECT_TRUE(enabled(ui::kCheckBox));
  EXPECT_EQ(state.homeDrive, "/");
}

TEST_F(MainWindowTest, TheCheckBoxAndTimeoutsStartNothing) {
  click(ui::kCheckBox);
  EXPECT_TRUE(pump());
  EXPECT_EQ(gui->state(ui::kCheckBox), 0);
  EXPECT_EQ(status(), "");
  EXPECT_TRUE(app::dispatch(state, *gui, platform::kEventNone));
  EXPECT_FALSE(enabled(ui::kMoveFolderButton));
}

// What a screen reader meets: a window, and every widget named for what it is; the status
// tells its text (Qt announces each change of it), a drop-down its choice.
TEST_F(MainWindowTest, ScreenReadersHearWhatEachWidgetIs) {
  auto accessible = [&](int widget) { return QAccessible::queryAccessibleInterface(platform::qtWidget(*gui, widget)); };
  EXPECT_EQ(QAccessible::queryAccessibleInterface(platform::qtWindow(*gui, ui::kMainWindow))->role(),
            QAccessible::Window);
  const std::pair<int, const char*> names[] = {
      {ui::kPresetBox, "Disc preset"}, {ui::kDriveBox, "Staging drive"}, {ui::kProgressBar, "Progress"},
      {ui::kStatusText, "Status"},     {ui::kMoveFolderButton, "Move Folder"}, {ui::kGoButton, "GO"},
      {ui::kBackButton, "BACK"},       {ui::kCheckBox, "CRC32,MD5,SHA-1 FingerPrint Check"}};
  for (const auto& [widget, name] : names)
    EXPECT_EQ(accessible(widget)->text(QAccessible::Name).toStdString(), name);
  EXPECT_EQ(accessible(ui::kPresetBox)->text(QAccessible::Value).toStdString(), "BD 25 GB");
  EXPECT_EQ(accessible(ui::kPresetBox)->role(), QAccessible::ComboBox);

  gui->setText(ui::kStatusText, ui::joinLines({"Stock Size 4.83 GB", "Finished"}));
  EXPECT_EQ(accessible(ui::kStatusText)->text(QAccessible::Description).toStdString(),
            "Stock Size 4.83 GB\nFinished");
}

// Return presses the button that has the keyboard, as Space does.
TEST_F(MainWindowTest, ReturnPressesTheFocusedButton) {
  gui->disable(ui::kMoveFolderButton, false);
  QWidget* button = platform::qtWidget(*gui, ui::kMoveFolderButton);
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    button->setFocus();
    QTest::keyClick(button, key);
    EXPECT_EQ(gui->waitEvent(100), platform::kEventWidget) << key;
    EXPECT_EQ(gui->eventWidget(), ui::kMoveFolderButton);
  }
}

TEST_F(MainWindowTest, TheCloseRequestEndsTheLoopAndLeavesTheWindowToTheProgram) {
  QWidget* window = platform::qtWindow(*gui, ui::kMainWindow);
  window->close();
  EXPECT_FALSE(pump());
  EXPECT_FALSE(ended());
  EXPECT_TRUE(window->isVisible());
}

TEST(MainRoutine, EndsWithCodeZeroOnTheCloseRequest) {
  platform::setVolumeTableForTests([] { return std::vector<platform::Volume>{diskVolume("/", 100, 1)}; });
  platform::Gui gui;
  staging::State state;
  QTimer::singleShot(50, [&] { platform::qtWindow(gui, ui::kMainWindow)->close(); });
  EXPECT_EQ(app::runMainRoutine(state, gui), 0);
  platform::setVolumeTableForTests({});
}

// Under a window manager (xvfb-run with openbox, QT_QPA_PLATFORM=xcb) the first window is
// centred with the frame it is given; offscreen windows have no frame, so it is skipped.
TEST(MainWindowOnScreen, IsCentredWithItsFrame) {
  platform::Gui gui;
  if (QGuiApplication::platformName() != QLatin1String("xcb")) GTEST_SKIP() << "needs a window manager";
  platform::setVolumeTableForTests([] { return std::vector<platform::Volume>{diskVolume("/", 100, 1)}; });
  staging::State state;
  ASSERT_TRUE(app::startMainWindow(state, gui));
  QWidget* window = platform::qtWindow(gui, ui::kMainWindow);
  for (int i = 0; i < 100 && window->frameGeometry().size() == window->size(); ++i) QTest::qWait(20);
  QTest::qWait(200);
  const QRect outer = window->frameGeometry();
  const QRect screen = window->screen()->geometry();
  EXPECT_NE(outer.size(), window->size());
  EXPECT_LE(std::abs(outer.center().x() - screen.center().x()), 1) << outer.x();
  EXPECT_LE(std::abs(outer.center().y() - screen.center().y()), 1) << outer.y();
  platform::setVolumeTableForTests({});
}
