// Burnshelf: makes room on a disk while a disc is written, and puts everything back after.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "app/event_loop.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "staging/state.h"

#ifndef BURNSHELF_VERSION
#define BURNSHELF_VERSION "unknown"
#endif

namespace {

constexpr int kKeepRunning = -1;  // answerOption: not an option, the window opens

// The options a user may ask; anything else that begins with "-" is refused.
int answerOption(const char* argument) {
  if (argument[0] != '-') return kKeepRunning;
  if (std::strcmp(argument, "--version") == 0) {
    std::printf("burnshelf %s\n", BURNSHELF_VERSION);
    return 0;
  }
  if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
    std::printf("Usage: burnshelf [--version | --help | Shelfdex.dat]\n"
                "Moves files out to make room while a disc is written, and puts them back.\n");
    return 0;
  }
  std::fprintf(stderr, "burnshelf: unknown option %s (see burnshelf --help)\n", argument);
  return 2;
}

// The files named on the command line (a file manager's "Open With"), whole paths joined by
// "\n" as a drop gives them: the database's folder becomes the staging base.
std::string openedFiles(int argc, char** argv) {
  std::string paths;
  for (int i = 1; i < argc; ++i) {
    if (!paths.empty()) paths += '\n';
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(argv[i], error).lexically_normal();
    paths += error ? std::string(argv[i]) : whole.string();
  }
  return paths;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) {
    const int answered = answerOption(argv[1]);
    if (answered != kKeepRunning) return answered;
  }
  const std::string problem = platform::chooseDisplay();
  if (!problem.empty()) {
    std::fprintf(stderr, "burnshelf: %s\n", problem.c_str());
    return 1;
  }
  platform::raiseOpenFileLimit();
  int code = 0;
  {
    platform::Gui gui;
    staging::State state;
    code = app::runMainRoutine(state, gui, openedFiles(argc, argv));
  }
  return code;
}
