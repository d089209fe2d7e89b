// "Move Folder": lets the user tick folders, then lists them depth first up to the need space.
#pragma once

namespace platform { class Gui; }
namespace staging { struct State; }

namespace folders {
// The line before "Did not stock files." when the scan passed over files on the staging
// volume: moving them there would free nothing.
inline constexpr const char* kStagingFilesStay = "Files on the staging drive free no room.";

// The command of the "Move Folder" button: a new, empty list with stock size 0, the folder
// window, then the scan.
void moveFolder(staging::State& state, platform::Gui& gui);
// The scan of the folders already in state.folders, without the window: each one's own entry
// and its content, up to the need space; then "GO" enabled, or "Did not stock files.".
// Does nothing when state.folders is empty. Neither the list nor the stock size is reset here.
void scanChosenFolders(staging::State& state, platform::Gui& gui);
}  // namespace folders
