// The event loop and its dispatch table: widget events start commands, drops load a
// database, and the main window's close request ends the loop.
#include "app/event_loop.h"

#include "app/main_window.h"
#include "ui/window.h"
#include "folders/scan.h"
#include "platform/gui.h"
#include "staging/database.h"
#include "staging/move_back.h"
#include "staging/move_out.h"
#include "staging/space.h"
#include "staging/state.h"

namespace app {

using namespace ui;

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
        case kGoButton: staging::moveOut(state, gui); break;
        case kBackButton: staging::moveBack(state, gui); break;
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
