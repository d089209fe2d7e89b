// "Move Folder": lets the user tick folders, then lists them depth first up to the need space.
#pragma once

namespace platform { class Gui; }
namespace staging { struct State; }

namespace folders {
void moveFolder(staging::State& state, platform::Gui& gui);
}  // namespace folders
