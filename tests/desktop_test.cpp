// What GO and BACK ask of the desktop, on real D-Bus buses started here (dbus-daemon) with
// python3-dbusmock's logind and notification daemon on them: sleep and shutdown held off
// while a command runs and released at every end, and a notification only when the window
// is not the one the user is at.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ui/window.h"
#include "support/folder_choice.h"
#include "support/syscall_faults.h"

namespace {

using testing_support::statusLines;

constexpr const char* kPython = "/usr/bin/python3";  // Debian's, which has dbusmock
constexpr int kTries = 400;                         // of 25 ms: a bus or a mock coming up

// Output of a command line, "" when it fails.
std::string outputOf(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) output += buffer;
    if (pclose(pipe) != 0) output.clear();
  }
  return output;
}

// Two bus daemons (one stands for the system bus) and a mock on each, for the whole suite:
// the program connects to its buses once per process.
struct Buses {
  std::string missing;  // why the suite cannot run; "" when it can
  std::vector<pid_t> processes;  // the mocks
  std::vector<pid_t> daemons;    // forked away by dbus-daemon itself: ended, not waited for
  std::string logs;  // the folder of the three logs below
  std::string logindLog, notifyLog, launcherLog;

  Buses() {
    if (outputOf(std::string(kPython) + " -c 'import dbusmock; print(1)' 2>/dev/null") != "1\n")
      missing = "python3-dbusmock is not installed";
    else if (!startBus("DBUS_SYSTEM_BUS_ADDRESS") || !startBus("DBUS_SESSION_BUS_ADDRESS"))
      missing = "dbus-daemon cannot start a bus";
    if (!missing.empty()) return;
    char folder[] = "/tmp/burnshelf-buses-XXXXXX";
    if (!mkdtemp(folder)) {
      missing = "no temporary folder for the mocks' logs";
      return;
    }
    logs = folder;
    logindLog = logs + "/logind.log";
    notifyLog = logs + "/notifications.log";
    launcherLog = logs + "/launcher.log";
    startMock("logind", logindLog);
    startMock("notification_daemon", notifyLog);
    // What a dock hears: the launcher entry's signals on the session bus.
    start({"/bin/sh", "-c", "exec dbus-monitor \"interface='com.canonical.Unity.LauncherEntry'\" >" + launcherLog});
  }
  ~Buses() {
    for (pid_t pid : processes) kill(pid, SIGTERM);
    for (pid_t pid : processes) waitpid(pid, nullptr, 0);
    for (pid_t pid : daemons) kill(pid, SIGTERM);
    if (!logs.empty()) std::filesystem::remove_all(logs);
  }

  // A private bus daemon; its address goes into variable for every connection made later.
  bool startBus(const char* variable) {
    std::istringstream lines(outputOf("dbus-daemon --session --fork --print-address=1 --print-pid=1"));
    std::string address, pid;
    if (!std::getline(lines, address) || !std::getline(lines, pid) || address.empty()) return false;
    setenv(variable, address.c_str(), 1);
    daemons.push_back(std::stoi(pid));
    return true;
  }
  void startMock(const char* templateName, const std::string& log) {
    start({kPython, "-m", "dbusmock", "--template", templateName, "--logfile", log});
  }
  void start(std::vector<std::string> command) {
    std::vector<char*> argv;
    for (std::string& part : command) argv.push_back(part.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      execv(argv[0], argv.data());
      _exit(127);
    }
    processes.push_back(pid);
  }

  static Buses*& instance() {
    static Buses* buses = nullptr;
    return buses;
  }
};

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
  std::ifstream log(Buses::instance()->notifyLog);
  std::vector<std::string> summaries;
  std::string line;
  // 1700000000.123 Notify "Burnshelf" 0 "burnshelf" "Backup complete" "Stock Size ...
  while (std::getline(log, line)) {
    const size_t at = line.find(" Notify \"Burnshelf\" 0 \"burnshelf\" \"");
    if (at == std::string::npos) continue;
    const size_t start = line.find("\"burnshelf\" \"", at) + 13;
    summaries.push_back(line.substr(start, line.find('"', start) - start));
  }
  return summaries;
}

// Whether the launcher showed progress, in the order of its signals ("progress-visible").
std::vector<bool> launcherShown() {
  std::ifstream log(Buses::instance()->launcherLog);
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
  static void SetUpTestSuite() { Buses::instance() = new Buses(); }
  static void TearDownTestSuite() {
    delete Buses::instance();
    Buses::instance() = nullptr;
  }
  bool talksToDesktop() const override { return true; }

  void SetUp() override {
    if (!Buses::instance()->missing.empty()) GTEST_SKIP() << Buses::instance()->missing;
    MoveFolderFixture::SetUp();
    for (const auto& [bus, name] : {std::pair{QDBusConnection::systemBus(), "org.freedesktop.login1"},
                                    {QDBusConnection::sessionBus(), "org.freedesktop.Notifications"}}) {
      int tries = 0;
      while (!bus.interface()->isServiceRegistered(name) && ++tries < kTries) QTest::qWait(25);
      ASSERT_LT(tries, kTries) << name << " did not come up";
    }
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
