// One proven copy, shared by "GO" (source to staged copy) and "BACK" (staged copy to its old
// place). The source is read once: its fingerprints are taken from the bytes as they are
// copied. The copy is then made durable, dropped from the page cache and read back, so the
// check compares what really lies on the disk.
#include "staging/transfer.h"

#include "app/widgets.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/gui.h"
#include "platform/numtext.h"

namespace staging {
namespace {

const std::string kCheckCaption = "CRC32,MD5,SHA-1 FingerPrint Check";
const std::string kCheckingCaption = "CRC32,MD5,SHA-1 FingerPrint Checking";

// One copy and its check. A copy that failed is never good, even when the unreadable source
// and the missing copy give the same empty fingerprints.
bool copyAndCompare(const std::string& source, const std::string& target, platform::Gui& gui) {
  auto tick = [&gui] { gui.drainEvents(); };
  platform::Fingerprints sourcePrints;
  platform::CopyOptions options;
  options.sourcePrints = &sourcePrints;
  options.keepTimes = true;
  options.tick = tick;
  if (!platform::copyFile(source, target, options)) return false;
  if (!platform::flushAndForget(target)) return false;
  return platform::fingerprintFile(target, tick) == sourcePrints;
}

}  // namespace

bool transferFile(const std::string& source, const std::string& target, bool check,
                  platform::Gui& gui) {
  if (!check) {
    platform::CopyOptions options;
    options.keepTimes = true;
    options.tick = [&gui] { gui.drainEvents(); };
    return platform::copyFile(source, target, options) != 0;
  }

  gui.setText(app::kCheckBox, kCheckingCaption);
  gui.drainEvents();
  if (!copyAndCompare(source, target, gui)) {
    const int answer = gui.messageBox("Error File checked", "Retry Copy? ( Cancel = End )",
                                      platform::kBoxWarningRetryCancel);
    if (answer != platform::kAnswerRetry) gui.endProgram();
    if (!copyAndCompare(source, target, gui)) {
      gui.messageBox("Error File checked 2", "Force Stop this app.", platform::kBoxStopOk);
      gui.endProgram();
    }
  }
  gui.setText(app::kCheckBox, kCheckCaption);
  gui.drainEvents();
  return true;
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
