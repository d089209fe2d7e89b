// The main window: 300 x 230 pixels of fixed layout, created in focus order.
#include "app/main_window.h"

#include "ui/window.h"
#include "platform/gui.h"
#include "platform/volumes.h"
#include "staging/state.h"

namespace app {

using namespace ui;

bool startMainWindow(staging::State& state, platform::Gui& gui) {
  const int mainFont = loadMainFont(gui);

  if (gui.openWindow(kMainWindow, 300, 230, "Burnshelf", platform::kStyleSystemMenu) == 0) {
    return false;
  }
  gui.useAsParent(kMainWindow);
  auto withFont = [&](int widget) { gui.setFont(widget, mainFont); };
  gui.addComboBox(kPresetBox, 5, 5, 130, 20);
  withFont(kPresetBox);
  gui.addLabel(kNeedLabel, 140, 5, 155, 20, "Need space>");
  withFont(kNeedLabel);
  gui.addComboBox(kDriveBox, 5, 30, 130, 20);
  withFont(kDriveBox);
  gui.addLabel(kFreeLabel, 140, 30, 155, 20, "Free space>");
  withFont(kFreeLabel);
  gui.addProgressBar(kProgressBar, 10, 60, 280, 20, 0, 100);
  gui.addLabel(kStatusText, 10, 85, 280, 70, "");
  withFont(kStatusText);
  gui.addButton(kMoveFolderButton, 10, 165, 100, 30, kMoveFolderCaption);
  withFont(kMoveFolderButton);
  gui.addButton(kGoButton, 150, 165, 60, 30, "GO");
  withFont(kGoButton);
  gui.addButton(kBackButton, 220, 165, 70, 30, "BACK");
  withFont(kBackButton);
  gui.addCheckBox(kCheckBox, 5, 200, 290, 25, kCheckCaption);
  withFont(kCheckBox);

  // What a screen reader calls the widgets whose captions do not say it.
  gui.setAccessibleName(kPresetBox, "Disc preset");
  gui.setAccessibleName(kDriveBox, "Staging drive");
  gui.setAccessibleName(kProgressBar, "Progress");
  gui.setAccessibleName(kStatusText, "Status");

  gui.setState(kCheckBox, 1);
  gui.disable(kGoButton, true);
  gui.disable(kBackButton, true);
  gui.disable(kMoveFolderButton, true);

  // The volume the program runs from: staging there would free no room.
  state.homeDrive = platform::volumeOf(platform::executableFolder());
  return true;
}

}  // namespace app
