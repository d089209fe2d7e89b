// Placeholder until the command is built.
#include "staging/move_back.h"
#include "staging/state.h"

namespace staging {
void moveBack(State&, platform::Gui&) {}
}  // namespace staging
