// Space accounting: the media presets and need space, the staging drives, the free label,
// and the command run when the user picks a preset or a drive.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/volumes.h"
#include "staging/state.h"

namespace platform { class Gui; }

namespace staging {

// Above the status when the chosen staging drive lets other users read or change what GO
// writes there.
inline const std::string kSharedDriveLine = "Other users can read this drive.";

constexpr int kPresetCount = 10;
constexpr int kStartPreset = 2;  // "BD 25 GB"

struct Preset {
  std::string item;       // "BD 25 GB"
  std::string needLabel;  // "Need Space> 25.2 GB"
  int64_t needSpace = 0;  // bytes
};
// The preset at index 0..9; an empty Preset for any other index.
Preset preset(int index);

// The volumes that could hold staged data: one per device at its shortest mount point,
// never the home drive's device, in byte order of their mount points; free space unread.
std::vector<platform::Volume> stagingCandidates(const std::vector<platform::Volume>& table,
                                                const std::string& homeDrive);
// Those of the candidates with free space (freeMiB not 0), as drive-list entries.
std::vector<DriveEntry> stagingDrives(const std::vector<platform::Volume>& table,
                                      const std::string& homeDrive);
// "/media/usb Free 123.9 GB"
std::string driveEntryText(const DriveEntry& drive);

// Fills the preset box, the drive list and box, and the need and free labels.
void startSpaceAccounting(State& state, platform::Gui& gui);
// The command of the preset box and the drive box.
void chooseSpace(State& state, platform::Gui& gui);

}  // namespace staging
