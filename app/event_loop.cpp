// The event loop and its dispatch table: widget events start commands, drops load a
// database, and the main window's close request ends the loop.
#include "app/event_loop.h"

#include <vector>

#include "app/main_window.h"
#include "ui/window.h"
#include "folders/scan.h"
#include "platform/desktop.h"
#include "platform/gui.h"
#include "staging/database.h"
#include "staging/move_back.h"
#include "staging/move_out.h"
#include "staging/space.h"
#include "staging/state.h"

namespace app {

using namespace ui;

namespace {

// What GO and BACK ask of the desktop for as long as they run, a fatal stop included: sleep
// and shutdown held off, their progress on the launcher, and one word when they stop at a
// message box or end while the user is at another window (the window's texts stay as they
// are). Without a bus or the services, nothing of it happens.
class DesktopWatch {
 public:
  DesktopWatch(platform::Gui& gui, const std::string& why) : gui_(gui), awake_(why) {
    gui_.watchProgress([](int percent) { platform::showLauncherProgress(percent); });
    gui_.watchBoxes([this](const std::string& title, const std::string& text) {
      if (!gui_.isActive(kMainWindow)) platform::notifyDesktop(title, text);
    });
  }
  ~DesktopWatch() {
    gui_.watchProgress({});
    gui_.watchBoxes({});
    platform::showLauncherProgress(platform::kNoProgress);
  }
  DesktopWatch(const DesktopWatch&) = delete;
  DesktopWatch& operator=(const DesktopWatch&) = delete;

  // The command ran to its end (a fatal box ends the program before): the status's last
  // word leads the notification.
  void ended() {
    if (gui_.isActive(kMainWindow)) return;
    std::vector<std::string> lines;
    const std::string status = gui_.text(kStatusText);
    for (size_t start = 0, end = 0; start <= status.size(); start = end + kLineSeparator.size()) {
      end = status.find(kLineSeparator, start);
      if (end == std::string::npos) end = status.size();
      lines.push_back(status.substr(start, end - start));
    }
    // A path closes the message that names the first file left in place; the word is above it.
    size_t word = lines.size() - 1;
    while (word > 0 && !lines[word].empty() && lines[word][0] == '/') --word;
    std::string body;
    for (size_t i = 0; i < lines.size(); ++i)
      if (i != word) body += (body.empty() ? "" : "\n") + lines[i];
    platform::notifyDesktop(lines[word], body);
  }

 private:
  platform::Gui& gui_;
  const platform::SleepInhibitor awake_;
};

void runGo(staging::State& state, platform::Gui& gui) {
  DesktopWatch desktop(gui, "Moving files out");
  staging::moveOut(state, gui);
  desktop.ended();
}

void runBack(staging::State& state, platform::Gui& gui) {
  DesktopWatch desktop(gui, "Moving files back");
  staging::moveBack(state, gui);
  desktop.ended();
}

}  // namespace

bool startProgram(staging::State& state, platform::Gui& gui) {
  if (!startMainWindow(state, gui)) return false;
  staging::startSpaceAccounting(state, gui);
  gui.enableDrop(kMainWindow);
  return true;
}

bool dispatch(staging::State& state, platform::Gui& gui, int event) {
  switch (event) {
    case platform::kEventDrop:
      staging::acceptDrop(state, gui, gui.droppedFiles());
      return true;
    case platform::kEventWidget:
      switch (gui.eventWidget()) {
        case kPresetBox:
        case kDriveBox: staging::chooseSpace(state, gui); break;
        case kMoveFolderButton: folders::moveFolder(state, gui); break;
        case kGoButton: runGo(state, gui); break;
        case kBackButton: runBack(state, gui); break;
        default: return true;
      }
      // Clicks and close requests made while the command ran have no effect.
      gui.discardPendingEvents();
      return true;
    case platform::kEventClose:
      return gui.eventWindow() != kMainWindow;
    default:
      return true;
  }
}

int runMainRoutine(staging::State& state, platform::Gui& gui, const std::string& opened) {
  try {
    if (!startProgram(state, gui)) return 1;
    if (!opened.empty()) staging::acceptDrop(state, gui, opened);
    while (dispatch(state, gui, gui.waitEvent(20))) {
    }
  } catch (const platform::ProgramEnd&) {
    // A fatal stop inside "GO" or "BACK": the staging area stays for a later "BACK".
  }
  return 0;
}

}  // namespace app
