// Placeholder until the command is built.
#include "folders/scan.h"

namespace folders {
void moveFolder(staging::State&, platform::Gui&) {}
}  // namespace folders
