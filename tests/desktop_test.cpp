// What GO and BACK ask of the desktop, on real D-Bus buses that desktop_buses.sh starts with
// python3-dbusmock's logind and notification daemon on them: sleep and shutdown held off
// while a command runs and released at every end, a notification only when the window is
// not the one the user is at, and the launcher's progress cleared at the end.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "ui/window.h"
#include "support/folder_choice.h"
#include "support/syscall_faults.h"

namespace {

using testing_support::statusLines;

constexpr int kTries = 400;  // of 25 ms: logind seeing a released inhibitor, a signal heard

std::string logOf(const char* variable) {
  const char* path = std::getenv(variable);
  return path ? path : "";
}

// The inhibitors logind holds now: "what who why mode" each.
std::vector<std::string> inhibitors() {
  QDBusMessage call = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                     "org.freedesktop.login1.Manager", "ListInhibitors");
  const QDBusMessage reply = QDBusConnection::systemBus().call(call);
  std::vector<std::string> held;
  if (reply.arguments().isEmpty()) return {"no answer from logind"};
  const QDBusArgument list = reply.arguments().front().value<QDBusArgument>();
  list.beginArray();
  while (!list.atEnd()) {
    QString what, who, why, mode;
    uint user = 0, process = 0;
    list.beginStructure();
    list >> what >> who >> why >> mode >> user >> process;
    list.endStructure();
    held.push_back((what + " " + who + " " + why + " " + mode).toStdString());
  }
  list.endArray();
  return held;
}

// The inhibitors once logind has seen every released one go (it learns of it from the
// descriptor it watches, not from a call).
std::vector<std::string> inhibitorsLeft() {
  std::vector<std::string> held = inhibitors();
  for (int i = 0; i < kTries && !held.empty(); ++i) {
    QTest::qWait(25);
    held = inhibitors();
  }
  return held;
}

// The summaries of the notifications sent so far in this process, in order.
std::vector<std::string> notifications() {
  std::ifstream log(logOf("BURNSHELF_NOTIFY_LOG"));
  std::vector<std::string> summaries;
  std::string line;
  // 1700000000.123 Notify "Burnshelf" 0 "burnshelf" "Backup complete" "Stock Size ...
  const std::string lead = " Notify \"Burnshelf\" 0 \"burnshelf\" \"";
  while (std::getline(log, line)) {
    const size_t at = line.find(lead);
    if (at == std::string::npos) continue;
    const size_t start = at + lead.size();
    summaries.push_back(line.substr(start, line.find('"', start) - start));
  }
  return summaries;
}

// Whether the launcher showed progress, in the order of its signals ("progress-visible").
std::vector<bool> launcherShown() {
  std::ifstream log(logOf("BURNSHELF_LAUNCHER_LOG"));
  std::vector<bool> shown;
  std::string line;
  bool next = false;  // the line after the key holds its value
  while (std::getline(log, line)) {
    if (next) shown.push_back(line.find("boolean true") != std::string::npos);
    next = line.find("\"progress-visible\"") != std::string::npos;
  }
  return shown;
}

class DesktopTest : public testing_support::MoveFolderFixture {
 protected:
  bool talksToDesktop() const override { return true; }

  void SetUp() override {
    if (logOf("BURNSHELF_NOTIFY_LOG").empty()) GTEST_SKIP() << "run by desktop_buses.sh, which starts the buses";
    MoveFolderFixture::SetUp();
    notifiedBefore = notifications().size();
    volumes.write("disk/Video/clip", std::string(3 << 20, 'v'));
    state.needSpace = 3 << 20;
    moveFolders({diskFolder("Video")});
    ASSERT_TRUE(enabled(ui::kGoButton)) << status();
  }
  void TearDown() override {
    testing_support::restoreSyscalls();
    other.reset();
    MoveFolderFixture::TearDown();
  }

  // The user turns to another program's window, or back to Burnshelf's.
  void lookElsewhere(bool elsewhere) {
    if (elsewhere) {
      if (!other) other = std::make_unique<QWidget>();
      other->show();
      other->activateWindow();
    } else {
      platform::qtWindow(*gui, ui::kMainWindow)->activateWindow();
    }
    QApplication::processEvents();
    ASSERT_EQ(gui->isActive(ui::kMainWindow), !elsewhere);
  }

  // Clicks a button and runs the command; the inhibitors held while its first file is
  // written, as a user would list them in the middle of it.
  std::vector<std::string> runSeeingInhibitors(int button) {
    std::vector<std::string> during = {"no file written"};
    bool seen = false;
    testing_support::setWriteRule([&](int fd, const void* data, size_t size) {
      if (!seen) during = inhibitors(), seen = true;
      return platform::realSyscalls().write(fd, data, size);
    });
    click(button);
    pump();
    testing_support::restoreSyscalls();
    return during;
  }

  // The summaries of the notifications this test's commands sent.
  std::vector<std::string> told() const {
    const std::vector<std::string> all = notifications();
    return {all.begin() + static_cast<std::ptrdiff_t>(std::min(notifiedBefore, all.size())), all.end()};
  }

  std::unique_ptr<QWidget> other;  // another program's window
  size_t notifiedBefore = 0;
};

TEST_F(DesktopTest, GoAndBackHoldOffSleepAndSayWhenTheyEndUnseen) {
  const struct {
    int button;
    const char* why;
    const char* lastLine;
    bool elsewhere;
  } steps[] = {
      {ui::kGoButton, "Moving files out", "Backup complete", true},
      {ui::kBackButton, "Moving files back", "Finished", false},
  };
  std::vector<std::string> expected;
  for (const auto& step : steps) {
    SCOPED_TRACE(step.why);
    lookElsewhere(step.elsewhere);
    EXPECT_EQ(runSeeingInhibitors(step.button),
              std::vector<std::string>{std::string("sleep:shutdown Burnshelf ") + step.why + " block"});
    ASSERT_EQ(statusLines(status()).back(), step.lastLine);
    EXPECT_EQ(inhibitorsLeft(), std::vector<std::string>{});
    if (step.elsewhere) expected.push_back(step.lastLine);
    EXPECT_EQ(told(), expected);
  }
  // The launcher showed the progress of both, and shows none once they ended.
  std::vector<bool> shown = launcherShown();
  for (int i = 0; i < kTries && (shown.empty() || shown.back()); ++i) {
    QTest::qWait(25);
    shown = launcherShown();
  }
  EXPECT_GE(std::count(shown.begin(), shown.end(), true), 2);
  EXPECT_GE(std::count(shown.begin(), shown.end(), false), 2);
  ASSERT_FALSE(shown.empty());
  EXPECT_FALSE(shown.back());
}

// A fatal stop ends the program from inside GO: the box is announced to a user who looks
// elsewhere, and sleep is no longer held off once the program has ended.
TEST_F(DesktopTest, AFatalStopReleasesTheInhibitorAndSaysWhy) {
  volumes.write("stage/Shelfdex.dat", "an earlier GO");
  lookElsewhere(true);
  std::vector<std::string> duringBox = {"no box shown"};
  QTimer looker;
  QObject::connect(&looker, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    duringBox = inhibitors();
    box->button(QMessageBox::Ok)->click();
  });
  looker.start(20);
  click(ui::kGoButton);
  EXPECT_FALSE(pump());
  EXPECT_TRUE(ended());
  EXPECT_EQ(duringBox, std::vector<std::string>{"sleep:shutdown Burnshelf Moving files out block"});
  EXPECT_EQ(inhibitorsLeft(), std::vector<std::string>{});
  EXPECT_EQ(told(), std::vector<std::string>{"Error exist Shelfdex.dat"});
}

}  // namespace
