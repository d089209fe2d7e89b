// What "GO" and "BACK" share: copies proven by their fingerprints, the progress figure, the
// status text, and the fatal stop that leaves the staging area for a later "BACK".
#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/attributes.h"
#include "platform/beneath.h"
#include "platform/files.h"
#include "platform/fingerprint.h"

namespace platform { class Gui; }

namespace staging {

// The volumes that received files, to be made durable with one sync each however many of
// their folders got a file.
class VolumeSyncs {
 public:
  void add(const platform::Held& folder);
  // Syncs every volume once; false when one could not be synced at once (FUSE), whose files
  // must then each be synced on their own.
  bool syncAll();
  // After syncAll: true when folder's volume was added and could not be synced at once.
  bool needsOwnSync(const platform::Held& folder) const;
  void clear();

 private:
  std::map<const platform::HeldFolder*, uint64_t> volumeOf_;  // folder -> its volume's mount
  std::map<uint64_t, std::pair<platform::Held, bool>> volumes_;  // mount -> a folder, synced
};

// What one copy must keep or meet besides its bytes.
struct CopyTerms {
  platform::FileIdentity* seen = nullptr;            // gets the source as it was read
  const platform::Fingerprints* expected = nullptr;  // with the check: what the source holds
  platform::Inode inode;                             // the source must be this file (0: any)
  std::optional<platform::Ownership> ownership;      // instead of the source's own
  std::optional<std::array<timespec, 2>> times;      // {accessed, modified} instead of the source's
  int64_t size = platform::kNothingThere;            // bytes the copy must hold (-1: any)
  platform::Attributes* attributesSeen = nullptr;    // gets the source's attributes; one that
                                                     // cannot come back keeps it (kSourceDiffers)
  std::vector<platform::DataRange>* dataSeen = nullptr;  // gets the stretches of data read
  std::optional<platform::Attributes> attributes;    // given to the copy
  bool keepInherited = false;                        // ACLs inherited from its folder stay
  const std::vector<platform::DataRange>* data = nullptr;  // only these are read; the rest holes
};

// Copies made at once and proven in batches. Each copy is an unnamed file in its target's
// held folder (a temporary name where the file system has none), takes its owner, mode and
// exact times there, keeps the window painted during a long file, and takes its name
// without replacing anything. With the check, the source's SHA-1, MD5 and CRC32 are taken
// from the bytes as they are copied; a batch then ends with one sync of the volumes
// written, after which every copy is dropped from the page cache and read back from the
// disk. That proof runs beside the next copies, on a thread of its own that touches no
// widget; its verdicts are taken on the program's thread. A copy waits unnamed (or under its
// temporary name) until it is proven, so an unproven copy never takes the target's name; an
// unnamed one waits open, so two batches hold up to 1000 files open. A copy that does not
// match offers one retry; Cancel or a second failure removes it and ends the program.
class ProvenCopies {
 public:
  // What a copy that cannot be made at all means with the check: the retry question, or
  // simply false from copy(), so the caller goes on with the next file.
  enum class FailedCopy { kAsk, kReport };
  // What copy() did: the copy is made (or waits for its proof), or it could not be made,
  // or, with the check, the source did not hold the bytes it was expected to hold, or the
  // copy does not hold the bytes it must.
  enum class Copied { kMade, kFailed, kSourceDiffers, kWrongSize };
  // A copy in place and, with the check, proven (placed false when something took the
  // target's name meanwhile and the copy was removed): its id and the prints of the bytes
  // read from its source (empty without the check).
  struct Done {
    int64_t id;
    platform::Fingerprints prints;
    bool placed = true;
    platform::FileIdentity copy;  // the copy as it stood once placed: any later change shows
  };
  // showFile(id) puts the file on the status text before its retry question, which names
  // the copy's source and target by the paths pathsOf(id) gives.
  ProvenCopies(platform::Gui& gui, bool check, FailedCopy failed, std::function<void(int64_t)> showFile,
               std::function<std::pair<std::string, std::string>(int64_t)> pathsOf);
  ~ProvenCopies();
  // Copies source to target; nothing is left at target unless kMade. With the check, a
  // source that does not hold terms.expected is not copied (kSourceDiffers), and no retry is
  // offered, since the copy is not what went wrong.
  Copied copy(int64_t id, const platform::Place& source, const platform::Place& target, CopyTerms terms = {});
  // Proves every copy still pending, waits for the verdicts, and gives every copy in place,
  // in the order each came into place.
  const std::vector<Done>& proveAll();

 private:
  struct Pending {
    int64_t id;
    platform::Place source;
    platform::Place target;
    CopyTerms terms;
    platform::Temporary copy;       // the copy, unnamed or under a temporary name, until proven
    platform::Fingerprints prints;  // of the bytes read from source
    bool good = false;  // the verdict of the proof
    platform::FileIdentity proven;  // the copy as the proof read it
    int error = 0;      // errno of a copy that failed, 0 when the copy was made
  };
  using Batch = std::vector<Pending>;
  platform::CopyOptions optionsFor(const CopyTerms& terms, platform::Fingerprints* prints);
  void startProof();
  void takeVerdicts();
  bool copyAndCompare(Pending& copy);
  void retryOrEnd(Pending& copy);

  platform::Gui& gui_;
  bool check_;
  FailedCopy failed_;
  std::vector<Done> done_;
  std::function<void(int64_t)> showFile_;
  std::function<std::pair<std::string, std::string>(int64_t)> pathsOf_;
  Batch pending_;
  VolumeSyncs volumes_;            // where the pending copies lie
  int64_t pendingBytes_ = 0;
  std::future<Batch> proving_;     // the batch being proven meanwhile, if any
};

// The staging base's lock for one "GO" or "BACK", let go however the command ends.
class StagingLock {
 public:
  explicit StagingLock(platform::Held base);
  ~StagingLock();
  StagingLock(const StagingLock&) = delete;
  StagingLock& operator=(const StagingLock&) = delete;
  // True when the lock could not be taken: another program works on this staging area, or
  // the lock file is another user's or no file at all. Only a volume that takes no lock file
  // (read-only) or no locks lets the command run without one.
  bool refused() const { return handle_ < 0 && handle_ != platform::kNoLock; }
  // The status line that says why, shown above the stop box; "" for another program of this
  // user, which the box itself names.
  std::string reason() const;

 private:
  platform::Held base_;
  int handle_;
};

// Starts reading the next files of a pass ahead, so the disk is busy while one is copied.
class ReadAhead {
 public:
  // source(i) is the file of position i to read ahead; its folder null for none.
  explicit ReadAhead(std::function<platform::Place(int64_t)> source) : source_(std::move(source)) {}
  void before(int64_t position, int64_t count);

 private:
  std::function<platform::Place(int64_t)> source_;
  int64_t asked_ = 0;  // positions below this have been asked for
};

// Integer part of i / n * 100 in double precision (28 for 29 of 100); 0 when n is 0.
int progressAt(int64_t position, int64_t count);

// Megabytes with two decimals and " MB", as the status shows a file's size (0.00 for none).
std::string megabytesText(int64_t bytes);

// Shows the stop box "Error exist Shelfdex.dat" and ends the program: the staging area holds
// an earlier move-out, or another program is working on it. A reason, when given, is shown
// as the status first.
[[noreturn]] void refuseOccupiedArea(platform::Gui& gui, const std::string& reason = "");

// Shows the stop box "Error" / "Drive error, stop." and ends the program.
[[noreturn]] void stopForDriveError(platform::Gui& gui);

}  // namespace staging
