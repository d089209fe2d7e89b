// The floor: large sequential reads, the product's own plain copy run bare with one sync,
// and the hash rate of every core at once in memory.
#include "bench/floor.h"
#include "bench/timing.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/files.h"
#include "platform/fingerprint.h"

namespace bench {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFloorBlockBytes = 8 << 20;
constexpr int64_t kHashBytesPerCore = int64_t{256} << 20;

double secondsOf(const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; }

// Core-seconds of each of the kernel's threads (the children of kthreadd, process 2), from
// /proc, by process id.
std::map<long, double> kernelThreadSeconds() {
  static const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
  std::map<long, double> threads;
  DIR* proc = opendir("/proc");
  while (proc) {
    const dirent* entry = readdir(proc);
    if (!entry) break;
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // Fields after the command's closing parenthesis: state, ppid, ..., utime (14), stime (15).
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    long ppid = 0;
    double cpu = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
      if (i == 4) ppid = std::stol(field);
      if (i >= 14) cpu += std::stod(field);
    }
    if (ppid == 2) threads[std::stol(entry->d_name)] = cpu / ticks;
  }
  if (proc) closedir(proc);
  return threads;
}

double programSeconds() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  return secondsOf(self.ru_utime) + secondsOf(self.ru_stime) + secondsOf(children.ru_utime) +
         secondsOf(children.ru_stime);
}

template <typename Work>
Step timed(Work work) {
  CpuMeter cpu;
  const Clock::time_point start = Clock::now();
  if (!work()) return Step{-1, -1};
  return Step{secondsSince(start), cpu.seconds()};
}

// Every file read from root in large sequential reads.
Step timedRead(const fs::path& root, const std::vector<std::string>& files) {
  return timed([&] {
    std::vector<char> block(kFloorBlockBytes);
    for (const std::string& relative : files) {
      std::ifstream in(root / relative, std::ios::binary);
      while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
      }
    }
    return true;
  });
}

// The files copied from root (whose pages the cache holds, so only the writes count) to
// target by the product's own plain copy, then one sync of the volume. With moving, each
// file at root goes once copied: a move never holds more than the data set and one copy of
// it, and on a virtual machine memory beyond that is memory the host must hand out anew.
Step timedWrite(const fs::path& root, const fs::path& target, const std::vector<std::string>& files,
                bool moving) {
  return timed([&] {
    std::error_code error;
    for (const std::string& relative : files) {
      const fs::path path = target / relative;
      fs::create_directories(path.parent_path(), error);
      if (!platform::copyFile((root / relative).string(), path.string())) return false;
      if (moving) fs::remove(root / relative, error);
    }
    return platform::syncVolume(target.string());
  });
}

// SHA-1, MD5 and CRC32 of twice bytes, as one stream per core at once, each on its own
// buffer in memory; the seconds scaled from a timed run of 256 MiB per core.
Step timedHash(int64_t bytes, unsigned cores) {
  std::vector<uint64_t> words(kFloorBlockBytes / 8);
  for (size_t i = 0; i < words.size(); ++i) words[i] = i * 0x9E3779B97F4A7C15ull;
  auto hashOne = [&words] {
    platform::FingerprintStream stream;
    for (int64_t done = 0; done < kHashBytesPerCore; done += kFloorBlockBytes)
      stream.add(words.data(), kFloorBlockBytes);
    stream.finish();
  };
  Step run = timed([&] {
    std::vector<std::thread> others;
    for (unsigned core = 1; core < cores; ++core) others.emplace_back(hashOne);
    hashOne();
    for (std::thread& other : others) other.join();
    return true;
  });
  const double scale = 2.0 * static_cast<double>(bytes) / (static_cast<double>(cores) * kHashBytesPerCore);
  return Step{run.seconds * scale, run.cpu * scale};
}

// The disk that holds a path: a loop device is followed to the disk of its backing file, a
// partition to its disk, so two images on one disk are one device.
std::string diskOf(const std::string& path) {
  struct stat info{};
  if (stat(path.c_str(), &info) != 0) return path;
  std::string device;
  for (int depth = 0; depth < 8; ++depth) {
    device = std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    std::ifstream backing("/sys/dev/block/" + device + "/loop/backing_file");
    std::string file;
    if (!std::getline(backing, file) || stat(file.c_str(), &info) != 0) break;
  }
  std::error_code error;
  fs::path node = fs::canonical("/sys/dev/block/" + device, error);
  if (error) return device;  // no block device: tmpfs, FUSE without one
  if (fs::exists(node / "partition")) node = node.parent_path();
  return node.filename().string();
}

}  // namespace

bool dropCaches() {
  sync();
  std::ofstream control("/proc/sys/vm/drop_caches");
  control << "3\n";
  control.flush();
  return static_cast<bool>(control);
}

void CpuMeter::start() {
  program_ = programSeconds();
  kernel_ = kernelThreadSeconds();
}

// A kernel thread that ends meanwhile takes its time along (kernel workers come and go), so
// the figure may fall short, never below zero; a new one counts whole.
double CpuMeter::seconds() const {
  double total = programSeconds() - program_;
  for (const auto& [id, now] : kernelThreadSeconds()) {
    auto before = kernel_.find(id);
    total += before != kernel_.end() && before->second <= now ? now - before->second : now;
  }
  return total;
}

Floor measureFloor(const fs::path& source, const std::string& stageDir,
                   const std::vector<std::string>& files, int64_t bytes) {
  Floor floor;
  floor.cores = std::max(1u, std::thread::hardware_concurrency());
  const fs::path staged = fs::path(stageDir) / ".floor", back = source.parent_path() / ".floor-back";
  std::error_code error;
  dropCaches();
  floor.readSource = timedRead(source, files);
  floor.writeStaging = timedWrite(source, staged, files, false);
  dropCaches();
  floor.readStaging = timedRead(staged, files);
  // The data set is still at source: the copy read back leaves as it is copied.
  floor.writeSource = timedWrite(staged, back, files, true);
  fs::remove_all(staged, error);
  fs::remove_all(back, error);
  floor.hash = timedHash(bytes, floor.cores);
  floor.oneDevice = diskOf(stageDir) == diskOf(source.string());
  return floor;
}

Step fasterOf(const Step& a, const Step& b) {
  if (a.seconds <= 0 || b.seconds <= 0) return a.seconds <= 0 ? b : a;
  return a.seconds <= b.seconds ? a : b;
}

Floor fasterOf(const Floor& a, const Floor& b) {
  Floor floor = a;
  floor.readSource = fasterOf(a.readSource, b.readSource);
  floor.writeStaging = fasterOf(a.writeStaging, b.writeStaging);
  floor.readStaging = fasterOf(a.readStaging, b.readStaging);
  floor.writeSource = fasterOf(a.writeSource, b.writeSource);
  floor.hash = fasterOf(a.hash, b.hash);
  return floor;
}

}  // namespace bench
