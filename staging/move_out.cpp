// "GO": writes Shelfdex.dat, copies every listed file into the staging folders (proving each
// copy when the check box is ticked), makes the copies durable, and only then deletes the
// sources whose copies are known to be complete and whose files have not changed since.
#include "staging/move_out.h"

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
#include "staging/space.h"
#include "staging/state.h"
#include "staging/transfer.h"

namespace staging {
namespace {

const std::string kDatabaseWritten = "Created File Database";
const std::string kBackupComplete = "Backup complete";
const std::string kRootNeedsOwnDriveLine = "As root, GO stages only where no one else can.";

std::string notMovedLine(const State& state) {
  return "Files not moved: " + platform::integerText(static_cast<int64_t>(state.facts.kept.size()));
}

// What the copy pass learnt about one file entry, for the delete pass to decide on.
struct CopyRecord {
  bool staged = false;           // the copy is in place (and passed its check, when asked for)
  platform::FileIdentity copy;   // the staged copy as it stood once in place
  platform::FileIdentity seen;   // the source as it was read for the copy
  platform::Fingerprints prints; // of the bytes read for the copy, with the check
  platform::Attributes attributes;         // the source's, as it was read
  std::vector<platform::DataRange> data;   // the stretches of data read from it
};

int64_t stagingFolderCount(int64_t entries) {
  return entries == 0 ? 0 : (entries - 1) / kPositionsPerFolder + 1;
}

// True when anything stands at Shelfdex.dat or at a staging folder this run would make:
// the only copies of an earlier move-out may be in it, or another user made it to read or
// steer what this one writes. What a stopped copy left in the base is removed first.
bool stagingAreaOccupied(const StagingArea& area, int64_t entries) {
  // An empty Shelfdex.dat of the user's own holds nothing; anything else there may.
  const platform::Place database = area.at(kDatabaseName);
  if (platform::standingAt(database) != platform::Standing::kNothing &&
      !(platform::identityAt(database).size == 0 && platform::ownershipAt(database).owner == platform::asRunningUser(0).owner))
    return true;
  platform::removeStaleTemporaries(area.base());  // of Shelfdex.facts, or a list the user reads
  for (int64_t number = 1; number <= stagingFolderCount(entries); ++number)
    if (platform::standingAt(area.at(platform::filePart(stagingFolder("", number)))) !=
        platform::Standing::kNothing)
      return true;
  return false;
}

// Shelfdex.dat, then its facts with the database's own fingerprint, so a database damaged
// later is refused at the drop even when it parses; true when both are written.
bool writeDatabaseAndFacts(const StagingArea& area, State& state) {
  if (!writeDatabase(area.base(), state.stockSize, state.files) ||
      !writeContentsList(area.base(), state.files, {}))
    return false;
  state.facts.databaseSha1 = sha1OfDatabase(area.base());
  return !state.facts.databaseSha1.empty() && writeFacts(area.base(), state.facts);
}

// The exact times and attributes of every listed folder as GO finds them, before it takes
// any file out of them; BACK gives them back to the folders.
void recordFolders(State& state, ListPlaces& sources) {
  for (size_t i = 0; i < state.files.size(); ++i) {
    if (state.files[i].kind != kFolder) continue;
    const platform::Held folder = sources.folderOf(i);
    const auto at = static_cast<int64_t>(i);
    ExactTimes times;
    if (platform::heldTimes(folder, times.accessed, times.modified)) state.facts.times[at] = times;
    platform::Attributes attributes;
    if (platform::heldAttributes(folder, attributes) == platform::AttributesRead::kRead &&
        !(attributes == platform::Attributes{}))
      state.facts.attributes[at] = std::move(attributes);
  }
}

// What must travel with a staged file besides its bytes: its exact times, its attributes,
// where it holds data when it has holes, and its fingerprints.
void recordStaged(State& state, int64_t i, CopyRecord& record) {
  state.facts.times[i] = ExactTimes{record.seen.accessed, record.seen.modified};
  if (!(record.attributes == platform::Attributes{})) state.facts.attributes[i] = std::move(record.attributes);
  const bool whole = record.data.size() == 1 && record.data[0] == platform::DataRange{0, record.seen.size};
  if (record.seen.size > 0 && !whole) state.facts.data[i] = std::move(record.data);
  if (!record.prints.sha1.empty()) state.facts.sums[i] = record.prints;
}

// A file kept in place takes none of its facts along.
void forgetKept(MoveFacts& facts) {
  for (int64_t i : facts.kept) {
    facts.sums.erase(i);
    facts.times.erase(i);
    facts.attributes.erase(i);
    facts.data.erase(i);
  }
}

void showCopying(const State& state, platform::Gui& gui, const FileEntry& entry, int64_t size) {
  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, "FILE>" + platform::filePart(entry.path),
                   "SIZE>" + megabytesText(size)});
}

// Copies entry i to its staged place; its record is marked staged once the copy is proven.
// Only the very file the scan listed is read, beneath its chosen folder; a source that is
// no longer the size the database records is left alone: "BACK" could never check its copy.
void copyEntry(const State& state, platform::Gui& gui, int64_t i, ProvenCopies& copies,
               const platform::Place& source, const platform::Place& staged, CopyRecord& record) {
  const FileEntry& entry = state.files[i];
  const int64_t size = platform::identityAt(source).size;
  showCopying(state, gui, entry, size);
  gui.refreshWindow();
  if (size != entry.size || !source.folder || !staged.folder) return;
  CopyTerms terms;
  terms.seen = &record.seen;
  terms.inode = state.listedInode(static_cast<size_t>(i));
  // The staging area is no place for others to read: the copy is the user's alone, and its
  // owner and mode travel in the facts.
  terms.ownership = platform::asRunningUser(0600);
  terms.attributesSeen = &record.attributes;
  terms.dataSeen = &record.data;
  copies.copy(i, source, staged, std::move(terms));
}

// Deletes the source of entry, or keeps it in place; true when it stays (or was never
// copied). The source goes only when its copy is complete and unchanged, no process holds it
// open for writing, and its name still stands for the
// very file that was read for it (same inode, size, last-write and change time). A kept
// source loses its staged copy, so "BACK" never puts an older copy over a file the user may
// have changed; a source that is no longer a file keeps its copy, which may be the only one.
bool keptInPlace(const FileEntry& entry, const CopyRecord& record, const platform::Place& source,
                 const platform::Place& staged) {
  if (!record.staged) return true;
  // The staged copy is proven again: unchanged since it took its name (same inode, size,
  // content and change time), so nobody who can write the staging area replaced it since.
  if (record.copy.size == entry.size && platform::identityAt(staged) == record.copy &&
      record.seen.size == entry.size && platform::removeIfSameAndUnused(source, record.seen))
    return false;
  if (platform::identityAt(source).size == platform::kNothingThere) return false;
  platform::removeAt(staged);
  return true;
}

// The status after the delete pass. With files left in place the first of them is named
// under their count; the label holds four lines, so "Created File Database" gives way to it.
void showMoved(const State& state, platform::Gui& gui) {
  if (state.facts.kept.empty()) {
    ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, kBackupComplete});
    return;
  }
  ui::showStatus(gui, {state.sizeLine, kBackupComplete, notMovedLine(state),
                       state.files[static_cast<size_t>(*state.facts.kept.begin())].path});
}

}  // namespace

void moveOut(State& state, platform::Gui& gui) {
  gui.disable(ui::kGoButton, true);
  gui.disable(ui::kCheckBox, true);
  gui.keepOnTop(ui::kMainWindow, true);
  const bool check = gui.state(ui::kCheckBox) == 1;
  const int64_t n = static_cast<int64_t>(state.files.size());

  // Everything that could stop "GO" is asked before the first byte is written. Root moves
  // other users' files: their copies never go where anyone else may read or change them.
  if (platform::maySetOwners() && platform::othersMayReach(platform::volumeAt(state.stagingBase()))) {
    ui::showStatus(gui, {kSharedDriveLine, kRootNeedsOwnDriveLine});
    gui.keepOnTop(ui::kMainWindow, false);
    return;
  }
  StagingArea area(state.stagingBase());
  if (!area.base()) stopForDriveError(gui);
  const StagingLock lock(area.base());
  if (lock.refused() || stagingAreaOccupied(area, n)) refuseOccupiedArea(gui, lock.reason());
  state.facts = factsOfList(state.files);
  state.facts.own = true;  // recorded by this run: believed by its own "BACK"
  ListPlaces sources(state.files, chosenFoldersOf(state.files, state.facts));
  recordFolders(state, sources);
  if (!writeDatabaseAndFacts(area, state)) {
    // Ours: none was there.
    for (const std::string& name : {kDatabaseName, kFactsName, kContentsListName}) platform::removeAt(area.at(name));
    stopForDriveError(gui);
  }
  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten});
  gui.setState(ui::kProgressBar, 0);

  // Copy pass: nothing is deleted until every file has been copied and proven. Each source
  // is reached beneath the chosen folder it was listed in, each copy beneath the staging
  // folder this "GO" made.
  std::vector<CopyRecord> records(state.files.size());
  ProvenCopies copies(gui, check, ProvenCopies::FailedCopy::kAsk, [&](int64_t i) {
    showCopying(state, gui, state.files[i], state.files[i].size);
  }, [&](int64_t i) { return std::make_pair(state.files[i].path, stagedPath(state.stagingBase(), i).file); });
  ReadAhead readAhead([&](int64_t i) {
    return state.files[i].kind == kFile ? sources.aheadOf(static_cast<size_t>(i)) : platform::Place{};
  });
  for (int64_t i = 0; i < n; ++i) {
    if (i % kPositionsPerFolder == 0) {
      bool made = false;
      area.folder(i / kPositionsPerFolder + 1, true, &made);
      if (!made) stopForDriveError(gui);  // only a staging folder this "GO" made holds copies
    }
    if (state.files[i].kind != kFile) continue;
    readAhead.before(i, n);
    copyEntry(state, gui, i, copies, sources.placeOf(static_cast<size_t>(i)), area.copyOf(i), records[i]);
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }
  for (const ProvenCopies::Done& done : copies.proveAll()) {
    records[done.id].staged = done.placed;
    records[done.id].copy = done.copy;
    records[done.id].prints = done.prints;
  }

  // Every copy reaches the disk before its source may go; where the volume cannot say so
  // at once, each copy is synced on its own and one that fails keeps its source.
  const bool allDurable = n == 0 || platform::syncHeldVolume(area.base());
  // What travels with each staged file is on the disk before any source goes, so a "GO"
  // stopped in the middle loses no time or attribute of what it took.
  for (int64_t i = 0; i < n; ++i)
    if (records[i].staged) recordStaged(state, i, records[i]);
  if (!writeFacts(area.base(), state.facts)) {
    for (int64_t i = 0; i < n; ++i)
      if (state.files[i].kind == kFile) state.facts.kept.insert(i);
    ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, notMovedLine(state)});
    stopForDriveError(gui);
  }

  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, "Delete Files"});
  for (int64_t i = 0; i < n; ++i) {
    const FileEntry& entry = state.files[i];
    if (entry.kind == kFile) {
      CopyRecord& record = records[i];
      const platform::Place staged = area.copyOf(i);
      if (record.staged && !allDurable) record.staged = platform::flushAndForget(staged);
      if (keptInPlace(entry, record, sources.placeOf(static_cast<size_t>(i)), staged)) state.facts.kept.insert(i);
    }
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }

  // A staging disk that went away (pulled out) keeps every source it did not take; that is
  // said at once, not "Backup complete".
  if (platform::fileSize(state.stagingBase()) != platform::kIsFolder) {
    ui::showStatus(gui, {state.sizeLine, kDatabaseWritten,
                     notMovedLine(state)});
    stopForDriveError(gui);
  }
  // "BACK" passes over the files left in place (the user finds them named in the list) and
  // proves every staged copy against the fingerprints of what left.
  showMoved(state, gui);
  forgetKept(state.facts);
  if (!writeFacts(area.base(), state.facts) || !writeKeptList(area.base(), state.files, state.facts.kept) ||
      !writeContentsList(area.base(), state.files, state.facts.kept) || !writeSumLists(area.base(), state.facts))
    stopForDriveError(gui);
  gui.setState(ui::kProgressBar, 100);
  gui.disable(ui::kBackButton, false);
  gui.keepOnTop(ui::kMainWindow, false);
}

}  // namespace staging
