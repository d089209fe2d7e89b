// What "GO" and "BACK" share: copies proven by their fingerprints, the progress figure, the
// status text, and the fatal stop that leaves the staging area for a later "BACK".
#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "platform/fingerprint.h"

namespace platform { class Gui; }

namespace staging {

// Copies made at once and proven in batches. Each copy goes through a temporary name and a
// rename, keeps the source's permission bits and exact times, and keeps the window painted
// during a long file. With the check, the source's SHA-1, MD5 and CRC32 are taken from the
// bytes as they are copied; a batch then ends with one sync of the volumes written, after
// which every copy is dropped from the page cache and read back from the disk. That proof
// runs beside the next copies, on a thread of its own that touches no widget; its verdicts
// are taken on the program's thread. A copy that fails or does not match offers one retry;
// Cancel or a second failure ends the program.
class ProvenCopies {
 public:
  // proven(id) runs once per copy that is in place and, with the check, proven.
  // showFile(id) puts the file on the status text before its retry question.
  ProvenCopies(platform::Gui& gui, bool check, std::function<void(int64_t)> proven,
               std::function<void(int64_t)> showFile);
  ~ProvenCopies();
  // Copies source to target; false when the copy could not be made (without the check).
  bool copy(int64_t id, const std::string& source, const std::string& target);
  // Proves every copy still pending and waits for the verdicts.
  void proveAll();

 private:
  struct Pending {
    int64_t id;
    std::string source;
    std::string target;
    platform::Fingerprints prints;
    bool good = false;  // the verdict of the proof
    int error = 0;      // errno of a copy that failed, 0 when the copy was made
  };
  using Batch = std::vector<Pending>;
  void startProof();
  void takeVerdicts();
  bool copyAndCompare(const std::string& source, const std::string& target);
  void retryOrEnd(const Pending& copy);

  platform::Gui& gui_;
  bool check_;
  std::function<void(int64_t)> proven_;
  std::function<void(int64_t)> showFile_;
  Batch pending_;
  std::set<std::string> folders_;  // where the pending copies lie, to sync their volumes
  int64_t pendingBytes_ = 0;
  std::future<Batch> proving_;     // the batch being proven meanwhile, if any
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

// Replaces the whole status text by the lines joined by the line separator.
void showStatus(platform::Gui& gui, std::initializer_list<std::string> lines);

// Megabytes with two decimals and " MB", as the status shows a file's size (0.00 for none).
std::string megabytesText(int64_t bytes);

// Shows the stop box "Error" / "Drive error, stop." and ends the program.
[[noreturn]] void stopForDriveError(platform::Gui& gui);

}  // namespace staging
