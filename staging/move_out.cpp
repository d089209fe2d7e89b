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
#include "staging/state.h"
#include "staging/transfer.h"

namespace staging {
namespace {

const std::string kDatabaseWritten = "Created File Database";
const std::string kBackupComplete = "Backup complete";

std::string notMovedLine(const State& state) {
  return "Files not moved: " + platform::integerText(static_cast<int64_t>(state.facts.kept.size()));
}

// What the copy pass learnt about one file entry, for the delete pass to decide on.
struct CopyRecord {
  bool staged = false;           // the copy is in place (and passed its check, when asked for)
  platform::FileIdentity seen;   // the source as it was read for the copy
  platform::Fingerprints prints; // of the bytes read for the copy, with the check
};

int64_t stagingFolderCount(int64_t entries) {
  return entries == 0 ? 0 : (entries - 1) / kPositionsPerFolder + 1;
}

// True when Shelfdex.dat with content, or a staging folder this run would use that holds
// anything (or is not a folder at all), already lies at the base: the only copies of an
// earlier move-out may be in it. What a stopped copy left there is removed first.
bool stagingAreaOccupied(const std::string& base, int64_t entries) {
  if (platform::fileSize(platform::joinPath(base, kDatabaseName)) > 0) return true;
  platform::removeStaleTemporaries(base);  // of Shelfdex.facts, or a list the user reads
  for (int64_t number = 1; number <= stagingFolderCount(entries); ++number) {
    const std::string folder = stagingFolder(base, number);
    const int64_t size = platform::fileSize(folder);
    if (size == platform::kNothingThere && !platform::existsAt(folder)) continue;
    if (size != platform::kIsFolder) return true;
    platform::removeStaleTemporaries(folder);
    platform::FolderListing listing(folder);
    if (!listing.ok() || listing.next()) return true;
  }
  return false;
}

// Shelfdex.dat, then its facts with the database's own fingerprint, so a database damaged
// later is refused at the drop even when it parses; true when both are written.
bool writeDatabaseAndFacts(const std::string& base, State& state) {
  if (!writeDatabase(base, state.stockSize, state.files)) return false;
  state.facts.databaseSha1 = platform::sha1OfFile(platform::joinPath(base, kDatabaseName));
  return !state.facts.databaseSha1.empty() && writeFacts(base, state.facts);
}

void showCopying(const State& state, platform::Gui& gui, const FileEntry& entry, int64_t size) {
  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, "FILE>" + platform::filePart(entry.path),
                   "SIZE>" + megabytesText(size)});
}

// Copies entry i to its staged path; its record is marked staged once the copy is proven.
// A source that is no longer the size the database records is left alone: "BACK" could
// never check its copy.
void copyEntry(const State& state, platform::Gui& gui, int64_t i, ProvenCopies& copies,
               CopyRecord& record) {
  const FileEntry& entry = state.files[i];
  const int64_t size = platform::fileSize(entry.path);
  showCopying(state, gui, entry, size);
  gui.refreshWindow();
  if (size != entry.size) return;
  copies.copy(i, entry.path, stagedPath(state.stagingBase(), i).file, &record.seen);
}

// True when the source may go: its copy is complete, and the source is still the very file
// that was read for it (same inode, size, last-write and change time).
bool mayDelete(const FileEntry& entry, const CopyRecord& record, const std::string& staged) {
  return record.staged && platform::fileSize(staged) == entry.size && record.seen.size == entry.size &&
         platform::fileIdentity(entry.path) == record.seen;
}

// Deletes the source of entry, or keeps it in place; true when it stays (or was never
// copied). A kept source loses its staged copy, so "BACK" never puts an older copy over a
// file the user may have changed; a source that is no longer a file keeps its copy, which
// may be the only one.
bool keptInPlace(const FileEntry& entry, const CopyRecord& record, const std::string& staged) {
  if (!record.staged) return true;
  if (mayDelete(entry, record, staged) && platform::deleteFile(entry.path)) return false;
  if (platform::fileIdentity(entry.path).size == platform::kNothingThere) return false;
  platform::deleteFile(staged);
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
  const std::string base = state.stagingBase();
  const int64_t n = static_cast<int64_t>(state.files.size());

  // Everything that could stop "GO" is asked before the first byte is written.
  if (base.empty()) stopForDriveError(gui);
  const StagingLock lock(base);
  if (lock.heldElsewhere() || stagingAreaOccupied(base, n)) refuseOccupiedArea(gui);
  state.facts = factsOfList(state.files);
  if (!writeDatabaseAndFacts(base, state)) {
    // Ours: none was there.
    platform::deleteFile(platform::joinPath(base, kDatabaseName));
    platform::deleteFile(platform::joinPath(base, kFactsName));
    stopForDriveError(gui);
  }
  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten});
  gui.setState(ui::kProgressBar, 0);

  // Copy pass: nothing is deleted until every file has been copied and proven.
  std::vector<CopyRecord> records(state.files.size());
  ProvenCopies copies(gui, check, ProvenCopies::FailedCopy::kAsk, [&](int64_t i) {
    showCopying(state, gui, state.files[i], platform::fileSize(state.files[i].path));
  });
  ReadAhead readAhead([&state](int64_t i) { return state.files[i].kind == kFile ? state.files[i].path : ""; });
  for (int64_t i = 0; i < n; ++i) {
    if (i % kPositionsPerFolder == 0) {
      const std::string folder = stagingFolder(base, i / kPositionsPerFolder + 1);
      if (platform::fileSize(folder) != platform::kIsFolder) platform::createFolder(folder);
    }
    if (state.files[i].kind != kFile) continue;
    readAhead.before(i, n);
    copyEntry(state, gui, i, copies, records[i]);
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }
  for (const ProvenCopies::Done& done : copies.proveAll()) {
    records[done.id].staged = true;
    records[done.id].prints = done.prints;
  }

  // Every copy reaches the disk before its source may go; where the volume cannot say so
  // at once, each copy is synced on its own and one that fails keeps its source.
  const bool allDurable = n == 0 || platform::syncVolume(base);

  ui::showStatus(gui, {state.sizeLine, kDatabaseWritten, "Delete Files"});
  for (int64_t i = 0; i < n; ++i) {
    const FileEntry& entry = state.files[i];
    if (entry.kind == kFile) {
      CopyRecord& record = records[i];
      const std::string staged = stagedPath(base, i).file;
      if (record.staged && !allDurable) record.staged = platform::flushAndForget(staged) != 0;
      if (keptInPlace(entry, record, staged)) state.facts.kept.insert(i);
      else if (!record.prints.sha1.empty()) state.facts.sums[i] = record.prints;
    }
    gui.setState(ui::kProgressBar, progressAt(i, n));
  }

  // A staging disk that went away (pulled out) keeps every source it did not take; that is
  // said at once, not "Backup complete".
  if (platform::fileSize(base) != platform::kIsFolder) {
    ui::showStatus(gui, {state.sizeLine, kDatabaseWritten,
                     notMovedLine(state)});
    stopForDriveError(gui);
  }
  // "BACK" passes over the files left in place (the user finds them named in the list) and
  // proves every staged copy against the fingerprints of what left.
  showMoved(state, gui);
  if (!writeFacts(base, state.facts) || !writeKeptList(base, state.files, state.facts.kept) ||
      !writeSumLists(base, state.facts))
    stopForDriveError(gui);
  gui.setState(ui::kProgressBar, 100);
  gui.disable(ui::kBackButton, false);
  gui.keepOnTop(ui::kMainWindow, false);
}

}  // namespace staging
