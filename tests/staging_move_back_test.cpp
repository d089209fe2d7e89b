// "BACK" on real files: every file back byte for byte with its mode and exact time, folders
// with their dates, and a staging area that is removed only when nothing in it is needed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <sstream>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/xattr.h>

#include "platform/gui_test_access.h"
#include "support/metadata.h"
#include "support/staging_fixture.h"
#include "support/syscall_faults.h"
#include "support/time_zone.h"

namespace {

using testing_support::Fault;
using testing_support::injectWriteFaults;
using testing_support::readFile;
using testing_support::setModifiedNs;
using testing_support::Snapshot;
using testing_support::StagingFixture;

constexpr size_t kMiB = 1 << 20;

class MoveBack : public StagingFixture {
 protected:
  // Positions: 0 a/, 1 run.sh (0755), 2 b/, 3 big.bin (0600), 4 b/c/, 5 note.
  void listTree() {
    listFolder("a");
    const std::string script = tree.write("data/a/run.sh", "#!/bin/sh\necho hi\n");
    tree.setMode("data/a/run.sh", 0755);
    setModifiedNs(script, 1500000000, 987654321);
    listExisting(script);
    listFolder("a/b");
    const std::string big = tree.write("data/a/b/big.bin", TempTree::patternBytes(2 * kMiB + 5, 7));
    tree.setMode("data/a/b/big.bin", 0600);
    setModifiedNs(big, 1600000000, 1);
    listExisting(big);
    listFolder("a/b/c");
    listFile("a/b/c/note", "note");
  }

  // Gives each listed folder dates 100 days apart, on the disk and as the scan would have
  // found them.
  void dateFolders() {
    int32_t date = 1400000000;
    for (staging::FileEntry& entry : state.files) {
      if (entry.kind != staging::kFolder) continue;
      entry.modified = date;
      entry.accessed = date + 7;
      platform::setFileDate(entry.path, platform::kModified, entry.modified);
      platform::setFileDate(entry.path, platform::kAccessed, entry.accessed);
      date += 86400 * 100;
    }
  }

  // True for a write into a copy being made right in data/relative (unnamed, or under its
  // temporary name), not in a folder below it.
  bool copyInto(const std::string& path, const std::string& relative) const {
    return platform::pathPart(path) == tree.folderPath("data/" + relative);
  }

  void expectFolderDates() {
    for (const staging::FileEntry& entry : state.files) {
      if (entry.kind != staging::kFolder) continue;
      EXPECT_EQ(platform::fileDate(entry.path, platform::kModified), entry.modified) << entry.path;
      EXPECT_EQ(platform::fileDate(entry.path, platform::kAccessed), entry.accessed) << entry.path;
    }
  }
};

class MoveBackEitherWay : public MoveBack, public ::testing::WithParamInterface<bool> {};

TEST_P(MoveBackEitherWay, PutsEveryFileBackExactlyAndRemovesTheStagingArea) {
  setCheck(GetParam());
  listTree();
  const Snapshot before = data();
  dateFolders();
  ASSERT_TRUE(clickGo());
  ASSERT_NE(data(), before);

  ASSERT_TRUE(clickBack());

  expectFolderDates();  // first: listing a folder sets its access time
  EXPECT_EQ(data(), before);  // bytes, modes, last-write times to the nanosecond
  EXPECT_TRUE(tree.list("stage").empty());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Restore Size 0.00 GB", "Finished"}));
  EXPECT_EQ(state.sizeLine, "Restore Size 0.00 GB");
  EXPECT_EQ(progress(), 100);
  EXPECT_FALSE(enabled(ui::kBackButton));
  EXPECT_FALSE(enabled(ui::kCheckBox));
  EXPECT_EQ(gui->text(ui::kCheckBox), "CRC32,MD5,SHA-1 FingerPrint Check");
  EXPECT_FALSE(platform::isKeptOnTop(*gui, ui::kMainWindow));
  EXPECT_TRUE(platform::shownBoxes(*gui).empty());
}

// Files put back into many folders of one volume share its syncs: one for the proof's batch
// with the check, one before the staging area goes.
TEST_P(MoveBackEitherWay, SyncsTheVolumeOnceHoweverManyFoldersReceiveFiles) {
  setCheck(GetParam());
  for (const std::string folder : {"a", "b", "c", "d", "e", "f"}) {
    listFolder(folder);
    listFile(folder + "/file", "in " + folder);
  }
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  testing_support::SyscallGuard guard;
  static int syncs;
  syncs = 0;
  testing_support::syscallRules().syncfs = [](int fd) {
    ++syncs;
    return platform::realSyscalls().syncfs(fd);
  };
  testing_support::applySyscallRules();

  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_EQ(syncs, GetParam() ? 2 : 1);
}

INSTANTIATE_TEST_SUITE_P(CheckBox, MoveBackEitherWay, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Ticked" : "Cleared"; });

// NTFS, exFAT and FAT show every staged copy with one mode: the modes come from GO's record.
TEST_F(MoveBack, ModesComeFromWhatGoRecordedOnAVolumeThatKeepsNone) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  for (int64_t i : {1, 3, 5}) ASSERT_EQ(chmod(staged(i).c_str(), 0777), 0);

  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

TEST_F(MoveBack, MissingFoldersComeBackBeforeTheirFiles) {
  listTree();
  const Snapshot before = data();
  dateFolders();
  ASSERT_TRUE(clickGo());
  platform::deleteFolder(tree.path("data/a/b"));

  ASSERT_TRUE(clickBack());
  expectFolderDates();
  EXPECT_EQ(data(), before);
}

// A file the user made at a moved file's place after "GO" is never overwritten: both it and
// the staged copy are kept, and the staging area stays for when the user has moved it away.
TEST_F(MoveBack, NeverOverwritesAFileTheUserPutInAMovedFilesPlace) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  tree.write("data/a/run.sh", "the user's new script");

  EXPECT_FALSE(clickBack());
  EXPECT_EQ(readFile(tree.path("data/a/run.sh")), "the user's new script");
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Files not restored: 1", tree.path("data/a/run.sh")}));
  EXPECT_EQ(readFile(staged(1)), before.at("/a/run.sh").bytes);
  Snapshot after = data();
  Snapshot expected = before;
  after.erase("/a/run.sh");
  expected.erase("/a/run.sh");
  EXPECT_EQ(after, expected);  // every other file is back

  // Once the user has moved the new file away, a later "BACK" finishes the job.
  platform::deleteFile(tree.path("data/a/run.sh"));
  restartAndDrop();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

// A file an interrupted "BACK" already put back is the staged copy itself: it is no obstacle,
// and it is left exactly as it stands.
TEST_F(MoveBack, AFileAnEarlierBackRestoredIsNoObstacle) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  platform::CopyOptions asBackPutsIt;
  asBackPutsIt.keepTimes = true;
  ASSERT_TRUE(platform::copyFile(staged(1), tree.path("data/a/run.sh"), asBackPutsIt));
  tree.setMode("data/a/run.sh", 0755);

  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

// The user tidied up after "GO" and removed the emptied folder with the one above it.
TEST_F(MoveBack, AChosenFolderComesBackWhenItsParentWasRemoved) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  platform::deleteFolder(tree.path("data"));

  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

TEST_F(MoveBack, ProgressIsTheTruncatedShareAndOnlyTheCleanUpShowsHundred) {
  setCheck(false);
  for (int i = 0; i < 100; ++i) listFile("f" + std::to_string(i), std::to_string(i));
  ASSERT_TRUE(clickGo());
  testing_support::ProgressRecorder recorder(*gui);
  ASSERT_TRUE(clickBack());

  const std::vector<int>& values = recorder.values;
  ASSERT_GE(values.size(), 3u);
  EXPECT_NE(std::find(values.begin(), values.end(), 28), values.end());
  EXPECT_EQ(std::find(values.begin(), values.end(), 29), values.end());  // 29 / 100 * 100 < 29
  EXPECT_EQ(values[values.size() - 2], 99);
  EXPECT_EQ(values.back(), 100);
}

// A staged copy that is not what "GO" made: it never replaces anything, and a file that
// cannot come back keeps the staging area and ends the program once the others are back.
struct DamagedCopy {
  const char* name;
  friend void PrintTo(const DamagedCopy& row, std::ostream* out) { *out << row.name; }
  std::function<void(TempTree&, const std::string&)> damage;  // to big.bin's staged copy
  bool fileAtPath;                        // whether something stands at big.bin's place
  bool restorable;
};

class DamagedStagedCopy : public MoveBack, public ::testing::WithParamInterface<DamagedCopy> {};

TEST_P(DamagedStagedCopy, NeverReplacesAnythingAndKeepsTheStagingArea) {
  const DamagedCopy& damaged = GetParam();
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  damaged.damage(tree, staged(3));
  const std::string bigPath = tree.path("data/a/b/big.bin");
  if (damaged.fileAtPath) tree.write("data/a/b/big.bin", "never moved out");
  const Snapshot stagingBefore = testing_support::snapshot(base);

  const bool ran = clickBack();

  // Every other file is back.
  Snapshot after = data();
  Snapshot expected = before;
  expected.erase("/a/b/big.bin");
  after.erase("/a/b/big.bin");
  EXPECT_EQ(after, expected);
  if (damaged.fileAtPath) EXPECT_EQ(readFile(bigPath), "never moved out");
  else EXPECT_FALSE(tree.exists("data/a/b/big.bin"));

  if (damaged.restorable) {
    EXPECT_TRUE(ran);
    EXPECT_EQ(lines().back(), "Finished");
    EXPECT_TRUE(tree.list("stage").empty());
  } else {
    EXPECT_FALSE(ran);
    EXPECT_EQ(lines(), (std::vector<std::string>{"Restore Size 0.00 GB", "Files not restored: 1", bigPath}));
    ASSERT_EQ(platform::shownBoxes(*gui).size(), 1u);
    EXPECT_EQ(platform::shownBoxes(*gui)[0].title, "Error");
    EXPECT_EQ(platform::shownBoxes(*gui)[0].text, "Drive error, stop.");
    EXPECT_EQ(platform::shownBoxes(*gui)[0].kind, platform::kBoxStopOk);
    EXPECT_EQ(testing_support::snapshot(base), stagingBefore);  // staging area and database kept
  }
}

INSTANTIATE_TEST_SUITE_P(
    Copies, DamagedStagedCopy,
    ::testing::Values(
        DamagedCopy{"Truncated",
                    [](TempTree& t, const std::string&) { t.write("stage/Backup001/F0000003.dat", "short"); }, false, false},
        DamagedCopy{"Missing", [](TempTree&, const std::string& copy) { platform::deleteFile(copy); }, false, false},
        DamagedCopy{"MissingButFileInPlace", [](TempTree&, const std::string& copy) { platform::deleteFile(copy); },
                    true, true},
        DamagedCopy{"TruncatedButFileInPlace",
                    [](TempTree& t, const std::string&) { t.write("stage/Backup001/F0000003.dat", "short"); }, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MoveBack, CopyThatFailsStopsWithTheRestStillStagedForALaterBack) {
  setCheck(false);
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  // The disk of the old place is full when big.bin comes back.
  injectWriteFaults([this](const std::string& path, int64_t, size_t) {
    return copyInto(path, "a/b") ? Fault::kFail : Fault::kPass;
  });

  EXPECT_FALSE(clickBack());
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error"});
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Files not restored: 1",
                                               tree.path("data/a/b/big.bin")}));
  EXPECT_EQ(readFile(tree.path("data/a/run.sh")), before.at("/a/run.sh").bytes);  // restored before
  EXPECT_EQ(tree.list("data/a/b"), std::vector<std::string>{"c"});  // no partial big.bin
  EXPECT_EQ(readFile(staged(3)), before.at("/a/b/big.bin").bytes);
  // The one file that could not come back holds up no other.
  EXPECT_EQ(readFile(tree.path("data/a/b/c/note")), before.at("/a/b/c/note").bytes);
  EXPECT_TRUE(tree.exists("stage/Shelfdex.dat"));

  // Room again: "BACK" once more finishes the job.
  testing_support::restoreSyscalls();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

// A restored copy that differs from its staged copy, with the check box ticked.
struct BadRestore {
  const char* name;
  friend void PrintTo(const BadRestore& row, std::ostream* out) { *out << row.name; }
  int corruptCopies;
  std::vector<int> answers;
  std::vector<std::string> boxes;
  bool ends;
};

class BadRestoreChecked : public MoveBack, public ::testing::WithParamInterface<BadRestore> {};

TEST_P(BadRestoreChecked, OffersOneRetryAndKeepsTheStagingArea) {
  const BadRestore& bad = GetParam();
  setCheck(true);
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  auto left = std::make_shared<int>(bad.corruptCopies);
  injectWriteFaults([this, left](const std::string& path, int64_t offset, size_t) {
    // Only big.bin, the one file written directly into a/b.
    if (!copyInto(path, "a/b") || offset != 0 || *left == 0) return Fault::kPass;
    --*left;
    return Fault::kCorrupt;
  });
  platform::scriptAnswers(*gui, bad.answers);

  EXPECT_EQ(clickBack(), !bad.ends);
  EXPECT_EQ(boxTitles(), bad.boxes);
  if (bad.ends) {
    EXPECT_EQ(readFile(staged(3)), before.at("/a/b/big.bin").bytes);
    EXPECT_TRUE(tree.exists("stage/Shelfdex.dat"));
    // No unproven copy took the file's name, so a later BACK restores it.
    EXPECT_EQ(tree.list("data/a/b"), std::vector<std::string>{"c"});
    testing_support::restoreSyscalls();
    restartAndDrop();
    ASSERT_TRUE(clickBack());
  }
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BadRestoreChecked,
    ::testing::Values(
        BadRestore{"RetryGood", 1, {platform::kAnswerRetry}, {"Error File checked"}, false},
        BadRestore{"RetryBad", 2, {platform::kAnswerRetry, platform::kAnswerOk},
                   {"Error File checked", "Error File checked 2"}, true},
        BadRestore{"Cancel", 1, {platform::kAnswerCancel}, {"Error File checked"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MoveBack, EmptyListLeavesTheStagingBaseUntouched) {
  tree.write("stage/Shelfdex.dat", "someone else's");
  tree.write("stage/Backup001/F0000000.dat", "copy");
  const Snapshot stagingBefore = testing_support::snapshot(base);

  ASSERT_TRUE(clickBack());
  EXPECT_EQ(testing_support::snapshot(base), stagingBefore);
  EXPECT_EQ(lines(), (std::vector<std::string>{"Restore Size 0.00 GB", "Restore Prepare Finish"}));
  EXPECT_FALSE(enabled(ui::kBackButton));
}

// Dates come back as recorded whatever the season: a winter and a summer date in a zone
// with summer time, for a folder, and for a file whose staged copy no longer carries them.
TEST_F(MoveBack, DatesComeBackUnchangedAcrossSummerAndWinterTime) {
  const testing_support::ZoneGuard zone("Europe/Berlin");

  listFolder("winter");
  listFile("winter/file", "w");
  listFolder("summer");
  listFile("summer/file", "s");
  // Noon local time: 2021-01-15 and 2021-07-15, as date values (local fields counted as UTC).
  const int32_t winterNoon = 1610712000;
  const int32_t summerNoon = 1626350400;
  for (staging::FileEntry& entry : state.files) {
    const bool summer = entry.path.find("/summer") != std::string::npos;
    entry.modified = summer ? summerNoon : winterNoon;
    entry.accessed = entry.modified;
    platform::setFileDate(entry.path, platform::kModified, entry.modified);
    platform::setFileDate(entry.path, platform::kAccessed, entry.accessed);
  }
  ASSERT_TRUE(clickGo());
  ASSERT_TRUE(clickBack());

  for (const staging::FileEntry& entry : state.files) {
    EXPECT_EQ(platform::fileDate(entry.path, platform::kModified), entry.modified) << entry.path;
    // Berlin is UTC+1 in winter and UTC+2 in summer.
    const bool summer = entry.modified == summerNoon;
    EXPECT_EQ(platform::exactTime(entry.path, platform::kModified).tv_sec,
              entry.modified - (summer ? 7200 : 3600))
        << entry.path;
  }
}

// Shelfdex.facts as a test changes it: each line through edit, which may drop it ("").
void editFacts(const std::string& base, const std::function<std::string(const std::string&)>& edit) {
  std::string text, line;
  std::istringstream lines(readFile(base + "/" + staging::kFactsName));
  while (std::getline(lines, line)) {
    const std::string edited = edit(line);
    if (!edited.empty()) text += edited + "\n";
  }
  ASSERT_TRUE(platform::replaceFileContent(base + "/" + staging::kFactsName, text));
}

// The volume a folder's files left is not the one at its place now (its disk is not
// mounted, or another one is): nothing is restored or deleted until it is back.
TEST_F(MoveBack, RestoresNothingWhileTheVolumeTheFilesLeftIsMissing) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  const Snapshot emptied = data();
  std::string recorded;
  editFacts(base, [&](const std::string& line) {
    if (line.rfind("volume\t", 0) != 0) return line;
    recorded = line;
    return line.substr(0, line.rfind('\t')) + "\tuuid:0123456789abcdef0123456789abcdef";
  });
  const Snapshot staging = testing_support::snapshot(base);
  restartAndDrop();

  EXPECT_FALSE(clickBack());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Volume not found: " + tree.folderPath("data/a")}));
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error"});
  EXPECT_EQ(data(), emptied);
  EXPECT_EQ(testing_support::snapshot(base), staging);

  editFacts(base, [&](const std::string& line) { return line.rfind("volume\t", 0) == 0 ? recorded : line; });
  restartAndDrop();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
}

// Without Shelfdex.facts (an older database) no folder is made above a chosen folder's own
// parent: where a volume is missing, BACK must not build its folders on the disk below it.
TEST_F(MoveBack, AnOlderDatabaseMakesNoFolderAboveAChosenFoldersParent) {
  for (bool withFacts : {true, false}) {
    SCOPED_TRACE(withFacts ? "with facts" : "older database");
    state.clearFiles();
    listFolder("mnt/disk/Video");
    listFile("mnt/disk/Video/clip", "clip");
    ASSERT_TRUE(clickGo());
    if (!withFacts) platform::deleteFile(base + "/" + staging::kFactsName);
    platform::deleteFolder(tree.path("data/mnt"));
    restartAndDrop();
    platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk, platform::kAnswerOk});
    EXPECT_EQ(clickBack(), withFacts);
    EXPECT_EQ(tree.exists("data/mnt/disk/Video/clip"), withFacts);
    EXPECT_EQ(tree.exists("stage/Backup001/F0000001.dat"), !withFacts);
  }
}

// BACK deletes only what it put back: a list that knows fewer files than were staged leaves
// the others' copies, their folder and the database in place, and says so.
TEST_F(MoveBack, CleanUpDeletesOnlyTheCopiesItPutBack) {
  listTree();
  ASSERT_TRUE(clickGo());
  const std::vector<staging::FileEntry> all = state.files;
  state.clearFiles();
  for (size_t i = 0; i < 3; ++i) state.appendFile(all[i]);

  EXPECT_FALSE(clickBack());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Delete temp files",
                                               "Could not delete: " + base + "/Backup001"}));
  EXPECT_FALSE(tree.exists("stage/Backup001/F0000001.dat"));
  EXPECT_TRUE(tree.exists("stage/Backup001/F0000003.dat"));
  EXPECT_TRUE(tree.exists("stage/Backup001/F0000005.dat"));
  EXPECT_TRUE(tree.exists("stage/Shelfdex.dat"));
}

// A clean-up that fails (a read-only staging volume) is no "Finished"; a later BACK ends it.
TEST_F(MoveBack, ACleanUpThatFailsIsNotFinishedAndALaterBackEndsIt) {
  listTree();
  const Snapshot before = data();
  ASSERT_TRUE(clickGo());
  testing_support::SyscallGuard guard;
  testing_support::syscallRules().unlinkat = [](int dir, const char* path, int flags) {
    if (testing_support::pathOfFd(dir, path).find("/stage/") != std::string::npos) {
      errno = EROFS;
      return -1;
    }
    return platform::realSyscalls().unlinkat(dir, path, flags);
  };
  testing_support::applySyscallRules();

  EXPECT_FALSE(clickBack());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Delete temp files",
                                               "Could not delete: " + staged(1)}));
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error"});
  EXPECT_EQ(data(), before);

  testing_support::restoreSyscalls();
  restartAndDrop();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Finished");
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
}

// The temporaries a stopped run left are swept by the next, and only those the program
// made: a user's file of such a name, with a second name, in a chosen folder and in the
// staging base, stays however GO or BACK is stopped (a full disk at its k-th write, then the
// end), on a volume with unnamed files and on one without. No temporary can be removed while
// a stopped run works, as a killed run removes none.
class StoppedRuns : public MoveBack, public ::testing::WithParamInterface<bool> {
 protected:
  // The count of writes the run makes.
  std::shared_ptr<int> stopAtWrite(int k) {
    if (!GetParam()) testing_support::refuseUnnamedFiles();
    auto written = std::make_shared<int>(0);
    injectWriteFaults([k, written](const std::string&, int64_t, size_t) {
      return ++*written == k ? Fault::kFail : Fault::kPass;
    });
    testing_support::syscallRules().unlinkat = [](int dir, const char* name, int flags) {
      if (std::string_view(name).starts_with(".burnshelf-")) return errno = EIO, -1;
      return platform::realSyscalls().unlinkat(dir, name, flags);
    };
    testing_support::applySyscallRules();
    platform::scriptAnswers(*gui, std::vector<int>(4, platform::kAnswerOk));
    return written;
  }
  // Inode, links and bytes of each of the user's names.
  std::vector<std::string> usersFiles() const {
    std::vector<std::string> facts;
    for (const char* folder : {"data/a/", "stage/"})
      for (const char* name : {".burnshelf-Zz98Yx", ".burnshelf-Partnr"}) {
        struct stat info{};
        const std::string path = tree.path(std::string(folder) + name);
        facts.push_back(lstat(path.c_str(), &info) != 0 ? "missing" :
                        std::to_string(info.st_ino) + " " + std::to_string(info.st_nlink) + " " + readFile(path));
      }
    return facts;
  }
};

TEST_P(StoppedRuns, SweepOnlyTheTemporariesTheProgramMade) {
  for (const char* folder : {"data/a/", "stage/"}) {
    const std::string users = tree.write(std::string(folder) + ".burnshelf-Zz98Yx", "the user's");
    ASSERT_EQ(link(users.c_str(), tree.path(std::string(folder) + ".burnshelf-Partnr").c_str()), 0);
  }
  const std::vector<std::string> usersBefore = usersFiles();
  tree.write("data/a/one", "one");
  tree.write("data/a/b/two", "two");
  const Snapshot before = data();
  for (const bool stopBack : {false, true}) {
    for (int k = 1;; ++k) {
      SCOPED_TRACE((stopBack ? "BACK stopped at write " : "GO stopped at write ") + std::to_string(k));
      state.clearFiles();  // the files put back are new ones: listed again
      for (const char* file : {"data/a/one", "data/a/b/two"}) listExisting(tree.path(file));
      setCheck(true);
      if (stopBack) ASSERT_TRUE(clickGo());
      const std::shared_ptr<int> written = stopAtWrite(k);
      stopBack ? clickBack() : clickGo();
      testing_support::restoreSyscalls();
      if (!GetParam()) testing_support::refuseUnnamedFiles();
      if (tree.exists("stage/Shelfdex.dat")) {
        restartAndDrop();
        ASSERT_TRUE(clickBack()) << status();
      }
      EXPECT_EQ(usersFiles(), usersBefore);
      EXPECT_EQ(data(), before);
      if (*written < k) break;
    }
    EXPECT_EQ(tree.list("stage"), (std::vector<std::string>{".burnshelf-Partnr", ".burnshelf-Zz98Yx"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, StoppedRuns, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "UnnamedFiles" : "NamedTemporaries"; });

// ---- what comes back besides the bytes ----

// One entry of a tree laid with what users' files carry.
struct Carried {
  const char* path;  // folders end with "/"
  timespec accessed, modified;
  std::vector<std::pair<std::string, std::string>> attributes;
  int flags = 0;
};

class Fidelity : public MoveBack {
 protected:
  // Lays and lists the rows in their order; a sparse disk image goes with the last folder.
  void lay(const std::vector<Carried>& rows) {
    for (const Carried& row : rows) {
      const std::string relative = row.path;
      const bool folder = relative.back() == '/';
      const std::string path = folder ? listFolder(relative.substr(0, relative.size() - 1)) : tree.write("data/" + relative, relative);
      for (const auto& [name, value] : row.attributes)
        ASSERT_EQ(lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0) << name << " on " << path;
      if (!folder) listExisting(path);
      if (row.flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) locked.push_back(path);
    }
    image = tree.path("data/tags/disk.img");
    const int fd = open(image.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_EQ(pwrite(fd, "start", 5, 0), 5);
    ASSERT_EQ(pwrite(fd, "middle", 6, 4 * kMiB), 6);
    ASSERT_EQ(ftruncate(fd, 16 * kMiB), 0);
    close(fd);
    listExisting(image);
    // Times last, as laying the files moved their folders' times; flags after them.
    for (const Carried& row : rows) {
      const std::string path = tree.path("data/" + std::string(row.path));
      const timespec times[2] = {row.accessed, row.modified};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
      if (row.flags) ASSERT_TRUE(testing_support::setFlags(path, row.flags)) << path;
    }
    for (staging::FileEntry& entry : state.files) {  // the dates a scan would now find
      entry.modified = platform::fileDate(entry.path, platform::kModified);
      entry.accessed = platform::fileDate(entry.path, platform::kAccessed);
    }
  }

  // A staging volume that keeps no holes (exFAT, NTFS): the staged copies are written out whole.
  void fillHoles() {
    for (int64_t i = 0; i < static_cast<int64_t>(state.files.size()); ++i) {
      if (platform::fileSize(staged(i)) <= 0) continue;
      const std::string bytes = readFile(staged(i));
      std::ofstream(staged(i), std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
    }
  }

  // A file that cannot be deleted would outlive the test's tree.
  void TearDown() override {
    for (const std::string& path : locked) testing_support::setFlags(path, 0);
    MoveBack::TearDown();
  }

  std::string image;
  std::vector<std::string> locked;
};

// Times at the edges of what Shelfdex.dat can say (before 1970, after 2038 and 2106, the hour
// repeated when summer time ends, nanoseconds), desktop tags, ACLs of a shared folder and a
// file, a capability, chattr flags and holes: after "GO" and "BACK", through a staging volume
// that keeps no holes, with the folders made again, every entry is as it was.
TEST_F(Fidelity, EverythingAnEntryCarriesComesBack) {
  const testing_support::ZoneGuard zone("Europe/Berlin");
  std::vector<Carried> rows = {
      {"old/", {-315619200, 5}, {-1, 999999999}, {}},
      {"old/letter", {-31536000, 0}, {0, 1}, {}},
      {"dst first/", {1635640200, 0}, {1635640200, 0}, {}},  // 02:30 CEST on 31 October 2021
      {"dst second/", {1635643800, 0}, {1635643800, 0}, {}},  // 02:30 CET, an hour later
      {"dst second/log", {1635643800, 500}, {1635643800, 0}, {}},
      {"future/", {2208988800, 1}, {3786912000, 0}, {}},  // 2040 and 2090
      {"future/2108", {4354819200, 0}, {4354819200, 999999999}, {}},
      {"tags/", {1700000000, 0}, {1700000001, 0},
       {{"user.xdg.comment", "shared"}, {"system.posix_acl_access", testing_support::aclGiving(1234, 7)},
        {"system.posix_acl_default", testing_support::aclGiving(1234, 6)}}, FS_NODUMP_FL},
      {"tags/photo.jpg", {1700000002, 3}, {1700000003, 4},
       {{"user.xdg.tags", "holiday,sea"}, {"user.xdg.origin.url", "https://example.org/p.jpg"},
        {"user.binary", std::string("\0\xff\n\t\\", 5)}, {"system.posix_acl_access", testing_support::aclGiving(1234, 6)}},
       FS_NOATIME_FL | FS_NODUMP_FL},
  };
  if (geteuid() == 0) rows.push_back({"tags/tool", {1700000005, 0}, {1700000006, 0}, {{"security.capability", testing_support::kCapability}}});
  setCheck(true);
  lay(rows);
  if (HasFatalFailure()) return;
  const std::vector<std::string> before = testing_support::metadataOfTree(tree.path("data"));
  ASSERT_TRUE(clickGo());
  ASSERT_EQ(lines().back(), "Backup complete") << status();
  for (const char* folder : {"data/old", "data/tags", "data/dst second"})
    std::filesystem::remove_all(tree.path(folder));
  fillHoles();

  ASSERT_TRUE(clickBack());
  ASSERT_EQ(lines().back(), "Finished") << status();
  EXPECT_EQ(testing_support::metadataOfTree(tree.path("data")), before);
  EXPECT_LE(TempTree::allocated(image), 64 << 10);
}

// A foreign staging area gives back times, tags and flags, never an ACL or a capability
// that only the staging area vouches for.
TEST_F(Fidelity, AForeignAreaGrantsNoRights) {
  lay({{"tags/", {1700000000, 0}, {1700000001, 0}, {}},
       {"tags/photo.jpg", {1700000002, 3}, {1700000003, 4},
        {{"user.xdg.tags", "sea"}, {"system.posix_acl_access", testing_support::aclGiving(1234, 6)}}, FS_NODUMP_FL}});
  if (HasFatalFailure()) return;
  const std::string photo = tree.path("data/tags/photo.jpg");
  ASSERT_TRUE(clickGo());
  std::filesystem::remove(userData.path("burnshelf/key"));
  restartAndDrop();
  platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  ASSERT_EQ(lines().back(), "Finished") << status();
  const std::string now = testing_support::metadataOf(photo, false);
  EXPECT_EQ(now, std::to_string(S_IFREG | 0660) + " " + std::to_string(geteuid()) + ":" + std::to_string(getegid()) +
                     " a1700000002.3 m1700000003.4 14 flags" + std::to_string(FS_NODUMP_FL) +
                     " user.xdg.tags=736561");
}

// A file that could not come back as it is (immutable, append-only) stays where it is; one
// whose attributes cannot be set again at "BACK" stays staged, and nothing says "Finished".
TEST_F(Fidelity, WhatCannotComeBackWithItsAttributesStays) {
  lay({{"tags/", {1700000000, 0}, {1700000001, 0}, {}},
       {"tags/locked", {1700000002, 0}, {1700000002, 0}, {}, FS_IMMUTABLE_FL},
       {"tags/log", {1700000002, 0}, {1700000002, 0}, {}, FS_APPEND_FL},
       {"tags/photo.jpg", {1700000002, 0}, {1700000002, 0}, {{"user.xdg.tags", "sea"}}}});
  if (HasFatalFailure()) return;
  ASSERT_TRUE(clickGo());
  EXPECT_EQ(lines()[2], "Files not moved: 2");
  EXPECT_EQ(tree.read("data/tags/locked"), "tags/locked");
  EXPECT_FALSE(tree.exists("data/tags/photo.jpg"));

  testing_support::SyscallGuard guard;
  testing_support::syscallRules().fsetxattr = [](int, const char*, const void*, size_t, int) {
    errno = ENOTSUP;
    return -1;
  };
  testing_support::applySyscallRules();
  EXPECT_FALSE(clickBack());
  EXPECT_EQ(lines()[1], "Files not restored: 1");
  EXPECT_FALSE(tree.exists("data/tags/photo.jpg"));
  EXPECT_EQ(readFile(staged(3)), "tags/photo.jpg");
}

}  // namespace
