// Burnshelf: makes room on a disk while a disc is written, and puts everything back after.
#include "app/event_loop.h"
#include "platform/gui.h"
#include "staging/state.h"

int main() {
  int code = 0;
  {
    platform::Gui gui;
    staging::State state;
    code = app::runMainRoutine(state, gui);
  }
  return code;
}
