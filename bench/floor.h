// What the disks and the two cores allow a move of a data set: the floor that GO and BACK
// are measured against, in the same run and on the same volumes.
#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bench {

// Writes dirty pages out and empties the page cache, so the next read comes from the disk.
bool dropCaches();

// Core-seconds the program and the kernel's own threads (loop devices, writeback) spend from
// start() to seconds(): the work that shares the cores with hashing.
class CpuMeter {
 public:
  CpuMeter() { start(); }
  void start();
  double seconds() const;

 private:
  double program_ = 0;
  std::map<long, double> kernel_;  // each kernel thread's core-seconds at start()
};

// One timed step: wall seconds (0 or less when it failed) and the core-seconds it took.
struct Step {
  double seconds = 0, cpu = 0;
};

// The faster of two measures of one step, as a shared machine can only slow a step down;
// a failed measure gives way to the other.
Step fasterOf(const Step& a, const Step& b);

// Seconds each step of a move takes at the least, on this data set and these volumes.
struct Floor {
  Step readSource, writeStaging, readStaging, writeSource;
  Step hash;              // every byte hashed twice, on all cores: as it is read, and read back
  bool oneDevice = true;  // source and staging lie on one disk, so their I/O adds up
  unsigned cores = 2;

  // The slower of the I/O path and the hash path.
  double clearedOut() const { return io(readSource, writeStaging); }
  double clearedBack() const { return io(readStaging, writeSource); }
  // The proof reads the copy back from the volume it was written to.
  double tickedOut() const {
    return std::max(io(readSource, writeStaging, readStaging), hash.seconds);
  }
  double tickedBack() const {
    return std::max(io(readStaging, writeSource, readSource), hash.seconds);
  }
  // The same, and no less than the work of the I/O and the hashing together spread over
  // every core: on few cores the page cache and the kernel's I/O threads take CPU too.
  double tickedOutOnCores() const {
    return std::max(tickedOut(), onCores(readSource, writeStaging, readStaging));
  }
  double tickedBackOnCores() const {
    return std::max(tickedBack(), onCores(readStaging, writeSource, readSource));
  }

 private:
  // Reading from one volume and writing to the other overlap when they are two disks.
  double io(const Step& read, const Step& write, const Step& readBack = {}) const {
    return oneDevice ? read.seconds + write.seconds + readBack.seconds
                     : std::max(read.seconds, write.seconds + readBack.seconds);
  }
  double onCores(const Step& a, const Step& b, const Step& c) const {
    return (a.cpu + b.cpu + c.cpu + hash.cpu) / cores;
  }
};

// The floor of the files (relative paths) of the data set at source: read them, write a copy
// from the cache to the staging volume, read that back, write a copy of it to the source
// volume, caches dropped before each read; bytes is their total size.
Floor measureFloor(const std::filesystem::path& source, const std::string& stageDir,
                   const std::vector<std::string>& files, int64_t bytes);

// Step by step the faster of two measurements.
Floor fasterOf(const Floor& a, const Floor& b);

}  // namespace bench
