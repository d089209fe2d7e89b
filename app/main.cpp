// Burnshelf: makes room on a disk while a disc is written, and puts everything back after.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/event_loop.h"
#include "platform/gui.h"
#include "staging/state.h"

#ifndef BURNSHELF_VERSION
#define BURNSHELF_VERSION "unknown"
#endif

namespace {

// The program has no command line beyond these two; anything else is refused.
int answerCommandLine(const char* argument) {
  if (std::strcmp(argument, "--version") == 0) {
    std::printf("burnshelf %s\n", BURNSHELF_VERSION);
    return 0;
  }
  if (std::strcmp(argument, "--help") == 0) {
    std::printf("Usage: burnshelf [--version | --help]\n"
                "Moves files out to make room while a disc is written, and puts them back.\n");
    return 0;
  }
  std::fprintf(stderr, "burnshelf: unknown option %s (see burnshelf --help)\n", argument);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return answerCommandLine(argv[1]);
  const std::string problem = platform::displayProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "burnshelf: %s\n", problem.c_str());
    return 1;
  }
  int code = 0;
  {
    platform::Gui gui;
    staging::State state;
    code = app::runMainRoutine(state, gui);
  }
  return code;
}
