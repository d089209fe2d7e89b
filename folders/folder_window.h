// The folder-selection window: a tree of folders with check boxes and the chosen list.
#pragma once
#include <string>

namespace platform { class Gui; }
namespace staging { struct State; }

namespace folders {
// Opens the window modally; when it closes, state.folders holds the ticked folders in the
// order they were ticked.
void chooseFolders(staging::State& state, platform::Gui& gui, const std::string& title);
// The row text of a folder path: shortened to 3 + "..." + the last limit characters.
std::string rowText(const std::string& path, int limit);
}  // namespace folders
