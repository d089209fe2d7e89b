// The commands of burnshelf-bench. Each lives in its own file and is listed once in the
// table of main.cpp; it gets the words after its name and returns the exit code.
#pragma once
#include <string>
#include <vector>

namespace bench {

using Arguments = std::vector<std::string>;

// scan DIR: the folder scan of 200,000 empty files in 2,000 folders against `find`.
int scanCommand(const Arguments& arguments);

// out SRC STAGE [--no-check]: scan SRC with a need space of its whole size, then "GO" into
// STAGE; back STAGE [--no-check]: drop STAGE/Shelfdex.dat, then "BACK" (bench/move_bench.cpp).
int outCommand(const Arguments& arguments);
int backCommand(const Arguments& arguments);
// compare SRCDIR STAGEDIR [SET...]: GO/BACK ticked and cleared against the floor the disks and
// cores allow, rsync and a careful user's move; SET is big, small or shapes (all by default).
int compareCommand(const Arguments& arguments);

}  // namespace bench
