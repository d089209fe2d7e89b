// Ticking folders in the folder-selection window the way a user does, for every test whose
// command opens that window ("Move Folder"). The window runs its own modal loop, so the
// ticks are scheduled before the click that opens it and run from inside that loop.
//
//   scheduleFolderChoice(*gui, {volume.folderPath("Video")});
//   click(ui::kMoveFolderButton);
//   pump();  // the window opens, Video/ is ticked, "OK" pressed, the scan runs
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/app_fixture.h"
#include "support/temp_tree.h"

class QTreeWidgetItem;

namespace platform { class Gui; }

namespace testing_support {

enum class TickBy { Mouse, SpaceKey };

// A user in front of the open folder window. Every action goes through Qt's own mouse and
// key handling, so the tree and the window react exactly as they would to a person.
class FolderWindowUser {
 public:
  FolderWindowUser(platform::Gui& gui, int window, int tree, int list, int okButton);

  // Opens the tree's nodes down to folderPath (ending with "/"); nullptr when it is not found.
  QTreeWidgetItem* reveal(const std::string& folderPath);
  // Flips the box of that folder: a left click on the box, or a click on the name to
  // select it and then the space key. False when the folder is not in the tree.
  bool toggle(const std::string& folderPath, TickBy how = TickBy::Mouse);
  // A left click on the folder's name: selects it, leaves its box as it is.
  bool clickName(const std::string& folderPath);
  // A press on the empty area below the last node, and a click on the top node's box.
  void clickEmptySpace();
  void toggleTopNode();
  // The rows of the chosen-folders list as shown.
  std::vector<std::string> rows() const;
  // Ends the choice with "OK" or with the close box (the window stays until its loop ends).
  void pressOk();
  void pressCloseBox();
  bool ended() const { return ended_; }

  platform::Gui& gui;
  const int window, tree, list, okButton;  // widget and window numbers

 private:
  bool ended_ = false;
};

// Runs script once the folder window is open (looked for every 10 ms, for at most 10 s).
// When the script did not end the choice itself, "OK" is pressed after it, so a failed
// script never leaves the test waiting in the window's loop.
void scheduleInFolderWindow(platform::Gui& gui, std::function<void(FolderWindowUser&)> script);
// Ticks each folder in order (opening the tree down to it), then presses "OK". A folder
// missing from the tree is a test failure.
void scheduleFolderChoice(platform::Gui& gui, std::vector<std::string> folderPaths,
                          TickBy how = TickBy::Mouse);

// A program ready for "Move Folder": two volumes laid in one temporary folder, "disk" (the
// folders to tick) and "stage" (100000 MiB free, chosen in the drive box), so the preset
// "BD 25 GB" is accepted and "Move Folder" is enabled. The user's home folder, holding
// Documents and Videos, lies in a temporary folder of its own.
class MoveFolderFixture : public AppFixture {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Path of a folder on the disk volume, ending with "/" ("" gives the volume's root).
  std::string diskFolder(const std::string& relative) const;
  // "Move Folder" as a user runs it: ticks the folders, "OK", and the scan to its end.
  void moveFolders(std::vector<std::string> folderPaths, TickBy how = TickBy::Mouse);

  TempTree volumes;
  TempTree homeTree;
  std::string disk;   // mount points, without "/"
  std::string stage;
  std::string home;   // ending with "/"

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> savedEnvironment_;
};

}  // namespace testing_support
