// A whole program state on an offscreen main window, with volumes laid out in temporary
// folders, driven the way a user drives it: choose items, click buttons, drop files.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gui_test_access.h"
#include "support/temp_tree.h"
#include "platform/gui.h"
#include "platform/volumes.h"
#include "staging/state.h"

namespace testing_support {

// A fake volume for the seam: a block device mounted rw at mountPoint with freeMiB free.
platform::Volume diskVolume(const std::string& mountPoint, int32_t freeMiB, uint64_t device);

class AppFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // False: the D-Bus buses lead nowhere, so no test reaches the user's own desktop (no
  // inhibitor taken, no notification shown). A test with buses of its own says true.
  virtual bool talksToDesktop() const { return false; }

  // Replaces the volume table; call before start().
  void layVolumes(std::vector<platform::Volume> volumes);
  // Start-up as the main routine does it: window, space accounting, drops.
  void start();

  // As a user: choose item index of a drop-down (gives a widget event), click a widget.
  void chooseItem(int widget, int index);
  void click(int widget);
  // Files dropped onto the main window (an event is queued, not yet handled).
  void dropFiles(const std::vector<std::string>& paths);
  // Runs the event loop until no event came for a little while; false once the loop
  // would end (close request) or the program ended (ProgramEnd).
  bool pump();
  // True when the last pump() saw the program end through a fatal stop.
  bool ended() const { return ended_; }

  std::string status() { return gui->text(3); }
  int progress() { return gui->state(2); }
  bool enabled(int widget) { return !platform::isDisabled(*gui, widget); }

  platform::Gui* gui = nullptr;
  staging::State state;
  // The user's data folder ($XDG_DATA_HOME) for the test's run: its sealing key lies here,
  // never in the real user's home.
  TempTree userData;

 private:
  bool ended_ = false;
};

// The status text's lines (split at the line separator).
std::vector<std::string> statusLines(const std::string& text);

}  // namespace testing_support
