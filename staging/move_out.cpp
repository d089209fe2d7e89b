// Placeholder until the command is built.
#include "staging/move_out.h"
#include "staging/state.h"

namespace staging {
void moveOut(State&, platform::Gui&) {}
}  // namespace staging
