// Proven copies, shared by "GO" (source to staged copy) and "BACK" (staged copy to its old
// place). The source is read once: its fingerprints come from the bytes as they are copied.
// Copies are proven in batches, so many small files share one sync instead of one each,
// and every copy is still read back from the disk before anything depends on it.
#include "staging/transfer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "app/widgets.h"
#include "platform/files.h"
#include "platform/gui.h"
#include "platform/numtext.h"

namespace staging {
namespace {

const std::string kCheckCaption = "CRC32,MD5,SHA-1 FingerPrint Check";
const std::string kCheckingCaption = "CRC32,MD5,SHA-1 FingerPrint Checking";

// A batch is proven when it holds this much; a large file is a batch of its own.
constexpr int64_t kBatchBytes = 64 << 20;
constexpr size_t kBatchFiles = 500;
constexpr int64_t kReadAheadFiles = 32;

platform::CopyOptions copyOptions(platform::Gui& gui, platform::Fingerprints* prints) {
  platform::CopyOptions options;
  options.sourcePrints = prints;
  options.keepTimes = true;
  options.tick = [&gui] { gui.drainEvents(); };
  return options;
}

}  // namespace

ProvenCopies::ProvenCopies(platform::Gui& gui, bool check, std::function<void(int64_t)> proven,
                           std::function<void(int64_t)> showFile)
    : gui_(gui), check_(check), proven_(std::move(proven)), showFile_(std::move(showFile)) {}

bool ProvenCopies::copy(int64_t id, const std::string& source, const std::string& target) {
  if (!check_) {
    if (!platform::copyFile(source, target, copyOptions(gui_, nullptr))) return false;
    proven_(id);
    return true;
  }
  Pending copy{id, source, target, {}};
  gui_.setText(app::kCheckBox, kCheckingCaption);
  gui_.drainEvents();
  if (!platform::copyFile(source, target, copyOptions(gui_, &copy.prints))) {
    // A failed copy is never good, even when an unreadable source and a missing copy
    // would give the same empty fingerprints.
    copy.error = errno;
    retryOrEnd(copy);
    gui_.setText(app::kCheckBox, kCheckCaption);
    proven_(id);
    return true;
  }
  pendingBytes_ += platform::fileSize(target);
  folders_.insert(platform::pathPart(target));
  pending_.push_back(std::move(copy));
  if (pendingBytes_ >= kBatchBytes || pending_.size() >= kBatchFiles) startProof();
  return true;
}

ProvenCopies::~ProvenCopies() {
  if (proving_.valid()) proving_.wait();  // the thread reads files named by this object
}

void ProvenCopies::proveAll() {
  startProof();
  takeVerdicts();
}

// Hands the pending batch to a thread: one sync makes the whole batch durable, its pages
// are then clean and cheap to drop, and each copy is read back from the disk. The verdicts
// of the batch before are taken first, so at most one batch is proven at a time.
void ProvenCopies::startProof() {
  if (pending_.empty()) return;
  takeVerdicts();
  gui_.setText(app::kCheckBox, kCheckingCaption);
  gui_.drainEvents();
  proving_ = std::async(std::launch::async,
                        [batch = std::move(pending_), folders = std::move(folders_)]() mutable {
                          bool durable = true;
                          for (const std::string& folder : folders)
                            durable = platform::syncVolume(folder) && durable;
                          for (Pending& copy : batch) {
                            copy.good = durable && platform::forgetCached(copy.target) &&
                                        platform::fingerprintFile(copy.target) == copy.prints;
                          }
                          return batch;
                        });
  pending_.clear();
  folders_.clear();
  pendingBytes_ = 0;
}

void ProvenCopies::takeVerdicts() {
  if (!proving_.valid()) return;
  // The window stays painted while the last proof of a pass finishes.
  while (proving_.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
    gui_.drainEvents();
  const Batch batch = proving_.get();
  for (const Pending& copy : batch) {
    if (!copy.good) retryOrEnd(copy);
    proven_(copy.id);
  }
  gui_.setText(app::kCheckBox, kCheckCaption);
  gui_.drainEvents();
}

// One copy and its check, made durable and read back at once.
bool ProvenCopies::copyAndCompare(const std::string& source, const std::string& target) {
  platform::Fingerprints prints;
  if (!platform::copyFile(source, target, copyOptions(gui_, &prints))) return false;
  if (!platform::flushAndForget(target)) return false;
  return platform::fingerprintFile(target, [this] { gui_.drainEvents(); }) == prints;
}

void ProvenCopies::retryOrEnd(const Pending& copy) {
  showFile_(copy.id);
  // What the user needs to answer knowingly: which copy, and why it is not good.
  const std::string reason = copy.error != 0 ? std::strerror(copy.error)
                                             : "The copy does not match the original.";
  const int answer = gui_.messageBox("Error File checked", "Retry Copy? ( Cancel = End )",
                                     platform::kBoxWarningRetryCancel,
                                     copy.source + " \u2192 " + copy.target + "\n" + reason);
  if (answer != platform::kAnswerRetry) gui_.endProgram();
  if (!copyAndCompare(copy.source, copy.target)) {
    gui_.messageBox("Error File checked 2", "Force Stop this app.", platform::kBoxStopOk);
    gui_.endProgram();
  }
}

void ReadAhead::before(int64_t position, int64_t count) {
  const int64_t end = std::min(count, position + kReadAheadFiles);
  for (int64_t next = std::max(asked_, position + 1); next < end; ++next) {
    const std::string path = source_(next);
    if (!path.empty()) platform::prefetchFile(path);
  }
  asked_ = std::max(asked_, end);
}

int progressAt(int64_t position, int64_t count) {
  if (count <= 0) return 0;
  return platform::integerPart(static_cast<double>(position) / static_cast<double>(count) * 100.0);
}

void showStatus(platform::Gui& gui, std::initializer_list<std::string> lines) {
  gui.setText(app::kStatusText, app::joinLines(lines));
}

std::string megabytesText(int64_t bytes) {
  if (bytes < 0) bytes = 0;
  return platform::realText(static_cast<double>(bytes) / 1048576.0, 2) + " MB";
}

void stopForDriveError(platform::Gui& gui) {
  gui.messageBox("Error", "Drive error, stop.", platform::kBoxStopOk);
  gui.endProgram();
}

}  // namespace staging
