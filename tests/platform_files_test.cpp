// File services on real trees: sizes, path parts, folder creation and deletion, listings,
// and copies that must never leave a partial file or destroy an existing target.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <map>

#include "platform/beneath.h"
#include "platform/dates.h"
#include "platform/files.h"
#include "platform/fingerprint.h"
#include "platform/volumes.h"
#include "support/owner_rights.h"
#include "support/syscall_faults.h"
#include "support/temp_tree.h"

using namespace platform;

namespace {

// Routes writes through rule until the end of a test, whatever happens.
struct WriteRuleGuard : testing_support::SyscallGuard {
  template <typename Rule>
  explicit WriteRuleGuard(Rule rule) { testing_support::setWriteRule(std::move(rule)); }
};

// Names of the copy's temporary files left in the tree's root.
std::vector<std::string> leftovers(const TempTree& tree) {
  std::vector<std::string> found;
  for (const std::string& name : tree.list())
    if (name.rfind(".burnshelf-", 0) == 0) found.push_back(name);
  return found;
}

}  // namespace

TEST(FileSize, TellsFilesFoldersAndNothing) {
  TempTree tree;
  tree.write("empty", "");
  tree.write("five", "12345");
  tree.makeFolder("folder");
  tree.fifo("pipe");
  EXPECT_EQ(fileSize(""), kNothingThere);
  EXPECT_EQ(fileSize(tree.path("missing")), kNothingThere);
  EXPECT_EQ(fileSize(tree.path("empty")), 0);
  EXPECT_EQ(fileSize(tree.path("five")), 5);
  EXPECT_EQ(fileSize(tree.path("folder")), kIsFolder);
  EXPECT_EQ(fileSize(tree.folderPath("folder")), kIsFolder);
  EXPECT_EQ(fileSize("/"), kIsFolder);
  EXPECT_EQ(fileSize(tree.path("pipe")), kNothingThere);
}

TEST(PathParts, SplitAtTheLastSlashOnly) {
  struct Row {
    const char* path;
    const char* folder;
    const char* file;
  } rows[] = {
      {"/a/b.txt", "/a/", "b.txt"},
      {"/a/b/", "/a/b/", ""},
      {"name", "", "name"},
      {"", "", ""},
      {"/", "/", ""},
      {"/a/back\\slash", "/a/", "back\\slash"},  // a backslash is part of a Linux name
  };
  for (const Row& row : rows) {
    EXPECT_EQ(pathPart(row.path), row.folder) << row.path;
    EXPECT_EQ(filePart(row.path), row.file) << row.path;
  }
  EXPECT_EQ(joinPath("/", "Shelfdex.dat"), "/Shelfdex.dat");
  EXPECT_EQ(joinPath("/media/usb", "Backup001"), "/media/usb/Backup001");
  EXPECT_EQ(joinPath("/media/usb/", "/Backup001"), "/media/usb/Backup001");
}

TEST(CreateFolder, MakesOnlyTheLastLevel) {
  TempTree tree;
  EXPECT_NE(createFolder(tree.folderPath("new")), 0);
  EXPECT_EQ(fileSize(tree.path("new")), kIsFolder);
  EXPECT_EQ(createFolder(tree.path("new")), 0) << "an existing folder counts as failure";
  EXPECT_EQ(createFolder(tree.path("missing/child")), 0);
  EXPECT_FALSE(tree.exists("missing"));
  // Trailing blanks are part of a Linux name, not padding.
  EXPECT_NE(createFolder(tree.path("blank ")), 0);
  EXPECT_TRUE(tree.exists("blank "));
}

TEST(DeleteFile, RemovesFilesAndLinksButNotFolders) {
  TempTree tree;
  tree.write("target", "keep");
  tree.symlink("link", tree.path("target"));
  tree.makeFolder("folder");
  EXPECT_NE(deleteFile(tree.path("link")), 0);
  EXPECT_EQ(tree.read("target"), "keep");
  EXPECT_NE(deleteFile(tree.path("target")), 0);
  EXPECT_FALSE(tree.exists("target"));
  EXPECT_EQ(deleteFile(tree.path("folder")), 0);
  EXPECT_EQ(deleteFile(tree.path("missing")), 0);
}

TEST(DeleteFolder, RemovesReadOnlyTreesButNeverALinksTarget) {
  TempTree tree;
  tree.write("outside/precious.txt", "precious");
  tree.write("outside/sub/deep.txt", "deep");
  tree.write("doomed/a.txt", "a");
  tree.write("doomed/nested/deeper/b.txt", "b");
  tree.write("doomed/read only.txt", "ro");
  tree.setMode("doomed/read only.txt", 0444);
  tree.setMode("doomed/nested/deeper", 0555);
  tree.makeFolder("doomed/locked");
  tree.write("doomed/locked/c.txt", "c");
  tree.setMode("doomed/locked", 0);
  tree.symlink("doomed/folder link", tree.path("outside"));
  tree.symlink("doomed/file link", tree.path("outside/precious.txt"));
  tree.setMode("outside", 0555);

  EXPECT_NE(deleteFolder(tree.folderPath("doomed")), 0);
  EXPECT_FALSE(tree.exists("doomed"));
  EXPECT_EQ(tree.read("outside/precious.txt"), "precious");
  EXPECT_EQ(tree.read("outside/sub/deep.txt"), "deep");
  EXPECT_EQ(tree.mode("outside"), 0555u) << "the link's target keeps its mode";

  EXPECT_EQ(deleteFolder(tree.path("doomed")), 0) << "a missing folder gives 0";
  EXPECT_EQ(deleteFolder(""), 0);
}

TEST(DeleteFolder, RefusesALinkToAFolder) {
  TempTree tree;
  tree.write("real/file", "x");
  tree.symlink("link", tree.path("real"));
  EXPECT_EQ(deleteFolder(tree.path("link")), 0);
  EXPECT_EQ(tree.read("real/file"), "x");
}

TEST(FolderListing, ListsEveryEntryWithItsType) {
  TempTree tree;
  tree.write("file", "1");
  tree.write("Über ordner/inner", "2");
  tree.symlink("link to folder", tree.path("Über ordner"));
  tree.fifo("pipe");
  std::map<std::string, EntryType> seen;
  FolderListing scan(tree.folderPath(""));
  ASSERT_TRUE(scan.ok());
  while (scan.next()) seen[scan.name()] = scan.type();
  std::map<std::string, EntryType> expected = {{"file", EntryType::kFile},
                                         {"Über ordner", EntryType::kFolder},
                                         {"link to folder", EntryType::kOther},
                                         {"pipe", EntryType::kOther}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(scan.next());
}

TEST(FolderListing, EmptyAndMissingFolders) {
  TempTree tree;
  tree.makeFolder("empty");
  FolderListing empty(tree.path("empty"));
  EXPECT_TRUE(empty.ok());
  EXPECT_FALSE(empty.next());
  FolderListing missing(tree.path("missing"));
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.next());
  EXPECT_EQ(missing.type(), EntryType::kOther);
}

TEST(FolderListing, GivesLinkCountsAndTheMountOfEachEntry) {
  TempTree tree;
  tree.write("once", "1");
  const std::string twice = tree.write("twice", "2");
  ASSERT_EQ(link(twice.c_str(), tree.path("twice again").c_str()), 0);
  const uint64_t mount = mountIdentity(tree.root());
  std::map<std::string, uint32_t> links;
  FolderListing scan(tree.root());
  while (scan.next()) {
    links[scan.name()] = scan.links();
    EXPECT_EQ(scan.mountId(), mount) << scan.name();
    EXPECT_TRUE(scan.ownedByUser()) << scan.name();
  }
  EXPECT_EQ(links, (std::map<std::string, uint32_t>{{"once", 1}, {"twice", 2}, {"twice again", 2}}));
  EXPECT_NE(mount, 0u);
  EXPECT_NE(mountIdentity("/proc"), mount);  // a mount of its own wherever Linux runs
  EXPECT_EQ(mountIdentity(tree.path("missing")), 0u);
}

TEST(FolderListing, DatesMatchFileDate) {
  TempTree tree;
  std::string file = tree.write("dated", "x");
  ASSERT_NE(setExactTimes(file, {1500000000, 0}, {1600000000, 0}), 0);
  FolderListing scan(tree.root());
  ASSERT_TRUE(scan.next());
  for (int kind : {kCreated, kAccessed, kModified})
    EXPECT_EQ(scan.date(kind), fileDate(file, kind)) << kind;
  EXPECT_EQ(scan.date(kModified), toDateValue(1600000000));
}

TEST(CopyFile, ReplacesTheTargetAndKeepsModeAndTimes) {
  TempTree tree;
  std::string bytes = TempTree::patternBytes(3 * 1024 * 1024 + 17);
  std::string source = tree.write("source.bin", bytes);
  tree.setMode("source.bin", 0750);
  ASSERT_NE(setExactTimes(source, {1500000000, 123456789}, {1600000000, 987654321}), 0);
  tree.write("target.bin", "old content");

  CopyOptions options;
  options.keepTimes = true;
  options.durable = true;
  EXPECT_NE(copyFile(source, tree.path("target.bin"), options), 0);
  // Times first: reading the copy back would move its access time.
  timespec modified = exactTime(tree.path("target.bin"), kModified);
  timespec accessed = exactTime(tree.path("target.bin"), kAccessed);
  EXPECT_EQ(modified.tv_sec, 1600000000);
  EXPECT_EQ(modified.tv_nsec, 987654321);
  EXPECT_EQ(accessed.tv_sec, 1500000000);
  EXPECT_EQ(accessed.tv_nsec, 123456789);
  EXPECT_EQ(exactTime(source, kAccessed).tv_sec, 1500000000) << "reading the source moved its access time";
  EXPECT_EQ(tree.read("target.bin"), bytes);
  EXPECT_EQ(tree.mode("target.bin"), 0750u);
  EXPECT_TRUE(leftovers(tree).empty());
}

TEST(CopyFile, GivesTheSourcesFingerprintsOnTheWay) {
  TempTree tree;
  std::string source = tree.write("source", TempTree::patternBytes(2 * 1024 * 1024 + 3));
  Fingerprints prints;
  CopyOptions options;
  options.sourcePrints = &prints;
  EXPECT_NE(copyFile(source, tree.path("copy"), options), 0);
  EXPECT_EQ(prints, fingerprintFile(source));
  EXPECT_EQ(tree.read("copy"), tree.read("source"));
}

// Holes stay holes on every road a copy takes: copy_file_range, blocks with fingerprints,
// blocks alone (a write rule turns copy_file_range off); the fingerprints are of the content.
TEST(CopyFile, KeepsHoles) {
  TempTree tree;
  const int64_t size = 12 << 20;
  const std::string source = tree.sparse("sparse", size, {{3 << 20, "middle"}, {(9 << 20) + 3, "later"}});
  const std::string empty = tree.sparse("no blocks", size, {});
  const std::string target = tree.path("copy");
  for (int road = 0; road < 3; ++road) {
    for (const std::string& from : {source, empty}) {
      Fingerprints prints;
      CopyOptions options;
      if (road == 1) options.sourcePrints = &prints;
      testing_support::SyscallGuard guard;
      if (road == 2) testing_support::setWriteRule([](int fd, const void* data, size_t n) { return ::write(fd, data, n); });
      ASSERT_NE(copyFile(from, target, options), 0) << road;
      EXPECT_EQ(fileSize(target), size) << road;
      EXPECT_LE(TempTree::allocated(target), TempTree::allocated(from) + (256 << 10)) << road << from;
      EXPECT_EQ(fingerprintFile(target), fingerprintFile(from)) << road;
      if (road == 1) {
        EXPECT_EQ(prints, fingerprintFile(from));
      }
    }
  }
}

// With the right to, a copy keeps owner, group and set-id bits; without it, the copy is the
// user's and loses them. The test's own files and bits stay as they were.
TEST(CopyFile, KeepsOwnersWhereItMayAndSetIdBitsOnlyUnderThem) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make another user's file";
  TempTree tree;
  const std::string source = tree.write("program", "#!/bin/sh\n");
  ASSERT_EQ(chown(source.c_str(), 65534, 65534), 0);
  tree.setMode("program", 06755);
  const std::string folder = tree.makeFolder("private");
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  const Ownership recorded{02700, 65534, 65534};
  EXPECT_TRUE(maySetOwners());
  ASSERT_NE(copyFile(source, tree.path("kept"), {}), 0);
  EXPECT_EQ(ownershipOf(tree.path("kept")), (Ownership{06755, 65534, 65534}));
  EXPECT_NE(restoreOwnership(folder, recorded), 0);
  EXPECT_EQ(ownershipOf(folder), recorded);
  ASSERT_EQ(chown(folder.c_str(), 0, 0), 0);
  {
    testing_support::WithoutOwnerRights ordinary;
    EXPECT_FALSE(maySetOwners());
    ASSERT_NE(copyFile(source, tree.path("ours"), {}), 0);
    EXPECT_NE(restoreOwnership(folder, recorded), 0);
  }
  EXPECT_EQ(ownershipOf(tree.path("ours")), (Ownership{0755, 0, 0}));
  EXPECT_EQ(ownershipOf(folder), (Ownership{0700, 0, 0}));
  EXPECT_EQ(ownershipOf(tree.path("missing")).mode, kNothingThere);
}

TEST(CopyFile, ShortAndInterruptedWritesStillGiveAWholeCopy) {
  TempTree tree;
  std::string bytes = TempTree::patternBytes(200000);
  std::string source = tree.write("source", bytes);
  int calls = 0;
  WriteRuleGuard guard([&](int fd, const void* data, size_t size) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return ::write(fd, data, std::min<size_t>(size, 4093));
  });
  EXPECT_NE(copyFile(source, tree.path("copy")), 0);
  EXPECT_EQ(tree.read("copy"), bytes);
}

// A copy in the kernel on a 10 MB/s stick: its steps shrink to the rate, so the window is
// painted at least every 100 ms (with room for a busy machine), never once per 16 MiB.
TEST(CopyFile, TicksOftenOnASlowDeviceWhenTheKernelCopies) {
  TempTree tree;
  const std::string bytes = TempTree::patternBytes(6 * 1024 * 1024);
  const std::string source = tree.write("source", bytes);
  testing_support::SyscallGuard guard;
  static int calls;
  calls = 0;
  testing_support::syscallRules().copyFileRange = [](int from, int to, size_t size) {
    ++calls;
    const ssize_t done = platform::realSyscalls().copyFileRange(from, to, size);
    if (done > 0) usleep(static_cast<useconds_t>(done / 10));  // 10 bytes per microsecond
    return done;
  };
  testing_support::applySyscallRules();
  using Clock = std::chrono::steady_clock;
  Clock::time_point last = Clock::now();
  Clock::duration longest{};
  CopyOptions options;
  options.tick = [&] {
    longest = std::max(longest, Clock::now() - last);
    last = Clock::now();
  };
  ASSERT_NE(copyFile(source, tree.path("copy"), options), 0);
  longest = std::max(longest, Clock::now() - last);
  EXPECT_EQ(tree.read("copy"), bytes);
  if (calls == 0) GTEST_SKIP() << "copy_file_range is not used on this file system";
  EXPECT_LT(longest, std::chrono::milliseconds(150));
}

TEST(CopyFile, AFailureHalfWayLeavesTheOldTargetAndNoTemporary) {
  for (int error : {ENOSPC, EIO}) {
    TempTree tree;
    std::string bytes = TempTree::patternBytes(3 * 1024 * 1024);
    std::string source = tree.write("source", bytes);
    tree.write("target", "the old target");
    tree.setMode("target", 0640);
    size_t written = 0;
    WriteRuleGuard guard([&](int fd, const void* data, size_t size) -> ssize_t {
      if (written >= bytes.size() / 2) {
        errno = error;
        return -1;
      }
      ssize_t done = ::write(fd, data, size);
      if (done > 0) written += static_cast<size_t>(done);
      return done;
    });
    Fingerprints prints{"x", "y", 1};
    CopyOptions options;
    options.sourcePrints = &prints;
    EXPECT_EQ(copyFile(source, tree.path("target"), options), 0);
    EXPECT_EQ(tree.read("target"), "the old target");
    EXPECT_EQ(tree.mode("target"), 0640u);
    EXPECT_EQ(tree.read("source"), bytes);
    EXPECT_TRUE(leftovers(tree).empty());
    EXPECT_EQ(prints, Fingerprints{}) << "a failed copy proves nothing";
  }
}

TEST(CopyFile, FailsCleanlyWithoutSourceOrTargetFolder) {
  TempTree tree;
  tree.write("target", "stays");
  EXPECT_EQ(copyFile(tree.path("missing"), tree.path("target")), 0);
  EXPECT_EQ(tree.read("target"), "stays");
  EXPECT_EQ(copyFile(tree.path("target"), tree.path("no folder/copy")), 0);
  tree.makeFolder("a folder");
  EXPECT_EQ(copyFile(tree.path("a folder"), tree.path("copy")), 0);
  EXPECT_EQ(copyFile(tree.path("target"), tree.path("a folder")), 0);
  EXPECT_EQ(tree.list("a folder").size(), 0u);
  EXPECT_TRUE(leftovers(tree).empty());
}

// Without the right to link a descriptor (CAP_DAC_READ_SEARCH, which users lack) an unnamed
// copy takes its name through /proc.
TEST(CopyFile, TakesItsNameWithoutTheRightToLinkADescriptor) {
  TempTree tree;
  const std::string source = tree.write("source", "bytes");
  testing_support::SyscallGuard guard;
  testing_support::syscallRules().linkat = [](int fromDir, const char* from, int toDir, const char* to, int flags) {
    if (flags & AT_EMPTY_PATH) return errno = ENOENT, -1;
    return ::linkat(fromDir, from, toDir, to, flags);
  };
  testing_support::applySyscallRules();
  ASSERT_NE(copyFile(source, tree.path("copy")), 0);
  EXPECT_EQ(tree.read("copy"), "bytes");
  EXPECT_EQ(tree.list(), (std::vector<std::string>{"copy", "source"}));
}

// A copy killed half-way leaves nothing named where the file system makes unnamed files;
// elsewhere it leaves its temporary, which the next sweep removes, and only that: a user's
// file of such a name, with a second name, stays.
TEST(StaleTemporaries, AKilledCopyLeavesNothingOrOnlyWhatTheSweepRemoves) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed files" : "no unnamed files");
    TempTree tree, userData;
    setenv("XDG_DATA_HOME", userData.root().c_str(), 1);
    const std::string source = tree.write("source", TempTree::patternBytes(100000));
    const std::string users = tree.write(".burnshelf-Zz98Yx", "the user's");
    ASSERT_EQ(link(users.c_str(), tree.path(".burnshelf-Partnr").c_str()), 0);
    const FileIdentity usersBefore = fileIdentity(users);
    EXPECT_EXIT(
        {
          if (!unnamed) testing_support::refuseUnnamedFiles();
          testing_support::setWriteRule([](int, const void*, size_t) -> ssize_t { _exit(0); });
          copyFile(source, tree.path("copy"));
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(leftovers(tree).size(), unnamed ? 2u : 3u);
    if (!unnamed) {  // the record, written anew as it grows, keeps what is still in force
      testing_support::SyscallGuard guard;
      testing_support::refuseUnnamedFiles();
      const std::string small = tree.write("small", "x");
      for (int i = 0; i < 1500; ++i) ASSERT_NE(copyFile(small, tree.path("copy")), 0);
      EXPECT_LT(fileSize(userData.path("burnshelf/temporaries")), 64 << 10);
    }
    EXPECT_EQ(removeStaleTemporaries(holdFolder(tree.root())), unnamed ? 0 : 1);
    EXPECT_EQ(leftovers(tree), (std::vector<std::string>{".burnshelf-Partnr", ".burnshelf-Zz98Yx"}));
    struct stat now{};
    ASSERT_EQ(lstat(users.c_str(), &now), 0);
    EXPECT_EQ(now.st_nlink, 2u);
    EXPECT_EQ(fileIdentity(users), usersBefore);
    EXPECT_EQ(tree.read(".burnshelf-Zz98Yx"), "the user's");
    unsetenv("XDG_DATA_HOME");
  }
}

TEST(CopyFile, EmptySourceGivesEmptyCopy) {
  TempTree tree;
  tree.write("empty", "");
  tree.write("target", "not empty");
  EXPECT_NE(copyFile(tree.path("empty"), tree.path("target")), 0);
  EXPECT_EQ(fileSize(tree.path("target")), 0);
}

TEST(VolumeFacts, DurabilityAndRights) {
  TempTree tree;
  std::string file = tree.write("file", "data");
  EXPECT_NE(flushAndForget(file), 0);
  EXPECT_NE(syncVolume(tree.root()), 0);
  EXPECT_EQ(flushAndForget(tree.path("missing")), 0);
  EXPECT_TRUE(canRead(file));
  EXPECT_FALSE(canRead(tree.path("missing")));
  EXPECT_TRUE(canWriteInto(tree.root()));
  EXPECT_FALSE(canWriteInto(tree.path("missing")));
}
