// burnshelf-bench: timings of the real commands on generated data sets, one command per run.
#include <cstdio>
#include <string>

#include "bench/commands.h"

namespace {

struct Command {
  const char* name;
  const char* usage;
  int (*run)(const bench::Arguments&);
};

const Command kCommands[] = {
    {"scan", "scan DIR   time the folder scan of a generated tree against find", bench::scanCommand},
    {"out", "out SRC STAGE [--no-check]   scan SRC and time \"GO\" into STAGE", bench::outCommand},
    {"back", "back STAGE [--no-check]   load STAGE/Shelfdex.dat and time \"BACK\"", bench::backCommand},
    {"compare", "compare SRCDIR STAGEDIR [big] [small] [shapes]   GO/BACK against the floor, rsync and a careful verified move",
     bench::compareCommand},
};

int usage() {
  std::fprintf(stderr, "usage: burnshelf-bench COMMAND ...\n");
  for (const Command& command : kCommands) std::fprintf(stderr, "  %s\n", command.usage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string name = argv[1];
  for (const Command& command : kCommands)
    if (name == command.name) return command.run(bench::Arguments(argv + 2, argv + argc));
  return usage();
}
