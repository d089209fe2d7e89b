// burnshelf-bench out / back / compare: the real "GO" and "BACK" run offscreen on real trees
// (message boxes answered Cancel by the seam, so a failed check ends the run instead of
// waiting), and compare times them against rsync and a careful user's verified move.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/gui_test_access.h"
#include "app/event_loop.h"
#include "ui/window.h"
#include "bench/commands.h"
#include "bench/floor.h"
#include "bench/timing.h"
#include "folders/scan.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/gui.h"
#include "platform/volumes.h"
#include "staging/database.h"
#include "staging/move_back.h"
#include "staging/move_out.h"
#include "staging/state.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr int kBigFiles = 8;
constexpr int64_t kBigFileBytes = int64_t{256} << 20;
constexpr int kSmallFolders = 200;
constexpr int kSmallFilesPerFolder = 100;  // 20,000 files
constexpr int64_t kSmallFileBytes = 16 << 10;

std::string absolute(const std::string& path) {
  std::string text = fs::absolute(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

std::string quoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool shell(const std::string& command) {
  return std::system(("bash -c " + quoted(command)).c_str()) == 0;
}

int64_t treeBytes(const std::string& folder, int64_t* files = nullptr) {
  int64_t bytes = 0, count = 0;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
    if (!entry.is_regular_file()) continue;
    bytes += static_cast<int64_t>(entry.file_size());
    ++count;
  }
  if (files) *files = count;
  return bytes;
}

// The file system type of the volume holding path ("tmpfs", "ext4", ...).
std::string volumeType(const std::string& path) {
  const std::string mountPoint = platform::volumeOf(path);
  for (const platform::Volume& volume : platform::volumeTable())
    if (volume.mountPoint == mountPoint) return volume.fsType;
  return "unknown";
}

// ---- one run of the real commands ----

struct Outcome {
  bool ok = false;
  double seconds = 0;
  std::string why;  // what went wrong, for the report
};

std::string boxesText(platform::Gui& gui) {
  std::string text;
  for (const platform::MessageRecord& box : platform::shownBoxes(gui)) text += " [" + box.title + ": " + box.text + "]";
  return text;
}

// A fresh program with its main window, the check box as asked, every box answered Cancel.
bool startFresh(staging::State& state, platform::Gui& gui, bool check) {
  if (!app::startProgram(state, gui)) return false;
  gui.setState(ui::kCheckBox, check ? 1 : 0);
  platform::scriptAnswers(gui, std::vector<int>(8, platform::kAnswerCancel));
  return true;
}

// The folder source with a need space of its whole size, scanned and moved out by "GO" into
// the staging base stage. Timed: the scan and "GO".
Outcome runOut(platform::Gui& gui, const std::string& source, const std::string& stage, bool check) {
  Outcome outcome;
  staging::State state;
  if (!startFresh(state, gui, check)) return {false, 0, "no main window"};
  int64_t files = 0;
  state.drives.assign(1, staging::DriveEntry{stage, platform::driveFreeSpace(stage)});
  state.currentDrive = 0;
  state.folders = {source + "/"};
  state.needSpace = treeBytes(source, &files);
  const size_t shown = platform::shownBoxes(gui).size();
  const Clock::time_point start = Clock::now();
  try {
    folders::scanChosenFolders(state, gui);
    staging::moveOut(state, gui);
    outcome.ok = true;
  } catch (const platform::ProgramEnd&) {
    outcome.why = "GO ended the program:" + boxesText(gui);
  }
  outcome.seconds = secondsSince(start);
  gui.closeWindow(ui::kMainWindow);
  int64_t left = 0;
  treeBytes(source, &left);
  if (outcome.ok && platform::shownBoxes(gui).size() != shown) {
    outcome.ok = false;
    outcome.why = "a message box was shown:" + boxesText(gui);
  } else if (outcome.ok && left != 0) {
    outcome.ok = false;
    outcome.why = std::to_string(left) + " of " + std::to_string(files) + " files not moved";
  }
  return outcome;
}

// stage/Shelfdex.dat dropped on a fresh program, then "BACK". Timed: the load and "BACK".
Outcome runBack(platform::Gui& gui, const std::string& stage, bool check) {
  Outcome outcome;
  staging::State state;
  if (!startFresh(state, gui, check)) return {false, 0, "no main window"};
  const size_t shown = platform::shownBoxes(gui).size();
  const std::string database = stage + "/" + staging::kDatabaseName;
  const Clock::time_point start = Clock::now();
  try {
    staging::acceptDrop(state, gui, database);
    if (!state.files.empty()) {
      staging::moveBack(state, gui);
      outcome.ok = true;
    } else {
      outcome.why = "no database to load at " + database;
    }
  } catch (const platform::ProgramEnd&) {
    outcome.why = "BACK ended the program:" + boxesText(gui);
  }
  outcome.seconds = secondsSince(start);
  gui.closeWindow(ui::kMainWindow);
  if (outcome.ok && platform::shownBoxes(gui).size() != shown) {
    outcome.ok = false;
    outcome.why = "a message box was shown:" + boxesText(gui);
  } else if (outcome.ok && fs::exists(database)) {
    outcome.ok = false;
    outcome.why = "the staging area is still there";
  }
  return outcome;
}

// The paths, then an optional --no-check (the box cleared); false for anything else.
bool parseCheck(const Arguments& arguments, size_t paths, bool* check) {
  *check = arguments.size() == paths;
  return *check || (arguments.size() == paths + 1 && arguments[paths] == "--no-check");
}

int report(const char* what, const Outcome& outcome, int64_t bytes) {
  if (!outcome.ok) {
    std::fprintf(stderr, "%s failed: %s\n", what, outcome.why.c_str());
    return 1;
  }
  std::printf("%s %lld bytes in %.3f s: %.1f MB/s\n", what, static_cast<long long>(bytes),
              outcome.seconds, bytes / 1e6 / outcome.seconds);
  return 0;
}

// ---- the data sets ----

// Random-looking bytes (splitmix64): nothing for a file system or a disk to compress.
class Noise {
 public:
  explicit Noise(uint64_t seed) : state_(seed) {}
  void fill(std::vector<uint64_t>& words) {
    for (uint64_t& word : words) {
      uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      word = z ^ (z >> 31);
    }
  }

 private:
  uint64_t state_;
};

// What each file of a data set holds: size and CRC-32 by relative path.
using Manifest = std::map<std::string, std::pair<int64_t, uint32_t>>;

bool writeNoise(const fs::path& path, int64_t bytes, Noise& noise, Manifest& manifest,
                const std::string& relative) {
  std::ofstream out(path, std::ios::binary);
  std::vector<uint64_t> words(std::min<int64_t>(bytes, 1 << 20) / 8);
  platform::FingerprintStream prints;
  for (int64_t left = bytes; left > 0; left -= static_cast<int64_t>(words.size() * 8)) {
    noise.fill(words);
    out.write(reinterpret_cast<const char*>(words.data()), static_cast<std::streamsize>(words.size() * 8));
    prints.add(words.data(), words.size() * 8);
  }
  manifest[relative] = {bytes, prints.finish().crc32};
  return static_cast<bool>(out.flush());
}

// The data sets: files straight in the root (folders 0) or in numbered folders.
struct Shape {
  const char* name;
  int folders;
  int filesPerFolder;
  int64_t fileBytes;
  uint64_t seed;
};
const Shape kShapes[] = {
    {"big", 0, kBigFiles, kBigFileBytes, 1},
    {"small", kSmallFolders, kSmallFilesPerFolder, kSmallFileBytes, 2},
    // BACK's durability: a file in each of many folders against as many in one folder.
    {"many-folders", 2000, 1, 4 << 10, 3},
    {"one-folder", 1, 2000, 4 << 10, 4},
};

const Shape* shapeNamed(const std::string& name) {
  for (const Shape& shape : kShapes)
    if (name == shape.name) return &shape;
  return nullptr;
}

bool makeDataSet(const std::string& name, const fs::path& root, Manifest& manifest) {
  std::error_code error;
  fs::remove_all(root, error);
  if (!fs::create_directories(root, error)) return false;
  const Shape& shape = *shapeNamed(name);
  Noise noise(shape.seed);
  char text[32];
  for (int folder = 0; folder < std::max(1, shape.folders); ++folder) {
    std::string dir;
    if (shape.folders > 0) {
      std::snprintf(text, sizeof text, "d%04d/", folder);
      dir = text;
      if (!fs::create_directory(root / dir, error)) return false;
    }
    for (int file = 0; file < shape.filesPerFolder; ++file) {
      std::snprintf(text, sizeof text, shape.folders > 0 ? "f%04d.dat" : "big%02d.dat", file);
      if (!writeNoise(root / (dir + text), shape.fileBytes, noise, manifest, dir + text)) return false;
    }
  }
  return true;
}

// True when root holds exactly the files of the manifest with their sizes and CRCs.
bool matches(const fs::path& root, const Manifest& manifest, std::string* why) {
  auto fail = [why](const std::string& text) {
    *why = text;
    return false;
  };
  size_t seen = 0;
  std::error_code error;
  for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = entry.path().lexically_relative(root).string();
    auto expected = manifest.find(relative);
    if (expected == manifest.end()) return fail("unexpected file " + relative);
    const platform::Fingerprints prints = platform::fingerprintFile(entry.path().string());
    if (static_cast<int64_t>(entry.file_size()) != expected->second.first ||
        prints.crc32 != expected->second.second)
      return fail("changed file " + relative);
    ++seen;
  }
  if (seen != manifest.size()) return fail(std::to_string(manifest.size() - seen) + " files missing");
  return true;
}

// ---- the contenders ----

struct Timing {
  Step out, back;  // seconds 0 when it failed; core-seconds, the kernel's threads included
  bool ok = false;
};

// Out and back each at the faster of two round trips; failed if either failed.
Timing fasterOf(const Timing& a, const Timing& b) {
  return Timing{fasterOf(a.out, b.out), fasterOf(a.back, b.back), a.ok && b.ok};
}

// One contender: out, then back, each from dropped caches; the tree is checked afterwards.
template <typename Out, typename Back>
Timing timeRoundTrip(const char* name, Out out, Back back, const fs::path& source,
                     const Manifest& manifest) {
  Timing timing;
  dropCaches();
  CpuMeter cpu;
  Clock::time_point start = Clock::now();
  Outcome moved = out();
  timing.out.seconds = moved.ok ? (moved.seconds > 0 ? moved.seconds : secondsSince(start)) : 0;
  timing.out.cpu = cpu.seconds();
  dropCaches();
  cpu.start();
  start = Clock::now();
  Outcome back_ = moved.ok ? back() : Outcome{false, 0, "not moved out"};
  timing.back.seconds = back_.ok ? (back_.seconds > 0 ? back_.seconds : secondsSince(start)) : 0;
  timing.back.cpu = cpu.seconds();
  std::string why = !moved.ok ? moved.why : back_.why;
  timing.ok = moved.ok && back_.ok && matches(source, manifest, &why);
  if (!timing.ok) std::printf("  %s FAILED: %s\n", name, why.c_str());
  std::fflush(stdout);
  return timing;
}

// A shell command timed as a whole; seconds 0 in the outcome means "time it outside".
Outcome shellStep(const std::string& command) {
  Outcome outcome;
  outcome.ok = shell(command);
  if (!outcome.ok) outcome.why = "failed: " + command;
  return outcome;
}

std::string rsyncMove(const std::string& from, const std::string& to) {
  return "mkdir -p " + quoted(to) + " && rsync -a --remove-source-files " + quoted(from + "/") +
         " " + quoted(to + "/");
}

// cp -a, then SHA-1 and MD5 of every source and every copy, compared, then the sources go.
std::string carefulMove(const std::string& from, const std::string& to, const std::string& sums) {
  const std::string list = "find . -type f -print0 | xargs -0 -r ";
  std::string script = "set -e; mkdir -p " + quoted(to) + " " + quoted(sums) + "; cp -a " +
                       quoted(from + "/.") + " " + quoted(to + "/") + ";";
  for (const char* tool : {"sha1sum", "md5sum"}) {
    for (const auto& [tree, side] : {std::pair{from, "from"}, std::pair{to, "to"}})
      script += " (cd " + quoted(tree) + " && " + list + tool + " | sort -k2) > " +
                quoted(sums + "/" + side + "." + tool) + ";";
    script += " cmp -s " + quoted(sums + "/from." + tool) + " " + quoted(sums + "/to." + tool) + ";";
  }
  return script + " find " + quoted(from) + " -type f -delete";
}

double rate(int64_t bytes, double seconds) { return seconds > 0 ? bytes / 1e6 / seconds : 0; }
double ratio(double ours, double theirs) { return ours > 0 ? theirs / ours : 0; }

int compareDataSet(platform::Gui& gui, const std::string& name, const std::string& sourceDir,
                   const std::string& stageDir, const std::string& volume) {
  const fs::path source = fs::path(sourceDir) / name;
  const std::string src = source.string();
  const std::string mirror = (fs::path(stageDir) / name).string();  // rsync's and cp's target
  const std::string sums = (fs::path(sourceDir) / ".careful-sums").string();
  Manifest manifest;
  std::printf("%s: making the data set in %s\n", name.c_str(), src.c_str());
  std::fflush(stdout);
  if (!makeDataSet(name, source, manifest)) {
    std::fprintf(stderr, "cannot make %s\n", src.c_str());
    return 1;
  }
  const int64_t bytes = treeBytes(src);
  auto tidy = [&] {
    std::error_code error;
    fs::remove_all(mirror, error);
    fs::remove_all(sums, error);
  };

  auto ours = [&](bool check) {
    return timeRoundTrip(
        check ? "ticked" : "cleared", [&] { return runOut(gui, src, stageDir, check); },
        [&] { return runBack(gui, stageDir, check); }, source, manifest);
  };
  // An untimed round trip first: on a virtual machine the first touch of memory the guest
  // never used costs a host fault per page, which would burden whichever contender ran first.
  timeRoundTrip(
      "warm-up", [&] { return shellStep(rsyncMove(src, mirror)); },
      [&] { return shellStep(rsyncMove(mirror, src)); }, source, manifest);
  tidy();
  std::vector<std::string> files;
  for (const auto& [relative, facts] : manifest) files.push_back(relative);
  const Floor before = measureFloor(source, stageDir, files, bytes);
  // Ticked and cleared take turns twice, each keeping its faster round trip, as the floor
  // keeps each step's faster measure.
  Timing ticked = ours(true), cleared = ours(false);
  ticked = fasterOf(ticked, ours(true));
  cleared = fasterOf(cleared, ours(false));
  const Timing rsync = timeRoundTrip(
      "rsync", [&] { return shellStep(rsyncMove(src, mirror)); },
      [&] { return shellStep(rsyncMove(mirror, src)); }, source, manifest);
  tidy();
  const Timing careful = timeRoundTrip(
      "careful", [&] { return shellStep(carefulMove(src, mirror, sums)); },
      [&] { return shellStep(carefulMove(mirror, src, sums)); }, source, manifest);
  tidy();
  // Measured again after the contenders, so a step slowed by the machine's other work
  // counts at its faster measure.
  const Floor floor = fasterOf(before, measureFloor(source, stageDir, files, bytes));
  std::error_code error;
  fs::remove_all(source, error);

  std::printf("%s on %s: %lld bytes in %zu files; MB/s (10^6 bytes per second), out / back\n",
              name.c_str(), volume.c_str(), static_cast<long long>(bytes), manifest.size());
  const std::pair<const char*, const Timing*> rows[] = {
      {"GO/BACK ticked", &ticked}, {"GO/BACK cleared", &cleared}, {"rsync", &rsync}, {"careful", &careful}};
  for (const auto& [label, timing] : rows)
    std::printf("  %-16s %8.1f / %8.1f MB/s   (%.2f s / %.2f s)%s\n", label,
                rate(bytes, timing->out.seconds), rate(bytes, timing->back.seconds), timing->out.seconds,
                timing->back.seconds, timing->ok ? "" : "  FAILED");
  const double clearedOut = ratio(cleared.out.seconds, rsync.out.seconds);
  const double clearedBack = ratio(cleared.back.seconds, rsync.back.seconds);
  const double tickedOut = ratio(ticked.out.seconds, careful.out.seconds);
  const double tickedBack = ratio(ticked.back.seconds, careful.back.seconds);
  std::printf("  cleared-vs-rsync   out %.2f back %.2f\n", clearedOut, clearedBack);
  std::printf("  ticked-vs-careful  out %.2f back %.2f\n", tickedOut, tickedBack);
  // The summary line carries the lesser of out and back: the target holds for both.
  std::printf("ratio %s %s cleared-vs-rsync %.2f ticked-vs-careful %.2f\n", name.c_str(), volume.c_str(),
              std::min(clearedOut, clearedBack), std::min(tickedOut, tickedBack));
  std::printf("  floor seconds: read source %.2f, write staging %.2f, read staging %.2f, write source "
              "%.2f, hash twice %.2f (%s device)\n",
              floor.readSource.seconds, floor.writeStaging.seconds, floor.readStaging.seconds,
              floor.writeSource.seconds, floor.hash.seconds, floor.oneDevice ? "one" : "two");
  std::printf("  core-seconds: read source %.2f, write staging %.2f, read staging %.2f, write source "
              "%.2f, hash twice %.2f on %u cores; GO/BACK ticked %.2f / %.2f, cleared %.2f / %.2f\n",
              floor.readSource.cpu, floor.writeStaging.cpu, floor.readStaging.cpu, floor.writeSource.cpu,
              floor.hash.cpu, floor.cores, ticked.out.cpu, ticked.back.cpu, cleared.out.cpu, cleared.back.cpu);
  auto overFloor = [](double ours, double least) { return least > 0 ? ours / least : 0; };
  std::printf("floor %s %s ticked-out %.2f ticked-back %.2f cleared-out %.2f cleared-back %.2f\n",
              name.c_str(), volume.c_str(), overFloor(ticked.out.seconds, floor.tickedOut()),
              overFloor(ticked.back.seconds, floor.tickedBack()),
              overFloor(cleared.out.seconds, floor.clearedOut()),
              overFloor(cleared.back.seconds, floor.clearedBack()));
  std::printf("floor-on-cores %s %s ticked-out %.2f ticked-back %.2f\n", name.c_str(), volume.c_str(),
              overFloor(ticked.out.seconds, floor.tickedOutOnCores()),
              overFloor(ticked.back.seconds, floor.tickedBackOnCores()));
  std::fflush(stdout);
  return ticked.ok && cleared.ok && rsync.ok && careful.ok ? 0 : 1;
}

// BACK of one small file in each of many folders against as many files in one folder, ticked
// and cleared; the ratio line carries the worse of the two.
int compareShapes(platform::Gui& gui, const std::string& sourceDir, const std::string& stageDir) {
  // Each BACK takes a fraction of a second, so the shapes take turns three times and each
  // keeps its fastest: a pause of the shared machine then weighs on neither.
  constexpr int kRounds = 3;
  double backs[2][2] = {};  // [shape][check]
  bool ok = true;
  const char* names[2] = {"many-folders", "one-folder"};
  Manifest manifests[2];
  for (int shape = 0; shape < 2; ++shape)
    if (!makeDataSet(names[shape], fs::path(sourceDir) / names[shape], manifests[shape])) return 1;
  for (int round = 0; round < kRounds; ++round)
    for (int shape = 0; shape < 2; ++shape)
      for (int check = 0; check < 2; ++check) {
        const fs::path source = fs::path(sourceDir) / names[shape];
        const Timing timing = timeRoundTrip(
            names[shape], [&] { return runOut(gui, source.string(), stageDir, check == 1); },
            [&] { return runBack(gui, stageDir, check == 1); }, source, manifests[shape]);
        ok = ok && timing.ok;
        double& best = backs[shape][check];
        best = round == 0 ? timing.back.seconds : std::min(best, timing.back.seconds);
      }
  for (const char* name : names) {
    std::error_code error;
    fs::remove_all(fs::path(sourceDir) / name, error);
  }
  std::printf("shapes BACK seconds, ticked / cleared: many-folders %.2f / %.2f, one-folder %.2f / %.2f\n",
              backs[0][1], backs[0][0], backs[1][1], backs[1][0]);
  std::printf("shape many-folders back-ratio %.2f\n",
              std::max(backs[0][1] / backs[1][1], backs[0][0] / backs[1][0]));
  std::fflush(stdout);
  return ok ? 0 : 1;
}

std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five;
  in >> one >> five;
  return one + " " + five;
}

// True when the staging base holds nothing of an earlier move-out that a run could clobber.
bool stagingBaseFree(const std::string& stage) {
  if (fs::exists(fs::path(stage) / staging::kDatabaseName)) return false;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(stage, error))
    if (entry.path().filename().string().rfind("Backup", 0) == 0) return false;
  return !error;
}

}  // namespace

int outCommand(const Arguments& arguments) {
  bool check = true;
  if (!parseCheck(arguments, 2, &check)) {
    std::fprintf(stderr, "usage: burnshelf-bench out SRC STAGE [--no-check]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string source = absolute(arguments[0]), stage = absolute(arguments[1]);
  const int64_t bytes = treeBytes(source);
  platform::Gui gui;
  return report(check ? "out (ticked)" : "out (cleared)", runOut(gui, source, stage, check), bytes);
}

int backCommand(const Arguments& arguments) {
  bool check = true;
  if (!parseCheck(arguments, 1, &check)) {
    std::fprintf(stderr, "usage: burnshelf-bench back STAGE [--no-check]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string stage = absolute(arguments[0]);
  auto database = staging::readDatabase(stage + "/" + staging::kDatabaseName);
  const int64_t bytes = database ? database->stockSize : 0;
  platform::Gui gui;
  return report(check ? "back (ticked)" : "back (cleared)", runBack(gui, stage, check), bytes);
}

int compareCommand(const Arguments& arguments) {
  const std::vector<std::string> allSets = {"big", "small", "shapes"};
  const std::vector<std::string> sets =
      arguments.size() > 2 ? std::vector<std::string>(arguments.begin() + 2, arguments.end()) : allSets;
  for (const std::string& set : sets)
    if (arguments.size() < 2 || std::find(allSets.begin(), allSets.end(), set) == allSets.end()) {
      std::fprintf(stderr, "usage: burnshelf-bench compare SRCDIR STAGEDIR [big] [small] [shapes]\n");
      return 2;
    }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string sourceDir = absolute(arguments[0]), stageDir = absolute(arguments[1]);
  std::error_code error;
  fs::create_directories(sourceDir, error);
  fs::create_directories(stageDir, error);
  if (!stagingBaseFree(stageDir)) {
    std::fprintf(stderr, "%s holds Shelfdex.dat or Backup folders; give an empty staging folder\n",
                 stageDir.c_str());
    return 1;
  }
  const std::string volume = volumeType(stageDir);
  std::printf("source %s (%s), staging %s (%s); load average %s\n", sourceDir.c_str(),
              volumeType(sourceDir).c_str(), stageDir.c_str(), volume.c_str(), loadAverage().c_str());
  std::printf(dropCaches() ? "page cache dropped before every timed step\n"
                           : "page cache cannot be dropped here (not root?): runs start warm\n");
  platform::Gui gui;
  int failed = 0;
  for (const std::string& set : sets)
    failed += set == "shapes" ? compareShapes(gui, sourceDir, stageDir)
                              : compareDataSet(gui, set, sourceDir, stageDir, volume);
  std::printf("load average at the end %s\n", loadAverage().c_str());
  return failed ? 1 : 0;
}

}  // namespace bench
