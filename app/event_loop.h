// The main routine: start-up, then one event loop that runs every command to its end.
#pragma once
#include <string>

namespace platform { class Gui; }
namespace staging { struct State; }

namespace app {

// Runs the program until the main window's close request or a fatal stop inside a
// command. opened (paths joined by "\n", as a drop gives them) is handled as files dropped
// on the window right after start-up: a file manager's "Open With". Returns the exit code:
// 0, or 1 when the main window could not be opened.
int runMainRoutine(staging::State& state, platform::Gui& gui, const std::string& opened = {});

// Start-up without the loop: main window, space accounting, file drops.
bool startProgram(staging::State& state, platform::Gui& gui);

// Handles one event as the loop does; false when the loop should end.
bool dispatch(staging::State& state, platform::Gui& gui, int event);

}  // namespace app
