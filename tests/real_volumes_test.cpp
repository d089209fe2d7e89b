// The whole road on real file systems. tests/real_volumes.sh mounts loop-device volumes in a
// private mount namespace and names them in BURNSHELF_VOLUME_EXT4, _XFS, _NTFS, _EXFAT and
// _VFAT; the program reads the real volume table (no seam), so the drive box shows what the
// kernel reports. Without those variables (not root, no loop devices) every case is skipped.
// A staging disk pulled out mid-way is played by killing its FUSE daemon.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/xattr.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QObject>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gui_test_access.h"
#include "support/folder_choice.h"
#include "support/metadata.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::Snapshot;
using testing_support::statusLines;

// A mounted test volume: its mount point and whether it keeps what Linux files carry.
struct RealVolume {
  std::string name;        // "ext4", "xfs", "ntfs", "exfat", "vfat"
  std::string mountPoint;  // no "/" at the end
  std::string source;      // loop device, or image of a FUSE volume, to mount it again
  bool keepsModes = true;  // NTFS, exFAT and vfat show one mode for every file, keep no ACLs
};

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

RealVolume volumeFromEnvironment(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  RealVolume volume{name, environment(("BURNSHELF_VOLUME_" + upper).c_str()),
                    environment(("BURNSHELF_SOURCE_" + name).c_str())};
  volume.keepsModes = name == "ext4" || name == "xfs";
  return volume;
}

// Skips the running case unless the script mounted the volume; the reason names what is missing.
#define REQUIRE_VOLUME(volume)                                                                   \
  if ((volume).mountPoint.empty()) {                                                             \
    const std::string why = environment(("BURNSHELF_ABSENT_" + (volume).name).c_str());        \
    GTEST_SKIP() << "no " << (volume).name << " volume: "                                       \
                 << (why.empty() ? "run tests/real_volumes.sh as root" : why);                  \
  }

// MiB this user can write into, as df shows it: computed here, not by the program's code.
int64_t freeMiB(const std::string& mountPoint) {
  struct statvfs info{};
  if (statvfs(mountPoint.c_str(), &info) != 0) return -1;
  return static_cast<int64_t>((static_cast<unsigned long long>(info.f_bavail) * info.f_frsize) >> 20);
}

class RealVolumes : public testing_support::AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
  }

  // A folder as users keep them, in a fresh folder on the volume: nested and empty folders,
  // an empty file, files from a few bytes to several MiB, an executable, names with blanks
  // and letters outside ASCII, times with nanoseconds in the past. Its path ending with "/".
  std::string layFolder(const RealVolume& volume, const std::string& name) {
    const std::string root = volume.mountPoint + "/" + name;
    std::filesystem::remove_all(root);
    std::filesystem::create_directories(root + "/empty");
    int64_t bytes = 0;
    auto write = [&](const std::string& relative, size_t size, uint8_t seed, time_t seconds, long ns) {
      const std::string path = root + "/" + relative;
      std::filesystem::create_directories(std::filesystem::path(path).parent_path());
      const std::string content = TempTree::patternBytes(size, seed);
      FILE* out = std::fopen(path.c_str(), "wb");
      ASSERT_NE(out, nullptr) << path;
      ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), out), content.size());
      std::fclose(out);
      testing_support::setModifiedNs(path, seconds, ns);
      bytes += static_cast<int64_t>(size);
    };
    write("clip one.mp4", 6 * kMiB + 123, 1, 1650000000, 250000000);
    write("clip two.mp4", 3 * kMiB, 2, 1651000001, 999999999);
    for (int i = 0; i < 24; ++i)
      write("photos/2023/IMG_" + std::to_string(1000 + i) + ".jpg", 40000 + 7919 * i,
            static_cast<uint8_t>(10 + i), 1680000000 + 3601 * i, 100000 * i);
    write("sub/play.sh", 17, 3, 1550000000, 1);
    if (volume.keepsModes) chmod((root + "/sub/play.sh").c_str(), 0755);
    write("sub/Ünïcode ß.txt", 4, 4, 1500000000, 500000000);
    write("sub/deeper/empty file", 0, 5, 1400000000, 0);
    if (volume.keepsModes) layWhatDesktopsKeep(root, bytes);
    folderBytes_ = bytes;
    // The reference to compare with at the end.
    reference_ = volume.keepsModes ? volume.mountPoint + "/Reference-" + name + "/" : "";
    std::filesystem::remove_all(reference_);
    if (!reference_.empty()) {
      EXPECT_EQ(run("rsync -aHAXS '" + root + "/' '" + reference_ + "'"), "");
    }
    return root + "/";
  }

  // What a desktop user's folder carries besides bytes: tags, ACLs of a shared folder, a
  // capability, chattr flags, a sparse disk image, and times Shelfdex.dat cannot say.
  void layWhatDesktopsKeep(const std::string& root, int64_t& bytes) {
    const auto set = [&](const std::string& relative, const std::string& name, const std::string& value) {
      EXPECT_EQ(lsetxattr((root + "/" + relative).c_str(), name.c_str(), value.data(), value.size(), 0), 0)
          << name << " on " << relative;
    };
    set("photos", "user.xdg.comment", "shared with the family");
    set("photos", "system.posix_acl_default", testing_support::aclGiving(1234, 6));
    set("photos", "system.posix_acl_access", testing_support::aclGiving(1234, 7));
    set("photos/2023/IMG_1000.jpg", "user.xdg.tags", "holiday");
    set("photos/2023/IMG_1000.jpg", "system.posix_acl_access", testing_support::aclGiving(1234, 6));
    set("sub/play.sh", "security.capability", testing_support::kCapability);
    EXPECT_TRUE(testing_support::setFlags(root + "/clip two.mp4", FS_NOATIME_FL | FS_NODUMP_FL));
    const int fd = open((root + "/disk.img").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    EXPECT_EQ(pwrite(fd, "boot", 4, 0), 4);
    EXPECT_EQ(pwrite(fd, "data", 4, 40 * kMiB), 4);
    EXPECT_EQ(ftruncate(fd, 64 * kMiB), 0);
    close(fd);
    bytes += 64 * kMiB;
    // Folder times last, as writing into a folder moves them.
    const std::pair<const char*, timespec> times[] = {
        {"disk.img", {-86400, 1}},            // 1969
        {"sub/Ünïcode ß.txt", {4354819200, 999999999}},  // 2108
        {"sub/deeper", {3786912000, 5}},     // 2090
        {"empty", {-315619200, 0}},           // 1960
        {"photos/2023", {2208988800, 123456789}}};  // 2040
    for (const auto& [relative, time] : times) {
      const timespec both[2] = {time, time};
      EXPECT_EQ(utimensat(AT_FDCWD, (root + "/" + relative).c_str(), both, 0), 0) << relative;
    }
  }

  // What a shell command prints; its error output too.
  static std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    char buffer[4096];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (pipe) pclose(pipe);
    return out;
  }

  // Start-up on the real table, the preset, the staging volume from the drive box, the
  // folder ticked in the folder window, "Move Folder": the list is ready for "GO".
  void chooseAndScan(const RealVolume& stage, const std::string& folder) {
    start();
    chooseItem(ui::kPresetBox, 0);
    const int item = driveItem(stage.mountPoint);
    ASSERT_GE(item, 0) << stage.mountPoint << " is not in the drive box";
    chooseItem(ui::kDriveBox, item);
    pump();
    ASSERT_TRUE(enabled(ui::kMoveFolderButton)) << status();
    ASSERT_EQ(state.stagingBase(), stage.mountPoint);
    // A disc's worth of bytes would make a slow test: the need is what the folder holds.
    state.needSpace = folderBytes_;

    testing_support::scheduleFolderChoice(*gui, {folder});
    click(ui::kMoveFolderButton);
    pump();
    ASSERT_TRUE(enabled(ui::kGoButton)) << status();
    ASSERT_EQ(state.stockSize, folderBytes_);
    // Taken last, as reading the files (for the reference, the snapshot) moved access times.
    metadata_ = testing_support::metadataOfTree(folder, false);
  }

  int driveItem(const std::string& mountPoint) {
    for (int i = 0; i < platform::itemCount(*gui, ui::kDriveBox); ++i)
      if (platform::itemText(*gui, ui::kDriveBox, i).rfind(mountPoint + " Free ", 0) == 0) return i;
    return -1;
  }

  void go() {
    click(ui::kGoButton);
    ASSERT_TRUE(pump()) << status();
    ASSERT_EQ(statusLines(status()).back(), "Backup complete");
    ASSERT_TRUE(enabled(ui::kBackButton));
  }

  // Every listed file lies in the staging area and its source is gone. The list holds all the
  // folder's bytes; an empty file the walk meets after the need was reached stays in place.
  void expectStaged(const RealVolume& stage, const Snapshot& before, const std::string& folder) {
    for (int64_t i = 0; i < static_cast<int64_t>(state.files.size()); ++i) {
      const staging::FileEntry& entry = state.files[i];
      if (entry.kind != staging::kFile) continue;
      const std::string copy = staging::stagedPath(stage.mountPoint, i).file;
      EXPECT_EQ(testing_support::readFile(copy), before.at(entry.path.substr(folder.size())).bytes)
          << copy;
      EXPECT_EQ(platform::fileSize(entry.path), platform::kNothingThere) << entry.path;
    }
    for (const auto& [path, fact] : before) {
      if (fact.folder || state.isListed(folder + path)) continue;
      EXPECT_TRUE(fact.bytes.empty()) << path << " was neither listed nor empty";
      EXPECT_EQ(platform::fileSize(folder + path), 0) << path;
    }
    EXPECT_GT(platform::fileSize(stage.mountPoint + "/Shelfdex.dat"), 0);
  }

  // The folder as it was: same names, bytes, modes (recorded at "GO", whatever the staging
  // volume keeps) and last-write times to the step of the coarser volume; the staging volume
  // is clean again.
  void expectBack(const RealVolume& stage, const Snapshot& before,
                  const std::string& folder) {
    ASSERT_EQ(statusLines(status()).back(), "Finished") << status();
    EXPECT_EQ(progress(), 100);
    EXPECT_TRUE(platform::shownBoxes(*gui).empty());
    // Modes, owners, exact times, attributes and flags, whatever the staging volume keeps,
    // looked at before anything reads the files again.
    EXPECT_EQ(testing_support::metadataOfTree(folder, false), metadata_) << stage.name;
    const Snapshot after = testing_support::snapshot(folder);
    ASSERT_EQ(keys(after), keys(before));
    for (const auto& [path, was] : before) {
      const testing_support::FileFacts& now = after.at(path);
      ASSERT_EQ(now.folder, was.folder) << path;
      if (was.folder) continue;
      EXPECT_EQ(now.bytes, was.bytes) << path;
    }
    // A sparse file takes no more room than it did, and rsync finds nothing to change.
    if (!reference_.empty()) {
      EXPECT_LE(TempTree::allocated(folder + "disk.img"), TempTree::allocated(reference_ + "disk.img"));
      EXPECT_EQ(run("rsync -aHAXc --dry-run --itemize-changes '" + reference_ + "' '" + folder + "'"), "");
    }
    // Folders get their recorded dates back after their files returned.
    for (const staging::FileEntry& entry : state.files) {
      if (entry.kind != staging::kFolder) continue;
      EXPECT_EQ(platform::fileDate(entry.path, platform::kModified), entry.modified) << entry.path;
    }
    EXPECT_EQ(platform::fileSize(stage.mountPoint + "/Shelfdex.dat"), platform::kNothingThere);
    EXPECT_EQ(platform::fileSize(stage.mountPoint + "/Backup001"), platform::kNothingThere);
  }

  static std::vector<std::string> keys(const Snapshot& snapshot) {
    std::vector<std::string> names;
    for (const auto& [path, fact] : snapshot) names.push_back(path);
    return names;
  }

  // GO and BACK in one run (fingerprints checked), then GO without the check and BACK in a
  // new program state that loads the dropped Shelfdex.dat (checked again).
  // The road from the volume of one type to that of another, skipped when either is absent.
  void roadBetween(const char* dataType, const char* stageType) {
    const RealVolume data = volumeFromEnvironment(dataType);
    const RealVolume stage = volumeFromEnvironment(stageType);
    REQUIRE_VOLUME(data);
    REQUIRE_VOLUME(stage);
    road(data, stage);
    if (!HasFailure()) std::printf("road %s->%s: ok\n", dataType, stageType);
  }

  void road(const RealVolume& data, const RealVolume& stage) {
    const std::string folder = layFolder(data, "Video");
    if (HasFatalFailure()) return;
    const Snapshot before = testing_support::snapshot(folder);

    chooseAndScan(stage, folder);
    if (HasFatalFailure()) return;
    go();
    if (HasFatalFailure()) return;
    expectStaged(stage, before, folder);
    click(ui::kBackButton);
    ASSERT_TRUE(pump()) << status();
    expectBack(stage, before, folder);
    if (HasFatalFailure()) return;

    restart();
    chooseAndScan(stage, folder);
    if (HasFatalFailure()) return;
    gui->setState(ui::kCheckBox, 0);
    go();
    if (HasFatalFailure()) return;
    expectStaged(stage, before, folder);
    const std::vector<staging::FileEntry> listed = state.files;

    restart();
    start();
    dropFiles({stage.mountPoint + "/Shelfdex.dat"});
    ASSERT_TRUE(pump());
    ASSERT_EQ(state.files, listed);
    ASSERT_EQ(state.stagingBase(), stage.mountPoint);
    ASSERT_TRUE(enabled(ui::kBackButton));
    click(ui::kBackButton);
    ASSERT_TRUE(pump()) << status();
    expectBack(stage, before, folder);
    std::filesystem::remove_all(folder);
  }

  // The program ends and starts again with nothing in memory.
  void restart() {
    delete gui;
    gui = new platform::Gui();
    platform::scriptAnswers(*gui, std::vector<int>(16, platform::kAnswerOk));
    state = staging::State{};
  }

  static constexpr size_t kMiB = 1 << 20;
  int64_t folderBytes_ = 0;
  std::string reference_;               // a copy of the laid folder made by rsync, or ""
  std::vector<std::string> metadata_;   // of the laid folder before "GO"
};

TEST_F(RealVolumes, DriveBoxListsTheMountedVolumesWithTheirFreeSpace) {
  const RealVolume ext4 = volumeFromEnvironment("ext4");
  const RealVolume xfs = volumeFromEnvironment("xfs");
  REQUIRE_VOLUME(ext4);
  REQUIRE_VOLUME(xfs);
  start();
  for (const char* name : {"ext4", "xfs", "ntfs", "exfat", "vfat"}) {
    const RealVolume volume = volumeFromEnvironment(name);
    if (volume.mountPoint.empty()) continue;
    const int item = driveItem(volume.mountPoint);
    ASSERT_GE(item, 0) << volume.mountPoint << " is not in the drive box";
    const int64_t mib = freeMiB(volume.mountPoint);
    EXPECT_EQ(state.drives[item].free, mib) << volume.name;
    // The box shows gigabytes with one decimal, as df -m / 1024 gives them.
    const std::string shown = platform::itemText(*gui, ui::kDriveBox, item);
    const double gigabytes = std::stod(shown.substr(volume.mountPoint.size() + 6));
    EXPECT_NEAR(gigabytes, static_cast<double>(mib) / 1024.0, 0.051) << shown;
  }
  // The volume the program runs from is never offered for staging.
  EXPECT_LT(driveItem(state.homeDrive), 0);
}

TEST_F(RealVolumes, RoadFromExt4ToXfsAndBack) { roadBetween("ext4", "xfs"); }
TEST_F(RealVolumes, RoadFromXfsToExt4AndBack) { roadBetween("xfs", "ext4"); }
TEST_F(RealVolumes, RoadFromExt4ToVfatAndBack) { roadBetween("ext4", "vfat"); }
TEST_F(RealVolumes, RoadFromVfatToExt4AndBack) { roadBetween("vfat", "ext4"); }
TEST_F(RealVolumes, RoadFromExt4ToNtfsAndBack) { roadBetween("ext4", "ntfs"); }
TEST_F(RealVolumes, RoadFromExt4ToExfatAndBack) { roadBetween("ext4", "exfat"); }
TEST_F(RealVolumes, RoadFromXfsToExfatAndBack) { roadBetween("xfs", "exfat"); }

// The staging disk pulled out: its FUSE daemon is killed during one pass. Every file is
// then whole at its place or as its staged copy, the program has ended with a message, and
// once the image is mounted again elsewhere, its dropped Shelfdex.dat brings everything back.
enum class Pass { kGoCopy, kGoDelete, kBackRestore };
const char* const kPassNames[] = {"GO's copy pass", "GO's delete pass", "BACK's restore pass"};
struct Unplug {
  const char* stage;
  Pass pass;
  bool check;  // the fingerprint check box
};

class PulledOut : public RealVolumes, public testing::WithParamInterface<Unplug> {
 protected:
  void TearDown() override {
    stopWatching();
    if (!home_.empty()) {
      EXPECT_TRUE(moveMount(moved_, moved_.mountPoint, home_));
    }
    RealVolumes::TearDown();
  }

  // The triggers below go with the case.
  void stopWatching() {
    testing_support::restoreSyscalls();
    QObject::disconnect(watch_);
  }

  // The FUSE daemon serving mountPoint: the process with the mount point among its arguments.
  static pid_t daemonOf(const std::string& mountPoint) {
    for (const auto& process : std::filesystem::directory_iterator("/proc")) {
      const std::string pid = process.path().filename();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      std::stringstream arguments(testing_support::readFile(process.path().string() + "/cmdline"));
      for (std::string argument; std::getline(arguments, argument, '\0');)
        if (argument == mountPoint && std::stoi(pid) != getpid()) return std::stoi(pid);
    }
    return 0;
  }

  // Kills the daemon (once) and waits until the volume answers no more.
  void pullOut(const RealVolume& stage) {
    if (pulled_) return;
    pulled_ = true;
    const pid_t daemon = daemonOf(stage.mountPoint);
    ASSERT_GT(daemon, 0) << "no FUSE daemon serves " << stage.mountPoint;
    kill(daemon, SIGKILL);
    for (int waited = 0; waited < 5000 && platform::fileSize(stage.mountPoint) != platform::kNothingThere; ++waited)
      platform::pause(1);
  }

  // Unmounts what is at from and mounts the volume's image at to; false when it cannot.
  static bool moveMount(const RealVolume& stage, const std::string& from, const std::string& to) {
    const std::string command = "umount -l '" + from + "' && bash '" + environment("BURNSHELF_SCRIPT") +
                                "' --mount " + stage.name + " '" + stage.source + "' '" + to + "'";
    return std::system(command.c_str()) == 0;
  }

  // Kills the daemon while the copy pass (of "GO", or the restore pass of "BACK") writes
  // its fifth file.
  void pullOutAtFifthCopy(const RealVolume& stage) {
    auto written = std::make_shared<std::set<std::string>>();
    testing_support::injectWriteFaults([this, stage, written](const std::string& path, int64_t, size_t) {
      if (path.find(staging::kDatabaseName) == std::string::npos) written->insert(path);
      if (written->size() == 5) pullOut(stage);
      return testing_support::Fault::kPass;
    });
  }

  // Kills the daemon when the delete pass is half way.
  void pullOutHalfWayThroughDeletes(const RealVolume& stage) {
    auto* bar = platform::qtWidget(*gui, ui::kProgressBar);
    watch_ = QObject::connect(static_cast<QProgressBar*>(bar), &QProgressBar::valueChanged,
                              [this, stage](int value) {
                                if (value >= 50 && value < 100 &&
                                    testing_support::contains(status(), "Delete Files"))
                                  pullOut(stage);
                              });
  }

  // The volume mounted again elsewhere goes back to its own mount point after the case.
  void mountElsewhere(RealVolume& stage) {
    home_ = stage.mountPoint;
    stage.mountPoint = environment("BURNSHELF_WORK") + "/" + stage.name + "-again";
    moved_ = stage;
    ASSERT_TRUE(moveMount(stage, home_, stage.mountPoint));
  }

  bool pulled_ = false;
  QMetaObject::Connection watch_;
  RealVolume moved_;
  std::string home_;
};

TEST_P(PulledOut, LosesNothingAndBackRestoresFromTheVolumeMountedAgain) {
  const Unplug unplug = GetParam();
  const RealVolume data = volumeFromEnvironment("ext4");
  RealVolume stage = volumeFromEnvironment(unplug.stage);
  REQUIRE_VOLUME(data);
  REQUIRE_VOLUME(stage);
  const std::string folder = layFolder(data, "Unplugged");
  const Snapshot before = testing_support::snapshot(folder);
  chooseAndScan(stage, folder);
  if (HasFatalFailure()) return;
  gui->setState(ui::kCheckBox, unplug.check ? 1 : 0);

  if (unplug.pass == Pass::kBackRestore) {
    go();
    if (HasFatalFailure()) return;
    pullOutAtFifthCopy(stage);
    click(ui::kBackButton);
  } else {
    if (unplug.pass == Pass::kGoCopy) {
      pullOutAtFifthCopy(stage);
    } else {
      pullOutHalfWayThroughDeletes(stage);
    }
    click(ui::kGoButton);
  }
  pump();  // returns: the program ended, or the command did
  stopWatching();
  ASSERT_TRUE(pulled_);
  EXPECT_TRUE(ended()) << status();
  EXPECT_FALSE(platform::shownBoxes(*gui).empty()) << status();

  // The same image at another mount point: every file is whole somewhere.
  mountElsewhere(stage);
  if (HasFatalFailure()) return;
  int64_t onlyStaged = 0, files = 0;
  for (int64_t i = 0; i < static_cast<int64_t>(state.files.size()); ++i) {
    const staging::FileEntry& entry = state.files[i];
    if (entry.kind != staging::kFile) continue;
    ++files;
    const std::string& bytes = before.at(entry.path.substr(folder.size())).bytes;
    const bool atPlace = platform::fileSize(entry.path) >= 0;
    onlyStaged += atPlace ? 0 : 1;
    const std::string where = atPlace ? entry.path : staging::stagedPath(stage.mountPoint, i).file;
    EXPECT_EQ(testing_support::readFile(where), bytes) << entry.path << " lost";
  }
  // Pulled out half way through the deletes, some sources had gone and the rest stayed.
  if (unplug.pass == Pass::kGoDelete) {
    EXPECT_GT(onlyStaged, 0);
    EXPECT_LT(onlyStaged, files);
  } else if (unplug.pass == Pass::kGoCopy) {
    EXPECT_EQ(onlyStaged, 0);
  }

  restart();
  start();
  dropFiles({stage.mountPoint + "/Shelfdex.dat"});
  ASSERT_TRUE(pump());
  ASSERT_TRUE(enabled(ui::kBackButton)) << status();
  click(ui::kBackButton);
  ASSERT_TRUE(pump()) << status();
  expectBack(stage, before, folder);
  std::filesystem::remove_all(folder);
  if (!HasFailure())
    std::printf("road ext4->%s, pulled out during %s: ok\n", unplug.stage, kPassNames[static_cast<int>(unplug.pass)]);
}

std::string unplugName(const testing::TestParamInfo<Unplug>& info) {
  static const char* const kPasses[] = {"GoCopy", "GoDelete", "BackRestore"};
  return std::string(info.param.stage) + kPasses[static_cast<int>(info.param.pass)] +
         (info.param.check ? "Checked" : "Unchecked");
}

INSTANTIATE_TEST_SUITE_P(
    RealVolumes, PulledOut,
    testing::Values(Unplug{"ntfs", Pass::kGoCopy, false}, Unplug{"exfat", Pass::kGoCopy, true},
                    Unplug{"ntfs", Pass::kGoDelete, true}, Unplug{"exfat", Pass::kGoDelete, false},
                    Unplug{"ntfs", Pass::kBackRestore, true},
                    Unplug{"exfat", Pass::kBackRestore, false}),
    unplugName);

}  // namespace
