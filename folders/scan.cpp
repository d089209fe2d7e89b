// "Move Folder": the folder window, then a depth-first scan of the chosen folders that lists
// folders and files until their sizes reach the need space. Only what "GO" can move and
// "BACK" can bring back is listed; everything else is passed over as if it were not there.
#include "folders/scan.h"

#include <set>

#include "app/widgets.h"
#include "folders/folder_window.h"
#include "folders/text.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "platform/volumes.h"
#include "staging/database.h"
#include "staging/state.h"

namespace folders {
namespace {

using staging::FileEntry;

constexpr size_t kShownFolderCharacters = 38;
const std::string kFinished = "Finished";
const std::string kStagingFolderPrefix = "Backup";

std::string progressText(const std::string& folder, int64_t stockSize) {
  return app::joinLines({lastCharacters(folder, kShownFolderCharacters), "", staging::stockSizeLine(stockSize)});
}

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// "Backup" + 3 or more digits: the staging folders beside Shelfdex.dat.
bool isStagingFolderName(const std::string& name) {
  if (name.size() < kStagingFolderPrefix.size() + 3 || name.rfind(kStagingFolderPrefix, 0) != 0)
    return false;
  for (size_t i = kStagingFolderPrefix.size(); i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

class Scanner {
 public:
  Scanner(staging::State& state, platform::Gui& gui)
      : state_(state), gui_(gui) {
    const std::string base = state.stagingBase();
    if (!base.empty()) {
      stagingBase_ = withSlash(base);
      largestFile_ = platform::largestFileOn(platform::volumeAt(base));
    }
    volumeRoots_.insert("/");
    for (const platform::Volume& volume : platform::volumeTable()) {
      volumeRoots_.insert(withSlash(volume.mountPoint));
      if (volume.mountPoint != "/" && platform::isKernelState(volume))
        kernelRoots_.insert(withSlash(volume.mountPoint));
    }
  }

  void scanChosen(const std::string& chosen) {
    const std::string folder = withSlash(chosen);
    if (!storableText(folder) || insideStagingFolder(folder) || insideKernelVolume(folder)) return;
    appendOwnEntry(folder);
    scanFolder(folder);
  }

  bool finished() const { return finished_; }

 private:
  bool reached() const { return state_.stockSize >= state_.needSpace; }

  void showFinished(const std::string& folder) {
    gui_.setText(app::kStatusText,
                 app::joinLines({progressText(folder, state_.stockSize), kFinished}));
    gui_.drainEvents();
    state_.sizeLine = staging::stockSizeLine(state_.stockSize);
    finished_ = true;
  }

  // A chosen folder at or below a BackupNNN folder of the staging base.
  bool insideStagingFolder(const std::string& folder) const {
    if (stagingBase_.empty() || folder.size() <= stagingBase_.size() ||
        folder.compare(0, stagingBase_.size(), stagingBase_) != 0)
      return false;
    const size_t end = folder.find('/', stagingBase_.size());
    return isStagingFolderName(folder.substr(stagingBase_.size(), end - stagingBase_.size()));
  }

  // A folder at or below the mount point of a kernel file system (/proc, /sys, /dev): its
  // "files" are the system's state, not room on a disk, and moving them would harm the
  // running system (/proc/kcore alone claims terabytes).
  // The volume mounted deepest above the folder decides: /dev/shm is a RAM disk inside /dev.
  bool insideKernelVolume(const std::string& folder) const {
    std::string deepest;
    for (const std::string& root : volumeRoots_)
      if (root.size() > deepest.size() && folder.compare(0, root.size(), root) == 0) deepest = root;
    return kernelRoots_.count(deepest) != 0;
  }

  // The chosen folder's entry, dated from its parent's listing. A volume root has none:
  // it is no folder of the volume it is mounted on.
  void appendOwnEntry(const std::string& folder) {
    if (volumeRoots_.count(folder)) return;
    const std::string parent = platform::pathPart(folder.substr(0, folder.size() - 1));
    platform::FolderScan scan(parent);
    while (scan.ok() && scan.next()) {
      if (scan.type() != platform::kEntryFolder || parent + scan.name() + "/" != folder) continue;
      state_.appendFile(folderEntry(folder, scan));
      return;  // names are unique within a folder
    }
  }

  static FileEntry folderEntry(const std::string& path, const platform::FolderScan& scan) {
    return FileEntry{path, staging::kFolder, scan.date(platform::kCreated),
                     scan.date(platform::kModified), scan.date(platform::kAccessed), 0};
  }

  static FileEntry fileEntry(std::string path, int64_t size, const platform::FolderScan& scan) {
    return FileEntry{std::move(path), staging::kFile, scan.date(platform::kCreated),
                     scan.date(platform::kModified), scan.date(platform::kAccessed), size};
  }

  void scanFolder(const std::string& chosen) {
    if (reached()) {
      showFinished(chosen);
      return;
    }
    const std::string folder = withSlash(chosen);
    platform::FolderScan scan(folder);
    gui_.setText(app::kStatusText, progressText(folder, state_.stockSize));
    gui_.drainEvents();
    const bool atStagingBase = folder == stagingBase_;
    int writable = -1;  // whether files can be deleted from folder; asked at its first file
    while (scan.ok() && scan.next()) {
      const std::string& name = scan.name();
      if (!storableText(name)) continue;
      const int type = scan.type();
      if (type == platform::kEntryFolder) {
        if (atStagingBase && isStagingFolderName(name)) continue;
        std::string sub = folder + name + "/";
        if (kernelRoots_.count(sub) || state_.isListed(sub)) continue;
        state_.appendFile(folderEntry(sub, scan));
        scanFolder(sub);
        if (reached()) return;  // the rest of this folder would add nothing
      } else if (type == platform::kEntryFile) {
        if (atStagingBase && name == staging::kDatabaseName) continue;
        std::string path = folder + name;
        if (state_.isListed(path)) continue;
        if (writable < 0) writable = platform::canWriteInto(folder) ? 1 : 0;
        if (!writable || !scan.readable()) continue;
        // Size and dates from the listing: one examination of the entry, relative to its
        // folder, instead of four lookups of the whole path.
        const int64_t size = scan.size();
        if (size < 0 || size > largestFile_) continue;  // gone meanwhile, or too big to stage
        state_.appendFile(fileEntry(std::move(path), size, scan));
        state_.stockSize += size;
        if (reached()) {
          showFinished(folder);
          return;
        }
      }
      // Links, FIFOs, sockets and devices: never listed, never followed.
    }
  }

  staging::State& state_;
  platform::Gui& gui_;
  std::string stagingBase_;              // with "/"; "" without a staging drive
  int64_t largestFile_ = INT64_MAX;      // bytes one staged file may have
  std::set<std::string> volumeRoots_;    // mount points, each with "/"
  std::set<std::string> kernelRoots_;    // mount points of kernel file systems
  bool finished_ = false;
};

}  // namespace

void scanChosenFolders(staging::State& state, platform::Gui& gui) {
  if (state.folders.empty()) return;
  Scanner scanner(state, gui);
  for (const std::string& folder : state.folders) scanner.scanChosen(folder);

  // Decided by the scan itself, not by looking for "Finished" in the status text, which a
  // folder named so would show too.
  if (scanner.finished()) {
    gui.disable(app::kGoButton, false);
    gui.disable(app::kPresetBox, true);
    gui.disable(app::kDriveBox, true);
    gui.disable(app::kMoveFolderButton, true);
  } else {
    gui.setText(app::kStatusText,
                app::joinLines({gui.text(app::kStatusText), "Did not stock files."}));
  }
}

void moveFolder(staging::State& state, platform::Gui& gui) {
  state.stockSize = 0;
  chooseFolders(state, gui, "Move Folder");
  scanChosenFolders(state, gui);
}

}  // namespace folders
