// Space accounting: presets give the need space; the chosen volume becomes the staging base
// when it has more room than that.
#include "staging/space.h"

#include <algorithm>
#include <cmath>

#include "ui/window.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "platform/volumes.h"

namespace staging {
namespace {

const char* const kPresetItems[kPresetCount] = {
    "DVD 4.7 GB", "DVD 8.5 GB", "BD 25 GB",   "BD 50 GB",   "Any 75 GB",
    "Any 100 GB", "Any 125 GB", "Any 150 GB", "Any 175 GB", "Any 200 GB"};

// Staged files must survive a reboot and be writable.
bool holdsDataSafely(const platform::Volume& volume) {
  return volume.readWrite && platform::keepsFiles(volume);
}

// "123.9": a drive entry's free space in gigabytes, one decimal.
std::string gigabytesText(const DriveEntry& drive) {
  return platform::realText(static_cast<float>(drive.free) / 1024.0f, 1);
}

// The volume as file managers name a disk: its mount point's last part ("/" for the root).
std::string volumeName(const std::string& root) {
  const std::string name = platform::filePart(root);
  return name.empty() ? root : name;
}

}  // namespace

Preset preset(int index) {
  if (index == 0) return {kPresetItems[0], "Need Space> 4.9 GB", 5261334937};
  if (index == 1) return {kPresetItems[1], "Need Space> 8.7 GB", 9341553868};
  if (index < 2 || index >= kPresetCount) return {};
  const double gigabytes = static_cast<double>(static_cast<int64_t>(index - 1) * 25) + 0.2;
  Preset chosen;
  chosen.item = kPresetItems[index];
  chosen.needLabel = "Need Space> " + platform::realText((index - 1.0) * 25.0 + 0.2, 1) + " GB";
  chosen.needSpace = static_cast<int64_t>(std::nearbyint(gigabytes * 1073741824.0));
  return chosen;
}

std::vector<platform::Volume> stagingCandidates(const std::vector<platform::Volume>& table,
                                                const std::string& homeDrive) {
  uint64_t homeDevice = 0;
  bool homeKnown = false;
  for (const platform::Volume& volume : table) {
    if (volume.mountPoint == homeDrive) homeDevice = volume.device, homeKnown = true;
  }
  // One entry per device, at its shortest mount point; never the home drive's device,
  // which a bind mount could otherwise offer under another name.
  std::vector<platform::Volume> chosen;
  for (const platform::Volume& volume : table) {
    if (!holdsDataSafely(volume)) continue;
    if (volume.mountPoint == homeDrive || (homeKnown && volume.device == homeDevice)) continue;
    auto same = std::find_if(chosen.begin(), chosen.end(),
                             [&](const platform::Volume& v) { return v.device == volume.device; });
    if (same == chosen.end()) {
      chosen.push_back(volume);
    } else if (volume.mountPoint.size() < same->mountPoint.size()) {
      *same = volume;
    }
  }
  std::sort(chosen.begin(), chosen.end(),
            [](const platform::Volume& a, const platform::Volume& b) { return a.mountPoint < b.mountPoint; });
  return chosen;
}

std::vector<DriveEntry> stagingDrives(const std::vector<platform::Volume>& table,
                                      const std::string& homeDrive) {
  std::vector<DriveEntry> drives;
  for (const platform::Volume& volume : stagingCandidates(table, homeDrive))
    if (volume.freeMiB != 0) drives.push_back({volume.mountPoint, volume.freeMiB});
  return drives;
}

std::string driveEntryText(const DriveEntry& drive) {
  return drive.root + " Free " + gigabytesText(drive) + " GB";
}

void startSpaceAccounting(State& state, platform::Gui& gui) {
  // Each candidate and the home drive are asked once, all together and for a bounded time:
  // a share whose server is gone is left out instead of holding the window up.
  const std::vector<platform::Volume> table = platform::volumeTable();
  std::vector<platform::Volume> asked = stagingCandidates(table, state.homeDrive);
  const auto home = std::find_if(table.rbegin(), table.rend(), [&](const platform::Volume& v) {
    return v.mountPoint == state.homeDrive;  // the last mount on a point is on top
  });
  if (home != table.rend()) asked.push_back(*home);
  platform::askFreeSpace(asked);
  int32_t homeFreeMiB = 0;
  if (home != table.rend()) {
    homeFreeMiB = asked.back().freeMiB;
    asked.pop_back();
  }
  state.drives = stagingDrives(asked, state.homeDrive);
  state.currentDrive = state.drives.empty() ? -1 : static_cast<int>(state.drives.size()) - 1;

  for (int i = 0; i < kPresetCount; ++i) gui.addItem(ui::kPresetBox, platform::kAtEnd, kPresetItems[i]);
  gui.setState(ui::kPresetBox, kStartPreset);
  gui.setText(ui::kNeedLabel, "Need Space> 25.2 GB");
  state.needSpace = preset(kStartPreset).needSpace;

  for (size_t i = 0; i < state.drives.size(); ++i) {
    gui.addItem(ui::kDriveBox, platform::kAtEnd, driveEntryText(state.drives[i]));
    // The closed box is too narrow for a whole mount point and "Free": it shows the name that
    // tells disks apart and the free figure.
    gui.setClosedText(ui::kDriveBox, static_cast<int>(i), volumeName(state.drives[i].root),
                      " " + gigabytesText(state.drives[i]) + " GB");
  }

  const float homeGigabytes = static_cast<float>(homeFreeMiB) / 1024.0f;
  gui.setText(ui::kFreeLabel,
              "Free space> " + platform::integerText(static_cast<int64_t>(platform::wholeNumber(homeGigabytes, 0))) + " GB");
}

void chooseSpace(State& state, platform::Gui& gui) {
  const Preset chosen = preset(gui.state(ui::kPresetBox));
  if (!chosen.item.empty()) {
    gui.setText(ui::kNeedLabel, chosen.needLabel);
    state.needSpace = chosen.needSpace;
  }
  gui.setState(ui::kProgressBar, 0);
  gui.setText(ui::kStatusText, ui::joinLines({"Could you change drive?", state.sizeLine}));
  gui.disable(ui::kMoveFolderButton, true);

  const int index = gui.state(ui::kDriveBox);
  if (gui.text(ui::kDriveBox).empty() || index < 0 || index >= static_cast<int>(state.drives.size())) return;
  if (state.drives[index].root == state.homeDrive) return;
  state.currentDrive = index;

  const int64_t needMiB = platform::integerPart(static_cast<double>(state.needSpace) / 1048576.0);
  const int64_t free = state.drives[index].free;
  if (free > needMiB) {
    const double share = static_cast<double>(state.needSpace) / 1048576.0 / static_cast<double>(free) * 100.0;
    gui.setState(ui::kProgressBar, platform::integerPart(share));
    const std::string select = "Please select Folder, Click 'Move Folder'.";
    gui.setText(ui::kStatusText, platform::othersMayReach(platform::volumeAt(state.drives[index].root))
                                     ? ui::joinLines({kSharedDriveLine, select, state.sizeLine})
                                     : ui::joinLines({select, state.sizeLine}));
    gui.disable(ui::kMoveFolderButton, false);
  }
}

}  // namespace staging
