// Proven copies, shared by "GO" (source to staged copy) and "BACK" (staged copy to its old
// place). The source is read once: its fingerprints come from the bytes as they are copied.
// Copies are proven in batches, so many small files share one sync instead of one each,
// and every copy is still read back from the disk before anything depends on it.
#include "staging/transfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "ui/window.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/numtext.h"
#include "platform/volumes.h"
#include "staging/facts.h"

namespace staging {
namespace {

// A batch is proven when it holds this much; a large file is a batch of its own.
constexpr int64_t kBatchBytes = 64 << 20;
constexpr size_t kBatchFiles = 500;
constexpr int64_t kReadAheadFiles = 32;

// A source that is no longer the file that was listed, or holds what could not come back
// with it (EPERM): kept where it is, no retry asked.
bool sourceReplaced(int error) {
  return error == ESTALE || error == EPERM || error == ELOOP || error == EXDEV || error == ENOENT || error == ENOTDIR ||
         error == EINVAL;
}

}  // namespace

ProvenCopies::ProvenCopies(platform::Gui& gui, bool check, FailedCopy failed,
                           std::function<void(int64_t)> showFile,
                           std::function<std::pair<std::string, std::string>(int64_t)> pathsOf)
    : gui_(gui), check_(check), failed_(failed),
      showFile_(std::move(showFile)), pathsOf_(std::move(pathsOf)) {}

platform::CopyOptions ProvenCopies::optionsFor(const CopyTerms& terms, platform::Fingerprints* prints) {
  platform::CopyOptions options;
  options.sourcePrints = prints;
  options.sourceSeen = terms.seen;
  options.keepTimes = true;
  options.tick = [this] { gui_.refreshWindow(); };
  options.ownership = terms.ownership ? &*terms.ownership : nullptr;
  options.times = terms.times ? terms.times->data() : nullptr;
  options.expected = &terms.inode;
  options.sourceAttributes = terms.attributesSeen;
  options.sourceData = terms.dataSeen;
  options.attributes = terms.attributes ? &*terms.attributes : nullptr;
  options.keepInherited = terms.keepInherited;
  options.data = terms.data;
  return options;
}

ProvenCopies::Copied ProvenCopies::copy(int64_t id, const platform::Place& source, const platform::Place& target,
                                        CopyTerms terms) {
  Pending copy{id, source, target, std::move(terms), {}, {}};
  if (check_) {
    gui_.setText(ui::kCheckBox, ui::kCheckingCaption);
    gui_.refreshWindow();
  }
  copy.copy = platform::copyPlaceToTemporary(source, target.folder, optionsFor(copy.terms, check_ ? &copy.prints : nullptr));
  const bool made = copy.copy.made();
  copy.error = made ? 0 : errno;
  // The size is read on the copy as written, before it has a name anyone else could change.
  if (made && copy.terms.size >= 0 && copy.copy.size != copy.terms.size) {
    platform::discardTemporary(copy.copy);
    gui_.setText(ui::kCheckBox, ui::kCheckCaption);
    return Copied::kWrongSize;
  }
  if (!check_) {
    if (!made) return Copied::kFailed;
    const bool placed = platform::placeTemporaryAs(copy.copy, target.name);
    if (!placed) platform::discardTemporary(copy.copy);
    done_.push_back(Done{id, {}, placed, platform::identityAt(target)});
    return Copied::kMade;
  }
  if (!made) {
    gui_.setText(ui::kCheckBox, ui::kCheckCaption);
    // A source that is no longer the file that was listed (another inode, a link, gone) is
    // not what went wrong with a copy: no retry can help.
    if (sourceReplaced(copy.error)) return Copied::kSourceDiffers;
    if (failed_ == FailedCopy::kReport) return Copied::kFailed;
    // A failed copy is never good, even when an unreadable source and a missing copy
    // would give the same empty fingerprints.
    retryOrEnd(copy);
    done_.push_back(Done{id, copy.prints, true, platform::identityAt(target)});
    return Copied::kMade;
  }
  // The prints of the one read the copy made: the source is judged without a pass of its own.
  if (copy.terms.expected && copy.prints != *copy.terms.expected) {
    platform::discardTemporary(copy.copy);
    gui_.setText(ui::kCheckBox, ui::kCheckCaption);
    return Copied::kSourceDiffers;
  }
  pendingBytes_ += copy.copy.size;
  volumes_.add(copy.copy.folder);
  pending_.push_back(std::move(copy));
  if (pendingBytes_ >= kBatchBytes || pending_.size() >= kBatchFiles) startProof();
  return Copied::kMade;
}

// A stop in the middle leaves no unproven copy behind.
ProvenCopies::~ProvenCopies() {
  if (proving_.valid())
    for (const Pending& copy : proving_.get()) platform::discardTemporary(copy.copy);
  for (const Pending& copy : pending_) platform::discardTemporary(copy.copy);
}

const std::vector<ProvenCopies::Done>& ProvenCopies::proveAll() {
  startProof();
  takeVerdicts();
  return done_;
}

// Hands the pending batch to a thread: one sync makes the whole batch durable, its pages
// are then clean and cheap to drop, and each copy is read back from the disk. The verdicts
// of the batch before are taken first, so at most one batch is proven at a time.
void ProvenCopies::startProof() {
  if (pending_.empty()) return;
  takeVerdicts();
  gui_.setText(ui::kCheckBox, ui::kCheckingCaption);
  gui_.refreshWindow();
  proving_ = std::async(std::launch::async,
                        [batch = std::move(pending_), volumes = std::move(volumes_)]() mutable {
                          // Where a volume cannot be synced at once, each copy is.
                          const bool synced = volumes.syncAll();
                          for (Pending& copy : batch) {
                            copy.good = platform::fingerprintFromDisk(copy.copy, !synced) == copy.prints;
                            copy.proven = platform::temporaryIdentity(copy.copy);
                          }
                          return batch;
                        });
  pending_.clear();
  volumes_.clear();
  pendingBytes_ = 0;
}

// A proven copy takes its name; a copy that failed its proof is removed before the question.
void ProvenCopies::takeVerdicts() {
  if (!proving_.valid()) return;
  // The window stays painted while the last proof of a pass finishes.
  while (proving_.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    gui_.refreshWindow();
  Batch batch = proving_.get();
  for (size_t i = 0; i < batch.size(); ++i) {
    Pending& copy = batch[i];
    // A copy changed since its proof (by anyone who can write the staging area) is no good.
    copy.good = copy.good && platform::temporaryIdentity(copy.copy) == copy.proven;
    if (copy.good && platform::placeTemporaryAs(copy.copy, copy.target.name)) {
      done_.push_back(Done{copy.id, copy.prints, true, platform::identityAt(copy.target)});
      continue;
    }
    platform::discardTemporary(copy.copy);
    // A proven copy whose name something else took meanwhile: that stays, and so does the source.
    if (copy.good && errno == EEXIST) {
      done_.push_back(Done{copy.id, copy.prints, false});
      continue;
    }
    // Should the program end at the question, the rest of the batch leaves nothing either.
    for (size_t j = i + 1; j < batch.size(); ++j) pending_.push_back(batch[j]);
    retryOrEnd(copy);
    pending_.resize(pending_.size() - (batch.size() - i - 1));
    done_.push_back(Done{copy.id, copy.prints, true, platform::identityAt(copy.target)});
  }
  gui_.setText(ui::kCheckBox, ui::kCheckCaption);
  gui_.refreshWindow();
}

// One copy and its check, made durable and read back at once; it takes the target's name
// only when it matches (and its source still holds what it was expected to). The source's
// prints of this read replace those of the first.
bool ProvenCopies::copyAndCompare(Pending& copy) {
  const platform::Temporary again =
      platform::copyPlaceToTemporary(copy.source, copy.target.folder, optionsFor(copy.terms, &copy.prints));
  if (!again.made()) return false;
  const bool good = (!copy.terms.expected || copy.prints == *copy.terms.expected) &&
                    (copy.terms.size < 0 || again.size == copy.terms.size) &&
                    platform::fingerprintFromDisk(again, true, [this] { gui_.refreshWindow(); }) == copy.prints &&
                    platform::placeTemporaryAs(again, copy.target.name);
  if (!good) platform::discardTemporary(again);
  return good;
}

void ProvenCopies::retryOrEnd(Pending& copy) {
  showFile_(copy.id);
  // What the user needs to answer knowingly: which copy, and why it is not good.
  const auto paths = pathsOf_(copy.id);
  const std::string reason = copy.error != 0 ? std::strerror(copy.error)
                                             : "The copy does not match the original.";
  const int answer = gui_.messageBox("Error File checked", "Retry Copy? ( Cancel = End )",
                                     platform::kBoxWarningRetryCancel,
                                     paths.first + " \u2192 " + paths.second + "\n" + reason);
  if (answer != platform::kAnswerRetry) gui_.endProgram();
  if (!copyAndCompare(copy)) {
    gui_.messageBox("Error File checked 2", "Force Stop this app.", platform::kBoxStopOk);
    gui_.endProgram();
  }
}

// Keyed by mount: many folders of one volume share its sync. A folder that cannot be
// examined is a volume of its own.
void VolumeSyncs::add(const platform::Held& folder) {
  if (!folder || volumeOf_.count(folder.get())) return;
  uint64_t mount = platform::heldMountIdentity(folder);
  if (mount == 0) mount = UINT64_MAX - volumeOf_.size();
  volumeOf_[folder.get()] = mount;
  volumes_.emplace(mount, std::make_pair(folder, false));
}

bool VolumeSyncs::syncAll() {
  bool all = true;
  for (auto& [key, volume] : volumes_) {
    volume.second = platform::syncHeldVolume(volume.first);
    all = volume.second && all;
  }
  return all;
}

bool VolumeSyncs::needsOwnSync(const platform::Held& folder) const {
  auto key = volumeOf_.find(folder.get());
  return key != volumeOf_.end() && !volumes_.at(key->second).second;
}

void VolumeSyncs::clear() {
  volumeOf_.clear();
  volumes_.clear();
}

StagingLock::StagingLock(platform::Held base)
    : base_(std::move(base)), handle_(platform::lockFolder(base_, kLockName)) {}

StagingLock::~StagingLock() { platform::unlockFolder(handle_, base_, kLockName); }

std::string StagingLock::reason() const {
  if (handle_ == platform::kLockOfAnotherUser) return kLockName + " is held by another user";
  if (handle_ == platform::kNotALock) return kLockName + " is not a lock file";
  return "";
}

void ReadAhead::before(int64_t position, int64_t count) {
  const int64_t end = std::min(count, position + kReadAheadFiles);
  for (int64_t next = std::max(asked_, position + 1); next < end; ++next) {
    const platform::Place place = source_(next);
    if (place.folder) platform::prefetchFile(place);
  }
  asked_ = std::max(asked_, end);
}

int progressAt(int64_t position, int64_t count) {
  if (count <= 0) return 0;
  return platform::integerPart(static_cast<double>(position) / static_cast<double>(count) * 100.0);
}

std::string megabytesText(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  return platform::realText(static_cast<double>(bytes) / 1048576.0, 2) + " MB";
}

void refuseOccupiedArea(platform::Gui& gui, const std::string& reason) {
  if (!reason.empty()) ui::showStatus(gui, {reason});
  gui.messageBox("Error exist Shelfdex.dat",
                 "Could you move Shelfdex.dat and Backup folder to another folder now?",
                 platform::kBoxStopOk);
  gui.endProgram();
}

void stopForDriveError(platform::Gui& gui) {
  gui.messageBox("Error", "Drive error, stop.", platform::kBoxStopOk);
  gui.endProgram();
}

}  // namespace staging
