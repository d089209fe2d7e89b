// "Move Folder": the folder window, then a depth-first scan of the chosen folders that lists
// folders and files until their sizes reach the need space. Only what "GO" can move and
// "BACK" can bring back is listed; everything else is passed over as if it were not there.
#include "folders/scan.h"

#include <map>
#include <set>

#include "ui/window.h"
#include "folders/folder_window.h"
#include "platform/text.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "platform/volumes.h"
#include "staging/state.h"

namespace folders {
namespace {

using staging::FileEntry;

constexpr size_t kShownFolderCharacters = 38;
const std::string kFinished = "Finished";

std::string progressText(const std::string& folder, int64_t stockSize) {
  return ui::joinLines({platform::lastCharacters(folder, kShownFolderCharacters), "", staging::stockSizeLine(stockSize)});
}

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool startsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

// The scan stays on the mount of each chosen folder, as du -x does: another volume, a RAM
// disk or a bind mount inside it would list the same files twice or files GO frees no room
// by moving. Only files with one link are listed: moving one name of a hard-linked file
// frees nothing, and BACK would bring the names back as separate files. A process that may
// not give files their owners lists only the user's own: another's would come back as the
// user's.
class Scanner {
 public:
  Scanner(staging::State& state, platform::Gui& gui)
      : state_(state), gui_(gui), anyOwner_(platform::maySetOwners()) {
    roots_.insert("/");
    for (const platform::Volume& volume : platform::volumeTable()) {
      roots_.insert(withSlash(volume.mountPoint));
      volumes_[withSlash(volume.mountPoint)] = volume;  // the last mount on a point is on top
    }
    const std::string base = state.stagingBase();
    if (!base.empty()) {
      stagingBase_ = withSlash(base);
      stagingVolume_ = volumeHolding(stagingBase_);
      largestFile_ = platform::largestFileOn(platform::volumeAt(base));
    }
  }

  void scanChosen(const std::string& chosen) {
    const std::string folder = withSlash(chosen);
    if (!platform::storableText(folder) || insideKernelVolume(folder)) return;
    if (onStagingVolume(folder)) {
      passedStaging_ = true;
      return;
    }
    mount_ = platform::mountIdentity(folder);
    appendOwnEntry(folder);
    scanFolder(folder);
  }

  bool finished() const { return finished_; }
  // The folder the status text names: the one examined last; "" before the first.
  const std::string& shownFolder() const { return shownFolder_; }
  // True when files were left out because they lie on the staging volume.
  bool passedOverStaging() const { return passedStaging_; }

 private:
  bool reached() const { return state_.stockSize >= state_.needSpace; }

  void showFinished(const std::string& folder) {
    gui_.setText(ui::kStatusText,
                 ui::joinLines({progressText(folder, state_.stockSize), kFinished}));
    gui_.refreshWindow();
    state_.sizeLine = staging::stockSizeLine(state_.stockSize);
    finished_ = true;
  }

  // The volume mounted deepest above folder (or at it); nullptr when the table has none.
  const platform::Volume* volumeHolding(const std::string& folder) const {
    const platform::Volume* deepest = nullptr;
    size_t depth = 0;  // length of its mount point with "/"
    for (const auto& [root, volume] : volumes_)
      if (root.size() > depth && startsWith(folder, root)) deepest = &volume, depth = root.size();
    return deepest;
  }

  // A folder on the staging base's device, below the base or where the device is mounted
  // again: moving its files to the staging volume would free nothing. Without a volume for
  // the base in the table, a folder at or below the base.
  bool onStagingVolume(const std::string& folder) const {
    if (stagingBase_.empty()) return false;
    if (!stagingVolume_) return startsWith(folder, stagingBase_);
    const platform::Volume* volume = volumeHolding(folder);
    return volume && volume->device == stagingVolume_->device;
  }

  // A folder at or below the mount point of a kernel file system (/proc, /sys, /dev): its
  // "files" are the system's state, not room on a disk, and moving them would harm the
  // running system (/proc/kcore alone claims terabytes).
  // The volume mounted deepest above the folder decides: /dev/shm is a RAM disk inside /dev.
  bool insideKernelVolume(const std::string& folder) const {
    const platform::Volume* volume = volumeHolding(folder);
    return volume && volume->mountPoint != "/" && platform::isKernelState(*volume);
  }

  // The chosen folder's entry, dated from its parent's listing. A volume root has none:
  // it is no folder of the volume it is mounted on.
  void appendOwnEntry(const std::string& folder) {
    if (roots_.count(folder)) return;
    const std::string parent = platform::pathPart(folder.substr(0, folder.size() - 1));
    platform::FolderListing scan(parent);
    while (scan.ok() && scan.next()) {
      if (scan.type() != platform::EntryType::kFolder || parent + scan.name() + "/" != folder) continue;
      state_.appendFile(folderEntry(folder, scan));
      return;  // names are unique within a folder
    }
  }

  static FileEntry folderEntry(const std::string& path, const platform::FolderListing& scan) {
    return FileEntry{path, staging::kFolder, scan.date(platform::kCreated),
                     scan.date(platform::kModified), scan.date(platform::kAccessed), 0};
  }

  static FileEntry fileEntry(std::string path, int64_t size, const platform::FolderListing& scan) {
    return FileEntry{std::move(path), staging::kFile, scan.date(platform::kCreated),
                     scan.date(platform::kModified), scan.date(platform::kAccessed), size};
  }

  void scanFolder(const std::string& chosen) {
    if (reached()) {
      showFinished(chosen);
      return;
    }
    const std::string folder = withSlash(chosen);
    platform::FolderListing scan(folder);
    gui_.setText(ui::kStatusText, progressText(folder, state_.stockSize));
    shownFolder_ = folder;
    gui_.refreshWindow();
    int writable = -1;  // whether files can be deleted from folder; asked at its first file
    while (scan.ok() && scan.next()) {
      const std::string& name = scan.name();
      if (!platform::storableText(name)) continue;
      const platform::EntryType type = scan.type();
      if (type == platform::EntryType::kFolder) {
        std::string sub = folder + name + "/";
        // A mount point the table names, or one the kernel tells apart (a bind mount).
        if (roots_.count(sub) || scan.mountId() != mount_) {
          if (onStagingVolume(sub)) passedStaging_ = true;
          continue;
        }
        if (state_.isListed(sub)) continue;
        state_.appendFile(folderEntry(sub, scan));
        scanFolder(sub);
        if (reached()) return;  // the rest of this folder would add nothing
      } else if (type == platform::EntryType::kFile) {
        std::string path = folder + name;
        if (state_.isListed(path)) continue;
        if (writable < 0) writable = platform::canWriteInto(folder) ? 1 : 0;
        if (!writable || !scan.readable()) continue;
        // Size and dates from the listing: one examination of the entry, relative to its
        // folder, instead of four lookups of the whole path.
        const int64_t size = scan.size();
        if (size < 0 || size > largestFile_) continue;  // gone meanwhile, or too big to stage
        if (scan.links() != 1 || scan.mountId() != mount_) continue;  // hard links, bind-mounted files
        if (!anyOwner_ && !scan.ownedByUser()) continue;
        state_.appendFile(fileEntry(std::move(path), size, scan), scan.inode());
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
  bool anyOwner_;                        // copies may keep any owner
  std::string stagingBase_;              // with "/"; "" without a staging drive
  const platform::Volume* stagingVolume_ = nullptr;  // the table's volume holding it
  int64_t largestFile_ = INT64_MAX;      // bytes one staged file may have
  std::set<std::string> roots_;          // mount points, each with "/"
  std::map<std::string, platform::Volume> volumes_;  // by mount point with "/"
  uint64_t mount_ = 0;                   // mount identity of the chosen folder being scanned
  std::string shownFolder_;
  bool finished_ = false;
  bool passedStaging_ = false;
};

}  // namespace

void scanChosenFolders(staging::State& state, platform::Gui& gui) {
  if (state.folders.empty()) return;
  Scanner scanner(state, gui);
  for (const std::string& folder : state.folders) scanner.scanChosen(folder);

  // Decided by the scan itself, not by looking for "Finished" in the status text, which a
  // folder named so would show too.
  if (scanner.finished()) {
    gui.disable(ui::kGoButton, false);
    gui.disable(ui::kPresetBox, true);
    gui.disable(ui::kDriveBox, true);
    gui.disable(ui::kMoveFolderButton, true);
  } else {
    // The status names the folder examined last with the total listed, not the figure of
    // the moment that folder was entered.
    std::string text = scanner.shownFolder().empty()
                           ? gui.text(ui::kStatusText)
                           : progressText(scanner.shownFolder(), state.stockSize);
    if (scanner.passedOverStaging()) text = ui::joinLines({text, kStagingFilesStay});
    gui.setText(ui::kStatusText, ui::joinLines({text, "Did not stock files."}));
  }
}

void moveFolder(staging::State& state, platform::Gui& gui) {
  // A new list: what an earlier scan listed would be moved by "GO" without being counted.
  // Nothing has moved before "GO", so nothing is lost by forgetting it.
  state.clearFiles();
  state.stockSize = 0;
  chooseFolders(state, gui, ui::kMoveFolderCaption);
  scanChosenFolders(state, gui);
}

}  // namespace folders
