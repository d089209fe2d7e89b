// "GO": moves the listed files into the staging area, proven before any source is deleted.
#pragma once

namespace platform { class Gui; }

namespace staging {
struct State;
void moveOut(State& state, platform::Gui& gui);
}  // namespace staging
