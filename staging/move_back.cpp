// "BACK": copies every staged file back to its old path (proving it when the check box is
// ticked), gives files and folders their recorded dates, and removes the staging area only
// when every file is back and on the disk.
#include "staging/move_back.h"

#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "app/widgets.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "staging/database.h"
#include "staging/modes.h"
#include "staging/state.h"
#include "staging/transfer.h"

namespace staging {
namespace {

constexpr int kWaitForFileMs = 3000;  // a failed copy leaves nothing, so the wait is bounded

// What the restore pass leaves for the steps after it.
struct Restore {
  int64_t unrestorable = 0;           // files not put back: no usable staged copy and nothing
                                      // at path, or another file at path
  std::set<std::string> folders;      // folders that received a restored file
  std::vector<uint32_t> modes;        // recorded at "GO", one per list position; may be empty
};

// The exact time of the staged copy when it is the recorded date to the second (the copy
// kept the source's time), else the recorded date itself.
timespec restoredTime(const std::string& staged, int kind, int32_t recorded) {
  const timespec exact = platform::exactTime(staged, kind);
  const bool known = exact.tv_nsec >= 0 && exact.tv_nsec < 1000000000;  // not UTIME_OMIT
  if (known && platform::toDateValue(exact.tv_sec) == recorded) return exact;
  return timespec{platform::fromDateValue(recorded), 0};
}

void setFileDates(const FileEntry& entry, const std::string& staged) {
  platform::setFileDate(entry.path, platform::kCreated, entry.created);  // kept where it can be
  platform::setExactTimes(entry.path, restoredTime(staged, platform::kAccessed, entry.accessed),
                          restoredTime(staged, platform::kModified, entry.modified));
}

void waitForFile(const std::string& path) {
  for (int waited = 0; waited < kWaitForFileMs; ++waited) {
    if (platform::fileSize(path) != platform::kNothingThere) return;
    platform::pause(1);
  }
}

void showRestoring(const State& state, platform::Gui& gui, const FileEntry& entry, int64_t stagedSize) {
  showStatus(gui, {state.sizeLine, "File>" + platform::filePart(entry.path),
                   "Size>" + megabytesText(stagedSize)});
}

// True when a file stands at path that is not the staged copy: one the user put there after
// "GO". A file an earlier, interrupted "BACK" restored has the staged copy's content.
bool othersFileAt(const std::string& path, const std::string& staged) {
  if (platform::fileSize(path) < 0) return false;
  return platform::fileSize(path) != platform::fileSize(staged) ||
         platform::fingerprintFile(path) != platform::fingerprintFile(staged);
}

// Restores file entry i. A staged copy that is missing or not of the recorded size never
// replaces anything: a file at path was then never moved out, and nothing at path makes the
// entry unrestorable. Nor does a good staged copy replace a different file that stands at
// path: both are kept, and the staging area stays. A copy that fails stops the program:
// what stood at path must not pass for the restored file.
void restoreFile(const State& state, platform::Gui& gui, int64_t i, ProvenCopies& copies,
                 Restore& restore) {
  const FileEntry& entry = state.files[i];
  const std::string staged = stagedPath(state.stagingBase(), i).file;
  const int64_t stagedSize = platform::fileSize(staged);
  showRestoring(state, gui, entry, stagedSize);
  gui.drainEvents();

  if (stagedSize != entry.size) {
    if (platform::fileSize(entry.path) == platform::kNothingThere) ++restore.unrestorable;
  } else if (othersFileAt(entry.path, staged)) {
    ++restore.unrestorable;
  } else if (!copies.copy(i, staged, entry.path)) {
    stopForDriveError(gui);
  }
  gui.setState(app::kProgressBar, progressAt(i, static_cast<int64_t>(state.files.size())));
}

// A restored file in place (and proven, with the check): its recorded mode and dates, then
// the size check. A restored file of the wrong size stops the program.
void finishFile(const State& state, int64_t i, platform::Gui& gui, Restore& restore) {
  const FileEntry& entry = state.files[i];
  if (static_cast<size_t>(i) < restore.modes.size() && restore.modes[i] != 0)
    platform::setFileMode(entry.path, restore.modes[i]);
  setFileDates(entry, stagedPath(state.stagingBase(), i).file);
  waitForFile(entry.path);
  if (platform::fileSize(entry.path) != entry.size) stopForDriveError(gui);
  restore.folders.insert(platform::pathPart(entry.path));
}

// Creates the folder and any missing folder above it: a chosen folder comes back even when
// the user removed its emptied parent after "GO".
void createFolderChain(const std::string& path) {
  if (path.empty() || platform::fileSize(path) == platform::kIsFolder) return;
  const std::string parent = platform::pathPart(path.substr(0, path.size() - 1));
  if (parent.size() > 1) createFolderChain(parent);
  platform::createFolder(path);
}

void setFolderDates(const FileEntry& entry) {
  platform::setFileDate(entry.path, platform::kCreated, entry.created);
  platform::setFileDate(entry.path, platform::kModified, entry.modified);
  platform::setFileDate(entry.path, platform::kAccessed, entry.accessed);
}

// Syncs the volume of every folder that received a file; false when one cannot be synced.
bool makeDurable(const std::set<std::string>& folders) {
  bool durable = true;
  for (const std::string& folder : folders) durable = platform::syncVolume(folder) && durable;
  return durable;
}

}  // namespace

void moveBack(State& state, platform::Gui& gui) {
  gui.disable(app::kBackButton, true);
  gui.disable(app::kCheckBox, true);
  gui.keepOnTop(app::kMainWindow, true);
  const bool check = gui.state(app::kCheckBox) == 1;
  const std::string base = state.stagingBase();
  const int64_t n = static_cast<int64_t>(state.files.size());

  state.sizeLine = restoreSizeLine(state.stockSize);
  showStatus(gui, {state.sizeLine, "Load File Database", "Restore Prepare"});
  showStatus(gui, {state.sizeLine, "Restore Prepare Finish"});
  gui.setState(app::kProgressBar, 0);
  if (n == 0 || base.empty()) {
    gui.keepOnTop(app::kMainWindow, false);
    return;
  }

  // Restore pass: the list holds each folder before its content, so folders come first.
  Restore restore;
  restore.modes = readModes(base, n);
  ProvenCopies copies(
      gui, check, [&](int64_t i) { finishFile(state, i, gui, restore); },
      [&](int64_t i) {
        showRestoring(state, gui, state.files[i], platform::fileSize(stagedPath(base, i).file));
      });
  ReadAhead readAhead([&](int64_t i) { return state.files[i].kind == kFile ? stagedPath(base, i).file : ""; });
  int64_t folderNumber = 0;
  for (int64_t i = 0; i < n; ++i) {
    if (i % kPositionsPerFolder == 0) ++folderNumber;
    const FileEntry& entry = state.files[i];
    if (entry.kind == kFile) {
      readAhead.before(i, n);
      restoreFile(state, gui, i, copies, restore);
    } else if (entry.kind == kFolder) {
      createFolderChain(entry.path);
    }
  }
  copies.proveAll();

  // Date pass: after every file is back, so no later copy touches a folder's dates.
  for (int64_t i = 0; i < n; ++i) {
    if (state.files[i].kind != kFile) setFolderDates(state.files[i]);
    gui.setState(app::kProgressBar, progressAt(i, n));
  }

  // The staging area is the only other copy: it stays until every file is back on the disk.
  const bool durable = makeDurable(restore.folders);
  if (restore.unrestorable > 0) {
    showStatus(gui, {state.sizeLine,
                     "Files not restored: " + platform::integerText(restore.unrestorable)});
    stopForDriveError(gui);
  }
  if (!durable) stopForDriveError(gui);

  showStatus(gui, {state.sizeLine, "Delete temp files"});
  for (int64_t number = 1; number <= folderNumber; ++number) {
    platform::deleteFolder(stagingFolder(base, number));
  }
  platform::deleteFile(platform::joinPath(base, kDatabaseName));
  showStatus(gui, {state.sizeLine, "Finished"});
  gui.setState(app::kProgressBar, 100);
  gui.keepOnTop(app::kMainWindow, false);
}

}  // namespace staging
