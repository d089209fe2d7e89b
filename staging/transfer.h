// What "GO" and "BACK" share: copies proven by their fingerprints, the progress figure, the
// status text, and the fatal stop that leaves the staging area for a later "BACK".
#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/fingerprint.h"

namespace platform { class Gui; }

namespace staging {

// The volumes that received files, to be made durable with one sync each however many of
// their folders got a file.
class VolumeSyncs {
 public:
  void add(const std::string& folder);
  // Syncs every volume once; false when one could not be synced at once (FUSE), whose files
  // must then each be synced on their own.
  bool syncAll();
  // After syncAll: true when folder was added and its volume could not be synced at once.
  bool needsOwnSync(const std::string& folder) const;
  void clear();

 private:
  std::map<std::string, std::string> volumeOf_;  // folder -> its volume's key
  std::map<std::string, std::pair<std::string, bool>> volumes_;  // key -> a folder, synced
};

// Copies made at once and proven in batches. Each copy goes through a temporary name and a
// rename, keeps the source's permission bits and exact times, and keeps the window painted
// during a long file. With the check, the source's SHA-1, MD5 and CRC32 are taken from the
// bytes as they are copied; a batch then ends with one sync of the volumes written, after
// which every copy is dropped from the page cache and read back from the disk. That proof
// runs beside the next copies, on a thread of its own that touches no widget; its verdicts
// are taken on the program's thread. A copy waits under its temporary name until it is
// proven, so an unproven copy never takes the target's name. A copy that does not match
// offers one retry; Cancel or a second failure removes it and ends the program.
class ProvenCopies {
 public:
  // What a copy that cannot be made at all means with the check: the retry question, or
  // simply false from copy(), so the caller goes on with the next file.
  enum class FailedCopy { kAsk, kReport };
  // What copy() did: the copy is made (or waits for its proof), or it could not be made,
  // or, with the check, the source did not hold the bytes it was expected to hold.
  enum class Copied { kMade, kFailed, kSourceDiffers };
  // A copy in place and, with the check, proven: its id and the prints of the bytes read
  // from its source (empty without the check).
  struct Done {
    int64_t id;
    platform::Fingerprints prints;
  };
  // showFile(id) puts the file on the status text before its retry question.
  ProvenCopies(platform::Gui& gui, bool check, FailedCopy failed, std::function<void(int64_t)> showFile);
  ~ProvenCopies();
  // Copies source to target; nothing is left at target unless kMade. seen, when given, gets
  // the source as it was when it was read. expected, when given, is what the source must
  // hold: with the check, a source read otherwise is not copied (kSourceDiffers), and no
  // retry is offered, since the copy is not what went wrong.
  Copied copy(int64_t id, const std::string& source, const std::string& target,
              platform::FileIdentity* seen = nullptr, const platform::Fingerprints* expected = nullptr);
  // Proves every copy still pending, waits for the verdicts, and gives every copy in place,
  // in the order each came into place.
  const std::vector<Done>& proveAll();

 private:
  struct Pending {
    int64_t id;
    std::string source;
    std::string target;
    platform::FileIdentity* seen;
    platform::Temporary copy;       // the copy under its temporary name until proven
    platform::Fingerprints prints;  // of the bytes read from source
    std::optional<platform::Fingerprints> expected;
    bool good = false;  // the verdict of the proof
    int error = 0;      // errno of a copy that failed, 0 when the copy was made
  };
  using Batch = std::vector<Pending>;
  void startProof();
  void takeVerdicts();
  bool copyAndCompare(Pending& copy);
  void retryOrEnd(Pending& copy);

  platform::Gui& gui_;
  bool check_;
  FailedCopy failed_;
  std::vector<Done> done_;
  std::function<void(int64_t)> showFile_;
  Batch pending_;
  VolumeSyncs volumes_;            // where the pending copies lie
  int64_t pendingBytes_ = 0;
  std::future<Batch> proving_;     // the batch being proven meanwhile, if any
};

// The staging base's lock for one "GO" or "BACK", let go however the command ends. Where the
// base takes no lock file (a read-only volume) the command runs without one.
class StagingLock {
 public:
  explicit StagingLock(std::string base);
  ~StagingLock();
  StagingLock(const StagingLock&) = delete;
  StagingLock& operator=(const StagingLock&) = delete;
  // True when another program holds it: that one is working on this staging area.
  bool heldElsewhere() const { return handle_ == platform::kLockedElsewhere; }

 private:
  std::string base_;
  int handle_;
};

// Starts reading the next files of a pass ahead, so the disk is busy while one is copied.
class ReadAhead {
 public:
  // source(i) is the file of position i to read ahead, "" for none.
  explicit ReadAhead(std::function<std::string(int64_t)> source) : source_(std::move(source)) {}
  void before(int64_t position, int64_t count);

 private:
  std::function<std::string(int64_t)> source_;
  int64_t asked_ = 0;  // positions below this have been asked for
};

// Integer part of i / n * 100 in double precision (28 for 29 of 100); 0 when n is 0.
int progressAt(int64_t position, int64_t count);

// Megabytes with two decimals and " MB", as the status shows a file's size (0.00 for none).
std::string megabytesText(int64_t bytes);

// Shows the stop box "Error exist Shelfdex.dat" and ends the program: the staging area holds
// an earlier move-out, or another program is working on it.
[[noreturn]] void refuseOccupiedArea(platform::Gui& gui);

// Shows the stop box "Error" / "Drive error, stop." and ends the program.
[[noreturn]] void stopForDriveError(platform::Gui& gui);

}  // namespace staging
