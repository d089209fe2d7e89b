// "BACK": copies every staged file back to its old path (proving it when the check box is
// ticked), gives files and folders their recorded dates, and removes the staging area only
// when every file is back and on the disk.
#include "staging/move_back.h"

#include <climits>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "ui/window.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "platform/volumes.h"
#include "staging/database.h"
#include "staging/state.h"
#include "staging/transfer.h"

namespace staging {
namespace {

constexpr int kWaitForFileMs = 3000;  // a failed copy leaves nothing, so the wait is bounded

// What the restore pass leaves for the steps after it.
struct Restore {
  int64_t unrestorable = 0;           // files not put back: no usable staged copy and nothing
                                      // at path, another file at path, or a copy that failed
  std::string firstUnrestored;        // the path of the first of them
  VolumeSyncs volumes;                // where the restored files lie
  std::vector<int64_t> superseded;    // positions whose staged copy is no longer needed: put
                                      // back, or a broken copy of a file that never left

  void notRestored(const FileEntry& entry) {
    if (unrestorable++ == 0) firstUnrestored = entry.path;
  }
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
  ui::showStatus(gui, {state.sizeLine, "File>" + platform::filePart(entry.path),
                   "Size>" + megabytesText(stagedSize)});
}

// True when something stands at path that is not the staged copy: a file the user put there
// after "GO" (or a link, a FIFO). A file an earlier, interrupted "BACK" restored has the
// staged copy's content.
bool othersFileAt(const std::string& path, const std::string& staged) {
  if (!platform::existsAt(path)) return false;
  return platform::fileSize(path) != platform::fileSize(staged) ||
         platform::fingerprintFile(path) != platform::fingerprintFile(staged);
}

// The first folder "GO" took files from whose volume is not the one there now (not
// mounted, or another one mounted in its place); "" when every one is where it was.
std::string missingVolume(const MoveFacts& facts) {
  for (const SourceVolume& volume : facts.volumes)
    if (!volume.identity.empty() && platform::volumeIdentity(volume.folder) != volume.identity)
      return volume.folder;
  return "";
}

// Removes the temporaries an interrupted copy left where files are restored to.
void clearRestoreFolders(const State& state) {
  std::set<std::string> folders;
  for (const FileEntry& entry : state.files)
    folders.insert(entry.kind == kFolder ? entry.path : platform::pathPart(entry.path));
  for (const std::string& folder : folders) platform::removeStaleTemporaries(folder);
}

// Restores file entry i. A staged copy that is missing or not of the recorded size never
// replaces anything: a file at path was then never moved out, and nothing at path makes the
// entry unrestorable. Nor does a good staged copy replace something else that stands at
// path: both are kept, and the staging area stays. A copy that cannot be made leaves the
// staged copy for a later "BACK" and the pass goes on with the next file. With the check, a
// staged copy that no longer holds what "GO" recorded of its source is not put back at all:
// it holds rot, not the file that left.
void restoreFile(const State& state, platform::Gui& gui, int64_t i, ProvenCopies& copies,
                 Restore& restore) {
  const FileEntry& entry = state.files[i];
  const std::string staged = stagedPath(state.stagingBase(), i).file;
  const int64_t stagedSize = platform::fileSize(staged);
  showRestoring(state, gui, entry, stagedSize);
  gui.refreshWindow();

  const auto recorded = state.facts.sums.find(i);
  const platform::Fingerprints* left = recorded == state.facts.sums.end() ? nullptr : &recorded->second;
  if (stagedSize != entry.size) {
    if (!platform::existsAt(entry.path)) restore.notRestored(entry);
    else if (platform::existsAt(staged)) restore.superseded.push_back(i);
  } else if (othersFileAt(entry.path, staged) ||
             copies.copy(i, staged, entry.path, nullptr, left) != ProvenCopies::Copied::kMade) {
    restore.notRestored(entry);
  }
  gui.setState(ui::kProgressBar, progressAt(i, static_cast<int64_t>(state.files.size())));
}

// A restored file in place (and proven, with the check): its recorded mode and dates, then
// the size check. A restored file of the wrong size is removed (the staged copy stays) and
// stops the program.
void finishFile(const State& state, int64_t i, platform::Gui& gui, Restore& restore) {
  const FileEntry& entry = state.files[i];
  // A staging volume that keeps no modes or owners (FAT, exFAT, NTFS) gave the staged copy
  // its own: the recorded ones stand.
  const auto recorded = state.facts.modes.find(i);
  if (recorded != state.facts.modes.end() && platform::ownershipOf(entry.path) != recorded->second)
    platform::restoreOwnership(entry.path, recorded->second);
  setFileDates(entry, stagedPath(state.stagingBase(), i).file);
  waitForFile(entry.path);
  if (platform::fileSize(entry.path) != entry.size) {
    platform::deleteFile(entry.path);
    stopForDriveError(gui);
  }
  restore.volumes.add(platform::pathPart(entry.path));
  restore.superseded.push_back(i);
}

// Creates the folder and missing folders above it, at most levelsAbove of them: a chosen
// folder comes back even when the user removed its emptied parent after "GO".
void createFolderChain(const std::string& path, int levelsAbove) {
  if (path.empty() || platform::fileSize(path) == platform::kIsFolder) return;
  const std::string parent = platform::pathPart(path.substr(0, path.size() - 1));
  if (parent.size() > 1 && platform::fileSize(parent) != platform::kIsFolder) {
    if (levelsAbove == 0) return;
    createFolderChain(parent, levelsAbove - 1);
  }
  platform::createFolder(path);
}

// Gives the folders this "BACK" made again the mode and owner "GO" recorded, the deepest
// first, so a folder closed to the user is closed only after everything below it.
void restoreFolderModes(const State& state, const std::vector<int64_t>& recreated) {
  for (auto i = recreated.rbegin(); i != recreated.rend(); ++i) {
    const auto mode = state.facts.modes.find(*i);
    if (mode != state.facts.modes.end())
      platform::restoreOwnership(state.files[static_cast<size_t>(*i)].path, mode->second);
  }
}

void setFolderDates(const FileEntry& entry) {
  platform::setFileDate(entry.path, platform::kCreated, entry.created);
  platform::setFileDate(entry.path, platform::kModified, entry.modified);
  platform::setFileDate(entry.path, platform::kAccessed, entry.accessed);
}

// Makes every restored file durable: one sync of each volume that received a file, or each
// file on its own where its volume cannot be synced at once (FUSE); false when one cannot be
// made durable.
bool makeDurable(const State& state, Restore& restore) {
  if (restore.volumes.syncAll()) return true;
  bool durable = true;
  for (int64_t i : restore.superseded) {
    const std::string& path = state.files[static_cast<size_t>(i)].path;
    if (restore.volumes.needsOwnSync(platform::pathPart(path)) && platform::existsAt(path))
      durable = platform::flushAndForget(path) && durable;
  }
  return durable;
}

// Deletes what the restore made superfluous, and only that: the staged copies no longer
// needed, then the staging folders once empty, then the database and its companions.
// The first thing that could not be deleted; "" when everything went.
std::string cleanUp(const State& state, const Restore& restore, int64_t folderCount) {
  const std::string base = state.stagingBase();
  std::vector<int64_t> positions = restore.superseded;
  positions.insert(positions.end(), state.facts.kept.begin(), state.facts.kept.end());
  for (int64_t i : positions) {
    const std::string staged = stagedPath(base, i).file;
    if (platform::existsAt(staged) && !platform::deleteFile(staged)) return staged;
  }
  for (int64_t number = 1; number <= folderCount; ++number) {
    const std::string folder = stagingFolder(base, number);
    if (!platform::existsAt(folder)) continue;
    platform::removeStaleTemporaries(folder);
    if (!platform::deleteEmptyFolder(folder)) return folder;
  }
  platform::removeStaleTemporaries(base);
  for (const std::string& name :
       {kDatabaseName, kFactsName, kKeptListName, kSha1ListName, kMd5ListName}) {
    const std::string path = platform::joinPath(base, name);
    if (platform::existsAt(path) && !platform::deleteFile(path)) return path;
  }
  return "";
}

}  // namespace

void moveBack(State& state, platform::Gui& gui) {
  gui.disable(ui::kBackButton, true);
  gui.disable(ui::kCheckBox, true);
  gui.keepOnTop(ui::kMainWindow, true);
  const bool check = gui.state(ui::kCheckBox) == 1;
  const std::string base = state.stagingBase();
  const int64_t n = static_cast<int64_t>(state.files.size());

  state.sizeLine = restoreSizeLine(state.stockSize);
  ui::showStatus(gui, {state.sizeLine, kLoadedLine, kRestorePrepareLine});
  ui::showStatus(gui, {state.sizeLine, "Restore Prepare Finish"});
  gui.setState(ui::kProgressBar, 0);
  if (n == 0 || base.empty()) {
    gui.keepOnTop(ui::kMainWindow, false);
    return;
  }

  // Nothing is written before the files' volumes are known to be the ones they left.
  const StagingLock lock(base);
  if (lock.heldElsewhere()) refuseOccupiedArea(gui);
  const std::string missing = missingVolume(state.facts);
  if (!missing.empty()) {
    ui::showStatus(gui, {state.sizeLine, "Volume not found: " + missing});
    stopForDriveError(gui);
  }
  clearRestoreFolders(state);

  // Restore pass: the list holds each folder before its content, so folders come first.
  // Without the recorded volumes, no folder is made above a chosen folder's own parent.
  const int levelsAbove = state.facts.present ? INT_MAX : 1;
  Restore restore;
  ProvenCopies copies(
      gui, check, ProvenCopies::FailedCopy::kReport, [&](int64_t i) {
        showRestoring(state, gui, state.files[i], platform::fileSize(stagedPath(base, i).file));
      });
  ReadAhead readAhead([&](int64_t i) { return state.files[i].kind == kFile ? stagedPath(base, i).file : ""; });
  int64_t folderCount = 0;
  std::vector<int64_t> recreated;  // folder entries that were missing and are made again
  for (int64_t i = 0; i < n; ++i) {
    if (i % kPositionsPerFolder == 0) ++folderCount;
    const FileEntry& entry = state.files[i];
    if (entry.kind == kFile && state.facts.kept.count(i) == 0) {
      readAhead.before(i, n);
      restoreFile(state, gui, i, copies, restore);
    } else if (entry.kind == kFolder && platform::fileSize(entry.path) != platform::kIsFolder) {
      createFolderChain(entry.path, levelsAbove);
      if (platform::fileSize(entry.path) == platform::kIsFolder) recreated.push_back(i);
    }
  }
  // Each file back in place (and proven, with the check): its mode, dates, the size check.
  for (const ProvenCopies::Done& done : copies.proveAll()) finishFile(state, done.id, gui, restore);

  // Date pass: after every file is back, so no later copy touches a folder's dates.
  for (int64_t i = 0; i < n; ++i) {
    if (state.files[i].kind != kFile) setFolderDates(state.files[i]);
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }

  // The staging area is the only other copy: it stays until every file is back on the disk.
  const bool durable = makeDurable(state, restore);
  restoreFolderModes(state, recreated);
  if (restore.unrestorable > 0) {
    ui::showStatus(gui, {state.sizeLine, "Files not restored: " + platform::integerText(restore.unrestorable),
                     restore.firstUnrestored});
    stopForDriveError(gui);
  }
  if (!durable) stopForDriveError(gui);

  ui::showStatus(gui, {state.sizeLine, "Delete temp files"});
  const std::string left = cleanUp(state, restore, folderCount);
  if (!left.empty()) {
    ui::showStatus(gui, {state.sizeLine, "Delete temp files", "Could not delete: " + left});
    stopForDriveError(gui);
  }
  ui::showStatus(gui, {state.sizeLine, "Finished"});
  gui.setState(ui::kProgressBar, 100);
  gui.keepOnTop(ui::kMainWindow, false);
}

}  // namespace staging
