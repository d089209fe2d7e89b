// Start-up of the main window: its font, its ten widgets in their first state, the home drive.
#pragma once
#include <string>

namespace platform { class Gui; }
namespace staging { struct State; }

namespace app {

// Opens window 0 with its widgets, ticks the check box, disables the three command
// buttons, loads the main font and finds the home drive. False when no window could open.
bool startMainWindow(staging::State& state, platform::Gui& gui);

}  // namespace app
