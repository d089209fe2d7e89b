// "BACK": puts every staged file back with its dates, then removes the staging area.
#pragma once

namespace platform { class Gui; }

namespace staging {
struct State;
void moveBack(State& state, platform::Gui& gui);
}  // namespace staging
