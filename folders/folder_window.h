// The folder-selection window: a tree of folders with check boxes and the chosen list.
#pragma once
#include <string>
#include <vector>

#include "platform/gui.h"

namespace platform { struct Volume; }
namespace staging { struct State; }

namespace folders {
// Opens the window modally and returns when "OK" or its close box ends the choice; then
// state.folders holds the ticked folders (each ending with "/") in the order they were
// ticked. When the window cannot be opened, state.folders is left as it was.
void chooseFolders(staging::State& state, platform::Gui& gui, const std::string& title);
// The row text of a folder path: the path itself when it has at most limit characters,
// else its first 3 characters + "..." + the last limit characters of the rest.
std::string rowText(const std::string& path, int limit);
// The nodes below "Computer": the volumes that hold files of their own (the root file
// system and homeDrive always), one per device, in byte order, then the user's folders
// (home, documents, pictures...) in the order given, each labelled with its path.
std::vector<platform::TreeRoot> treeRoots(const std::vector<platform::Volume>& table,
                                          const std::string& homeDrive,
                                          const std::vector<std::string>& userFolders);
}  // namespace folders
