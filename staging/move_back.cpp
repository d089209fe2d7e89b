// "BACK": copies every staged file back to its old path (proving it when the check box is
// ticked), gives files and folders their recorded dates, and removes the staging area only
// when every file is back and on the disk.
#include "staging/move_back.h"

#include <climits>
#include <ctime>
#include <set>
#include <string_view>
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
#include "staging/places.h"
#include "staging/state.h"
#include "staging/transfer.h"

namespace staging {
namespace {

// What the restore pass leaves for the steps after it.
struct Restore {
  int64_t unrestorable = 0;           // files not put back: no usable staged copy and nothing
                                      // at path, another file or a link in the way, or a copy
                                      // that failed
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
timespec restoredTime(timespec exact, int32_t recorded) {
  const bool known = exact.tv_nsec >= 0 && exact.tv_nsec < 1000000000;
  if (known && platform::toDateValue(exact.tv_sec) == recorded) return exact;
  return timespec{platform::fromDateValue(recorded), 0};
}

const std::string kForeignTitle = "Not your staging area";
const std::string kNotRestoredLine = "Nothing restored.";

// The owner of what a foreign staging area brings back: the running user, or, for root,
// the owner of the chosen folder it lies in; the permission bits of mode, no set-id bit.
platform::Ownership foreignOwnership(int64_t mode, ListPlaces& places, size_t i) {
  platform::Ownership owner = platform::asRunningUser(mode);
  if (platform::maySetOwners()) {
    const platform::Ownership top = platform::heldOwnership(places.top(places.topOf(i)));
    if (top.mode >= 0) owner.owner = top.owner, owner.group = top.group;
  }
  return owner;
}

// The attributes recorded of entry i that it is given again: all of them from the user's
// own facts; from any other staging area only those that grant no one any right.
platform::Attributes attributesToGive(const MoveFacts& facts, int64_t i) {
  const auto recorded = facts.attributes.find(i);
  if (recorded == facts.attributes.end()) return {};
  platform::Attributes attributes = recorded->second;
  if (!facts.own)
    std::erase_if(attributes.extended,
                  [](const auto& attribute) { return platform::grantsRights(attribute.first); });
  return attributes;
}

// What a restored file is given besides its bytes, all set on the copy before it takes its
// name: from the user's own facts its recorded owner, group and mode; from any other staging
// area only permission bits, as a foreign file (never another owner or a set-id bit that only
// the staging area vouches for); its dates; and the size the size check wants.
CopyTerms restoreTerms(const State& state, int64_t i, const platform::Place& staged, ListPlaces& places) {
  const FileEntry& entry = state.files[static_cast<size_t>(i)];
  CopyTerms terms;
  const auto recorded = state.facts.modes.find(i);
  const bool known = recorded != state.facts.modes.end();
  if (known && state.facts.own) terms.ownership = recorded->second;
  else terms.ownership = foreignOwnership(known ? recorded->second.mode : platform::ownershipAt(staged).mode,
                                          places, static_cast<size_t>(i));
  const auto exact = state.facts.times.find(i);
  if (exact != state.facts.times.end()) {
    terms.times = std::array<timespec, 2>{exact->second.accessed, exact->second.modified};
    terms.attributes = attributesToGive(state.facts, i);
    terms.keepInherited = !state.facts.own;
    const auto data = state.facts.data.find(i);
    if (data != state.facts.data.end()) terms.data = &data->second;
  } else {
    timespec accessed{0, -1}, modified{0, -1};  // not known until read
    platform::timesAt(staged, accessed, modified);
    terms.times =
        std::array<timespec, 2>{restoredTime(accessed, entry.accessed), restoredTime(modified, entry.modified)};
  }
  terms.size = entry.size;
  const auto sums = state.facts.sums.find(i);
  if (sums != state.facts.sums.end()) terms.expected = &sums->second;
  return terms;
}

void showRestoring(const State& state, platform::Gui& gui, const FileEntry& entry, int64_t stagedSize) {
  ui::showStatus(gui, {state.sizeLine, "File>" + platform::filePart(entry.path),
                   "Size>" + megabytesText(stagedSize)});
}

// True when the regular file at target holds the staged copy's bytes: the file an earlier,
// interrupted "BACK" put back. It is left exactly as it stands.
bool holdsStagedBytes(const platform::Place& target, const platform::Place& staged) {
  return platform::standingAt(target) == platform::Standing::kFile &&
         platform::identityAt(target).size == platform::identityAt(staged).size &&
         platform::fingerprintAt(target) == platform::fingerprintAt(staged);
}

// The first folder "GO" took files from whose volume is not the one there now (not
// mounted, or another one mounted in its place); "" when every one is where it was.
std::string missingVolume(const MoveFacts& facts) {
  for (const SourceVolume& volume : facts.volumes)
    if (!volume.identity.empty() && platform::volumeIdentity(volume.folder) != volume.identity)
      return volume.folder;
  return "";
}

// Removes the temporaries an interrupted copy left where files are restored to, in the
// folders beneath the chosen ones only.
void clearRestoreFolders(const State& state, ListPlaces& places) {
  std::set<std::string_view> done;
  for (size_t i = 0; i < state.files.size(); ++i) {
    const FileEntry& entry = state.files[i];
    const std::string_view folder =
        entry.kind == kFolder ? std::string_view(entry.path)
                              : std::string_view(entry.path).substr(0, entry.path.rfind('/') + 1);
    if (!done.insert(folder).second) continue;
    platform::removeStaleTemporaries(entry.kind == kFolder ? places.folderOf(i) : places.placeOf(i).folder);
  }
}

// Restores file entry i beneath its chosen folder. A staged copy that is missing or not of
// the recorded size never replaces anything: a file at path was then never moved out, and
// nothing at path makes the entry unrestorable. Nothing ever replaces what stands at path: a
// file with the staged copy's bytes is left as it is, anything else (another file, a link,
// a folder) keeps the staged copy for a later "BACK". A copy that cannot be made does too,
// and the pass goes on with the next file. With the check, a staged copy that no longer
// holds what "GO" recorded of its source is not put back at all: it holds rot, not the file
// that left. A copy of the wrong size stops the program; the staged copy stays.
void restoreFile(const State& state, platform::Gui& gui, int64_t i, ProvenCopies& copies,
                 Restore& restore, ListPlaces& places, StagingArea& area) {
  const FileEntry& entry = state.files[i];
  const platform::Place staged = area.copyOf(i);
  const int64_t stagedSize = platform::identityAt(staged).size;
  showRestoring(state, gui, entry, stagedSize);
  gui.refreshWindow();

  const platform::Place target = places.placeOf(static_cast<size_t>(i));
  const bool taken = platform::standingAt(target) != platform::Standing::kNothing;
  if (!target.folder) {
    restore.notRestored(entry);
  } else if (stagedSize != entry.size) {
    if (!taken) restore.notRestored(entry);
    else if (platform::standingAt(staged) != platform::Standing::kNothing) restore.superseded.push_back(i);
  } else if (taken) {
    if (holdsStagedBytes(target, staged)) restore.superseded.push_back(i);
    else restore.notRestored(entry);
  } else {
    const ProvenCopies::Copied copied = copies.copy(i, staged, target, restoreTerms(state, i, staged, places));
    if (copied == ProvenCopies::Copied::kWrongSize) stopForDriveError(gui);
    if (copied != ProvenCopies::Copied::kMade) restore.notRestored(entry);
  }
  gui.setState(ui::kProgressBar, progressAt(i, static_cast<int64_t>(state.files.size())));
}

// A restored file in place (and proven, with the check); one whose name something else
// took meanwhile is not restored.
void finishFile(const State& state, const ProvenCopies::Done& done, ListPlaces& places, Restore& restore) {
  if (!done.placed) {
    restore.notRestored(state.files[static_cast<size_t>(done.id)]);
    return;
  }
  restore.volumes.add(places.placeOf(static_cast<size_t>(done.id)).folder);
  restore.superseded.push_back(done.id);
}

// Gives the folders this "BACK" made again the attributes, mode and owner "GO" recorded (as
// a foreign area's files get them), the deepest first, so a folder closed to the user is
// closed only after everything below it.
void restoreFolderModes(const State& state, ListPlaces& places, const std::vector<int64_t>& recreated) {
  for (auto i = recreated.rbegin(); i != recreated.rend(); ++i) {
    const size_t at = static_cast<size_t>(*i);
    const platform::Held folder = places.folderOf(at);
    // Attributes before the mode, which may close the folder to its owner's own changes.
    if (state.facts.times.count(*i) != 0)
      platform::setHeldAttributes(folder, attributesToGive(state.facts, *i), state.facts.own);
    const auto mode = state.facts.modes.find(*i);
    if (mode == state.facts.modes.end() && state.facts.own) continue;
    const platform::Ownership ownership =
        state.facts.own ? mode->second
                        : foreignOwnership(mode == state.facts.modes.end() ? platform::heldOwnership(folder).mode
                                                                           : mode->second.mode,
                                           places, at);
    platform::restoreHeldOwnership(folder, ownership);
  }
}

// A staging area this user's Burnshelf did not write is restored only after a clear yes to
// a question that names where it would write; true for yes.
bool foreignAreaAccepted(const std::vector<std::string>& tops, platform::Gui& gui) {
  constexpr size_t kNamed = 3;
  std::string where;
  for (size_t t = 0; t < tops.size() && t < kNamed; ++t) where += "\n" + tops[t];
  if (tops.size() > kNamed) where += "\n(and " + platform::integerText(static_cast<int64_t>(tops.size() - kNamed)) + " more)";
  return gui.messageBox(kForeignTitle,
                        "This staging area was not written by your Burnshelf. Restore its files into these folders?",
                        platform::kBoxQuestionYesNo,
                        where.substr(1) + "\n\nFiles come back " +
                            (platform::maySetOwners() ? "owned by the owner of the folder they lie in"
                                                      : "as your own") +
                            ", without set-uid or set-gid bits, and nothing already there is replaced.") ==
         platform::kAnswerYes;
}

// A kept entry of a foreign area is believed only when its file stands at its place with
// the recorded size; otherwise its staged copy is restored like any other.
bool keptInPlace(const State& state, int64_t i, ListPlaces& places) {
  if (state.facts.kept.count(i) == 0) return false;
  return state.facts.own ||
         platform::identityAt(places.placeOf(static_cast<size_t>(i))).size == state.files[static_cast<size_t>(i)].size;
}

// A folder's exact times where they were recorded, else its dates from the database.
void setFolderDates(const State& state, int64_t i, const platform::Held& folder) {
  const auto exact = state.facts.times.find(i);
  if (exact != state.facts.times.end()) {
    platform::setHeldTimes(folder, exact->second.accessed, exact->second.modified);
    return;
  }
  const FileEntry& entry = state.files[static_cast<size_t>(i)];
  platform::setHeldTimes(folder, timespec{platform::fromDateValue(entry.accessed), 0},
                         timespec{platform::fromDateValue(entry.modified), 0});
}

// Makes every restored file durable: one sync of each volume that received a file, or each
// file on its own where its volume cannot be synced at once (FUSE); false when one cannot be
// made durable.
bool makeDurable(const State& state, Restore& restore, ListPlaces& places) {
  if (restore.volumes.syncAll()) return true;
  bool durable = true;
  for (int64_t i : restore.superseded) {
    const platform::Place place = places.placeOf(static_cast<size_t>(i));
    if (state.files[static_cast<size_t>(i)].kind == kFile && restore.volumes.needsOwnSync(place.folder) &&
        platform::standingAt(place) == platform::Standing::kFile)
      durable = platform::flushAndForget(place) && durable;
  }
  return durable;
}

// Deletes what the restore made superfluous, and only that: the staged copies no longer
// needed, then the staging folders once empty, then the database and its companions.
// The first thing that could not be deleted; "" when everything went.
std::string cleanUp(const State& state, const Restore& restore, int64_t folderCount, StagingArea& area) {
  const std::string base = state.stagingBase();
  std::vector<int64_t> positions = restore.superseded;
  positions.insert(positions.end(), state.facts.kept.begin(), state.facts.kept.end());  // kept or restored
  for (int64_t i : positions)
    if (!platform::removeAt(area.copyOf(i))) return stagedPath(base, i).file;
  for (int64_t number = 1; number <= folderCount; ++number) {
    const std::string name = platform::filePart(stagingFolder("", number));
    if (platform::standingAt(area.at(name)) == platform::Standing::kNothing) continue;
    platform::removeStaleTemporaries(area.folder(number));
    if (!platform::removeEmptyFolderAt(area.at(name))) return stagingFolder(base, number);
  }
  platform::removeStaleTemporaries(area.base());
  for (const std::string& name :
       {kDatabaseName, kFactsName, kKeptListName, kContentsListName, kSha1ListName, kMd5ListName})
    if (!platform::removeAt(area.at(name))) return platform::joinPath(base, name);
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
  StagingArea area(base);
  if (!area.base()) stopForDriveError(gui);
  const StagingLock lock(area.base());
  if (lock.refused()) refuseOccupiedArea(gui, lock.reason());
  const std::string missing = missingVolume(state.facts);
  if (!missing.empty()) {
    ui::showStatus(gui, {state.sizeLine, "Volume not found: " + missing});
    stopForDriveError(gui);
  }
  const std::vector<std::string> tops = chosenFoldersOf(state.files, state.facts);
  if (!state.facts.own && !foreignAreaAccepted(tops, gui)) {
    ui::showStatus(gui, {state.sizeLine, kNotRestoredLine});
    gui.disable(ui::kBackButton, false);
    gui.keepOnTop(ui::kMainWindow, false);
    return;
  }
  ListPlaces places(state.files, tops);
  clearRestoreFolders(state, places);

  // Restore pass: the list holds each folder before its content, so folders come first.
  // Without the recorded volumes, no folder is made above a chosen folder's own parent.
  const int levelsAbove = state.facts.present ? INT_MAX : 1;
  Restore restore;
  ProvenCopies copies(gui, check, ProvenCopies::FailedCopy::kReport, [&](int64_t i) {
    showRestoring(state, gui, state.files[i], platform::identityAt(area.copyOf(i)).size);
  }, [&](int64_t i) { return std::make_pair(stagedPath(base, i).file, state.files[i].path); });
  ReadAhead readAhead([&](int64_t i) { return state.files[i].kind == kFile ? area.copyOf(i) : platform::Place{}; });
  int64_t folderCount = 0;
  std::vector<int64_t> recreated;  // folder entries that were missing and are made again
  for (int64_t i = 0; i < n; ++i) {
    if (i % kPositionsPerFolder == 0) ++folderCount;
    const FileEntry& entry = state.files[i];
    if (entry.kind == kFile && !keptInPlace(state, i, places)) {
      readAhead.before(i, n);
      restoreFile(state, gui, i, copies, restore, places, area);
    } else if (entry.kind == kFolder) {
      bool made = false;
      places.makeFolder(static_cast<size_t>(i), levelsAbove, &made);
      if (made) recreated.push_back(i);
    }
  }
  for (const ProvenCopies::Done& done : copies.proveAll()) finishFile(state, done, places, restore);

  // Date pass: after every file is back, so no later copy touches a folder's dates.
  for (int64_t i = 0; i < n; ++i) {
    if (state.files[i].kind != kFile) setFolderDates(state, i, places.folderOf(static_cast<size_t>(i)));
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }

  // The staging area is the only other copy: it stays until every file is back on the disk.
  const bool durable = makeDurable(state, restore, places);
  restoreFolderModes(state, places, recreated);
  if (restore.unrestorable > 0) {
    ui::showStatus(gui, {state.sizeLine, "Files not restored: " + platform::integerText(restore.unrestorable),
                     restore.firstUnrestored});
    stopForDriveError(gui);
  }
  if (!durable) stopForDriveError(gui);

  ui::showStatus(gui, {state.sizeLine, "Delete temp files"});
  const std::string left = cleanUp(state, restore, folderCount, area);
  if (!left.empty()) {
    ui::showStatus(gui, {state.sizeLine, "Delete temp files", "Could not delete: " + left});
    stopForDriveError(gui);
  }
  ui::showStatus(gui, {state.sizeLine, "Finished"});
  gui.setState(ui::kProgressBar, 100);
  gui.keepOnTop(ui::kMainWindow, false);
}

}  // namespace staging
