// The folder-selection window: builds its widgets, mirrors every box the user changes in
// the folder list and the chosen-folders list, and runs its own modal loop.
#include "folders/folder_window.h"

#include <algorithm>
#include <map>

#include "platform/text.h"
#include "platform/volumes.h"
#include "staging/state.h"
#include "ui/window.h"

namespace folders {
namespace {

constexpr int kClientWidth = 636;
constexpr int kClientHeight = 479;
const std::string kEllipsis = "...";
constexpr size_t kKeptHead = 3;  // characters kept before the ellipsis

// Volumes with files a user keeps; pseudo and RAM file systems would only clutter the tree.
bool holdsUserFiles(const platform::Volume& volume, const std::string& homeDrive) {
  return volume.mountPoint == "/" || volume.mountPoint == homeDrive || platform::keepsFiles(volume);
}

std::string withSlash(const std::string& folder) {
  return !folder.empty() && folder.back() == '/' ? folder : folder + "/";
}

// Keeps the folder list and the rows in step with the box the user just changed.
void synchronise(staging::State& state, platform::Gui& gui, int list, const std::string& path,
                 bool ticked) {
  if (path.empty()) return;  // the top node stands for no folder
  const auto found = std::find(state.folders.begin(), state.folders.end(), path);
  if (ticked && found == state.folders.end()) {
    state.folders.push_back(path);
    gui.addItem(list, platform::kAtEnd, rowText(path, ui::kPathDisplayLimit));
    gui.setItemTip(list, static_cast<int>(state.folders.size()) - 1, path);
  } else if (!ticked && found != state.folders.end()) {
    gui.removeItem(list, static_cast<int>(found - state.folders.begin()));
    state.folders.erase(found);
  }
}

// Until "OK" or this window's close box; every other event is dropped unseen.
void waitForChoice(platform::Gui& gui, int window, int okButton) {
  for (;;) {
    const int event = gui.waitEvent(platform::kWaitForever);
    if (event == platform::kEventWidget && gui.eventWidget() == okButton) return;
    if (event == platform::kEventClose && gui.eventWindow() == window) return;
  }
}

}  // namespace

std::string rowText(const std::string& path, int limit) {
  const size_t keep = static_cast<size_t>(std::max(limit, 0));
  if (platform::characterCount(path) <= keep) return path;
  const std::string head = platform::firstCharacters(path, kKeptHead);
  return head + kEllipsis + platform::lastCharacters(std::string_view(path).substr(head.size()), keep);
}

std::vector<platform::TreeRoot> treeRoots(const std::vector<platform::Volume>& table,
                                          const std::string& homeDrive,
                                          const std::vector<std::string>& userFolders) {
  // One node per device, at its shortest mount point; the map keeps them in byte order.
  std::map<uint64_t, std::string> byDevice;
  for (const platform::Volume& volume : table) {
    if (!holdsUserFiles(volume, homeDrive)) continue;
    auto [at, added] = byDevice.emplace(volume.device, volume.mountPoint);
    if (!added && volume.mountPoint.size() < at->second.size()) at->second = volume.mountPoint;
  }
  std::vector<std::string> mountPoints;
  for (const auto& [device, mountPoint] : byDevice) mountPoints.push_back(mountPoint);
  std::sort(mountPoints.begin(), mountPoints.end());

  std::vector<platform::TreeRoot> roots;
  for (const std::string& mountPoint : mountPoints)
    roots.push_back({mountPoint, withSlash(mountPoint)});
  // Where a user keeps what fills a disc, without walking down from "/" to find it.
  for (const std::string& folder : userFolders) {
    if (folder.empty()) continue;
    const std::string path = withSlash(folder);
    roots.push_back({path.size() > 1 ? path.substr(0, path.size() - 1) : path, path});
  }
  return roots;
}

void chooseFolders(staging::State& state, platform::Gui& gui, const std::string& title) {
  using platform::kAnyNumber;
  const int window =
      gui.openWindow(kAnyNumber, kClientWidth, kClientHeight, title, platform::kStyleToolWindow);
  if (window == 0) return;
  gui.useAsParent(window);
  state.folders.clear();

  int list = 0;  // known once the list box exists; the hook cannot run before the loop
  const int mainFont = ui::loadMainFont(gui);
  const auto withMainFont = [&](int widget) {
    gui.setFont(widget, mainFont);
    return widget;
  };
  const int tree = withMainFont(gui.addFolderTree(
      kAnyNumber, 10, 38, 204, 386,
      treeRoots(platform::volumeTable(), state.homeDrive, platform::userFolders()),
      [&state, &gui, &list](const std::string& path, bool ticked) {
        synchronise(state, gui, list, path, ticked);
      }));
  gui.setAccessibleName(tree, "Folders");
  withMainFont(gui.addLabel(kAnyNumber, 12, 15, 162, 20, "Folder Path"));
  withMainFont(gui.addLabel(kAnyNumber, 223, 17, 177, 20, "Selected in folder"));
  list = withMainFont(gui.addListBox(kAnyNumber, 221, 38, 400, 386));
  gui.clearItems(list);
  gui.setAccessibleName(list, "Chosen folders");
  gui.addFrame(kAnyNumber, 5, 0, 623, 432, "");
  const int okButton = withMainFont(gui.addButton(kAnyNumber, 490, 440, 141, 30, "OK"));
  withMainFont(gui.addLabel(kAnyNumber, 12, 440, 450, 30, "<Include subfolders> Parents folder only"));
  gui.keepOnTop(window, true);

  waitForChoice(gui, window, okButton);

  gui.keepOnTop(window, false);
  gui.closeWindow(window);
}

}  // namespace folders
