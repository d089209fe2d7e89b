// burnshelf-bench scan DIR: builds (once) a tree of 200,000 empty files in 2,000 folders, then
// times the real "Move Folder" scan of it with the need space above its size, so everything
// is listed, against a plain recursive listing by find and against a find that stats every
// entry as the scan must. The last lines are the ratios.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/event_loop.h"
#include "bench/commands.h"
#include "bench/timing.h"
#include "folders/scan.h"
#include "platform/gui.h"
#include "staging/state.h"

namespace bench {
namespace {

constexpr int kFolders = 2000;
constexpr int kFilesPerFolder = 100;
constexpr int kRounds = 3;  // the best of three runs of each, after a warm-up listing

namespace fs = std::filesystem;

std::string numbered(const char* prefix, int number, int width) {
  std::string digits = std::to_string(number);
  return prefix + std::string(width - digits.size(), '0') + digits;
}

// The tree, made once: the marker beside it is written last, so a half-made tree is redone.
bool makeTree(const fs::path& tree) {
  const fs::path marker = tree.string() + ".complete";
  if (fs::exists(marker)) return true;
  std::error_code error;
  fs::remove_all(tree, error);
  std::printf("making %d files in %d folders under %s\n", kFolders * kFilesPerFolder, kFolders,
              tree.c_str());
  for (int folder = 0; folder < kFolders; ++folder) {
    const fs::path at = tree / numbered("d", folder, 4);
    if (!fs::create_directories(at, error) && error) return false;
    for (int file = 0; file < kFilesPerFolder; ++file)
      if (!std::ofstream(at / numbered("f", file, 3))) return false;
  }
  return static_cast<bool>(std::ofstream(marker));
}

// find DIR -type f | wc -l, or with stat, a walk that examines every entry as the scan
// does (find -type f never needs to); the count it printed, -1 when it could not run.
long long findCount(const std::string& tree, bool stat = false) {
  const std::string command = stat ? "find '" + tree + "' -printf '%s %T@ %A@\\n' | wc -l"
                                   : "find '" + tree + "' -type f | wc -l";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return -1;
  long long count = -1;
  if (std::fscanf(pipe, "%lld", &count) != 1) count = -1;
  pclose(pipe);
  return count;
}

// One timed scan on a fresh program state (its start-up and clean-up are not timed);
// the number of entries listed.
size_t scanOnce(platform::Gui& gui, const std::string& tree, double& bestSeconds) {
  staging::State state;
  app::startProgram(state, gui);  // the main window, so status texts are really drawn
  // Start-up may have chosen the tree's own volume to stage on, whose files a scan never
  // lists: the timed scan has no staging drive.
  state.currentDrive = -1;
  state.folders = {tree + "/"};
  state.needSpace = INT64_MAX;
  const auto start = Clock::now();
  folders::scanChosenFolders(state, gui);
  bestSeconds = std::min(bestSeconds, secondsSince(start));
  gui.closeWindow(0);
  return state.files.size();
}

}  // namespace

int scanCommand(const Arguments& arguments) {
  if (arguments.size() != 1) {
    std::fprintf(stderr, "usage: burnshelf-bench scan DIR\n");
    return 2;
  }
  const std::string tree = (fs::absolute(arguments[0]) / "scan-tree").lexically_normal().string();
  if (!makeTree(tree)) {
    std::fprintf(stderr, "cannot make the tree under %s\n", arguments[0].c_str());
    return 1;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::Gui gui;

  const long long files = findCount(tree);  // warm-up: the listing comes from the cache after
  double bestScan = 1e9, bestFind = 1e9, bestStat = 1e9;
  size_t listed = 0;
  for (int round = 0; round < kRounds; ++round) {
    listed = scanOnce(gui, tree, bestScan);
    const auto start = Clock::now();
    findCount(tree);
    bestFind = std::min(bestFind, secondsSince(start));
    const auto statStart = Clock::now();
    findCount(tree, true);
    bestStat = std::min(bestStat, secondsSince(statStart));
  }
  std::printf("files %lld, entries listed by the scan %zu\n", files, listed);
  std::printf("scan %.3f s\n", bestScan);
  std::printf("find %.3f s\n", bestFind);
  std::printf("find with stat %.3f s\n", bestStat);
  std::printf("scan-ratio %.2f\n", bestScan / bestFind);
  std::printf("scan-ratio-stat %.2f\n", bestScan / bestStat);
  // Every file, every folder and the tree's own entry.
  return listed == static_cast<size_t>(files + kFolders + 1) ? 0 : 1;
}

}  // namespace bench
