// Shelfdex.dat: a 16-byte header (stock size, entry count) and one record per entry, written
// before anything is copied and read back when the user drops it on the window.
#include "staging/database.h"

#include <climits>

#include "ui/window.h"
#include "platform/text.h"
#include "platform/datafile.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "staging/places.h"

namespace staging {
namespace {

constexpr int64_t kHeaderBytes = 16;
constexpr int64_t kSmallestRecordBytes = 23;  // empty path + CR LF + kind + 3 dates + size

// Decimal, left-filled with "0" to width; never cut, so numbers past the width stay unique.
std::string digits(int64_t value, int width) {
  std::string text = platform::integerText(value);
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), '0');
  return text;
}

}  // namespace

bool isCanonicalPath(const std::string& path, bool folder) {
  if (path.size() < 2 || path[0] != '/' || path.size() >= PATH_MAX) return false;
  if (folder != (path.back() == '/')) return false;
  const size_t end = folder ? path.size() - 1 : path.size();
  for (size_t start = 1; start <= end;) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos || slash > end) slash = end;
    const size_t length = slash - start;
    if (length == 0 || length > NAME_MAX) return false;
    if (path.compare(start, length, ".") == 0 || path.compare(start, length, "..") == 0) return false;
    start = slash + 1;
  }
  return true;
}

namespace {

// An entry this program could have written: a sound UTF-8 path that ends with "/" exactly
// when it names a folder, and a size of 0 or more.
bool isSoundEntry(const FileEntry& entry) {
  if (entry.kind != kFile && entry.kind != kFolder) return false;
  if (!isCanonicalPath(entry.path, entry.kind == kFolder) || !platform::storableText(entry.path)) return false;
  return entry.size >= 0;
}

std::optional<Database> parseDatabase(platform::DataFile file, bool* damaged) {
  if (damaged) *damaged = false;
  if (!file.ok()) return std::nullopt;
  auto refuse = [&]() -> std::optional<Database> {
    if (damaged) *damaged = true;
    file.close();
    return std::nullopt;
  };

  if (file.length() < kHeaderBytes) return refuse();
  Database database;
  database.stockSize = file.readInt64();
  const int64_t count = file.readInt64();
  // The count is checked against what the file can hold before anything is reserved. The
  // stock size need not be the sum of the sizes (a second "Move Folder" starts it at 0 again).
  if (database.stockSize < 0 || count <= 0 ||
      count > (file.length() - kHeaderBytes) / kSmallestRecordBytes)
    return refuse();
  database.files.reserve(static_cast<size_t>(count));
  for (int64_t i = 0; i < count; ++i) {
    FileEntry entry;
    entry.path = file.readTextLine();
    entry.kind = file.readByte();
    entry.created = file.readInt32();
    entry.modified = file.readInt32();
    entry.accessed = file.readInt32();
    entry.size = file.readInt64();
    if (file.ranPastEnd() || !isSoundEntry(entry)) return refuse();
    database.files.push_back(std::move(entry));
  }
  // Bytes after the last record mean the count was damaged: entries would go unrestored.
  if (!file.atEnd()) return refuse();
  file.close();
  return database;
}

}  // namespace

std::string stagingFolder(const std::string& base, int64_t folderNumber) {
  return platform::joinPath(base, "Backup" + digits(folderNumber, 3));
}

StagedPath stagedPath(const std::string& base, int64_t position) {
  StagedPath staged;
  staged.folder = stagingFolder(base, position / kPositionsPerFolder + 1);
  staged.file = staged.folder + "/F" + digits(position, 7) + ".dat";
  return staged;
}

bool writeDatabase(const platform::Held& base, int64_t stockSize, const std::vector<FileEntry>& files) {
  if (!base) return false;
  platform::DataFile file = platform::DataFile::create(kDatabaseName, base->fd(), 0600);  // the user's alone
  if (!file.ok()) return false;
  file.writeInt64(stockSize);
  file.writeInt64(static_cast<int64_t>(files.size()));
  for (const FileEntry& entry : files) {
    file.writeTextLine(entry.path);
    file.writeByte(entry.kind);
    file.writeInt32(entry.created);
    file.writeInt32(entry.modified);
    file.writeInt32(entry.accessed);
    file.writeInt64(entry.size);
  }
  return file.close();
}

std::string sha1OfDatabase(const platform::Held& base) {
  return platform::fingerprintAt(platform::Place{base, kDatabaseName}).sha1;
}

std::optional<Database> readDatabase(const std::string& path, bool* damaged) {
  return parseDatabase(platform::DataFile::openForReading(path), damaged);
}

std::optional<Database> readDatabase(const platform::Place& place, bool* damaged) {
  if (!place.folder) {
    if (damaged) *damaged = false;
    return std::nullopt;
  }
  return parseDatabase(platform::DataFile::openForReading(place.name, place.folder->fd()), damaged);
}

void acceptDrop(State& state, platform::Gui& gui, const std::string& dropped) {
  if (!state.files.empty()) return;
  std::string chosen;
  size_t start = 0;
  while (start <= dropped.size() && chosen.empty()) {
    size_t end = dropped.find('\n', start);
    if (end == std::string::npos) end = dropped.size();
    const std::string path = dropped.substr(start, end - start);
    if (!path.empty() && platform::filePart(path) == kDatabaseName) chosen = path;
    start = end + 1;
  }
  if (chosen.empty()) return;

  // The folder as it stands now, its links resolved once; from here on it is reached only
  // without links.
  std::string root = platform::canonicalPath(platform::pathPart(chosen));
  const platform::Held base = platform::holdFolder(root);
  bool damaged = false, factsDamaged = false;
  std::optional<Database> database = readDatabase(platform::Place{base, kDatabaseName}, &damaged);
  std::optional<MoveFacts> facts = database ? readFacts(base, factsDamaged) : std::nullopt;
  // A database that parses may still not be the one "GO" wrote: a changed path would restore
  // a file under another name. Where its fingerprint was recorded, it must match.
  if (facts && !facts->databaseSha1.empty() && sha1OfDatabase(base) != facts->databaseSha1) {
    facts.reset();
    factsDamaged = true;
  }
  // Every entry lies beneath a folder the list starts from, as every list "GO" writes does.
  if (database && facts && !ListPlaces(database->files, chosenFoldersOf(database->files, *facts)).allBeneath()) {
    database.reset();
    damaged = true;
  }
  if (!database || !facts) {
    if (damaged || factsDamaged) gui.setText(ui::kStatusText, "Shelfdex.dat is damaged.");
    return;
  }

  gui.disable(ui::kGoButton, true);
  gui.disable(ui::kPresetBox, true);
  gui.disable(ui::kDriveBox, true);
  gui.disable(ui::kMoveFolderButton, true);

  state.drives.assign(1, DriveEntry{root, 0});
  state.currentDrive = 0;
  state.folders.clear();
  state.clearFiles();
  for (FileEntry& entry : database->files) state.appendFile(std::move(entry));
  state.stockSize = database->stockSize;
  state.facts = std::move(*facts);

  state.sizeLine = restoreSizeLine(state.stockSize);
  gui.setText(ui::kStatusText, ui::joinLines({state.sizeLine, kLoadedLine, kRestorePrepareLine}));
  gui.disable(ui::kBackButton, false);
}

}  // namespace staging
