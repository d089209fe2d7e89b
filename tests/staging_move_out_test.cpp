// "GO" on real files: the staging layout, the proven copies, the sources that may and may not
// go, and every fault that must leave each byte either at its place or in the staging area.
#include <gtest/gtest.h>

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>

#include "platform/gui_test_access.h"
#include "support/staging_fixture.h"

namespace {

using testing_support::contains;
using testing_support::Fault;
using testing_support::injectWriteFaults;
using testing_support::readFile;
using testing_support::setModifiedNs;
using testing_support::StagingFixture;

constexpr size_t kMiB = 1 << 20;

class MoveOut : public StagingFixture {
 protected:
  // A small tree: a folder, a file of three blocks, a subfolder with an awkward name, an
  // empty file. Positions: 0 a/, 1 big.bin, 2 a/sub ü/, 3 "zwei ü.txt", 4 empty.
  void listSmallTree() {
    listFolder("a");
    const std::string big = tree.write("data/a/big.bin", TempTree::patternBytes(3 * kMiB + 17, 3));
    tree.setMode("data/a/big.bin", 0750);
    setModifiedNs(big, 1600000000, 123456789);
    listExisting(big);
    listFolder("a/sub ü");
    listFile("a/sub ü/zwei ü.txt", "two\n");
    listFile("a/sub ü/empty", "");
  }
  std::string backup001() const { return base + "/Backup001"; }
};

class MoveOutEitherWay : public MoveOut, public ::testing::WithParamInterface<bool> {};

TEST_P(MoveOutEitherWay, MovesEveryFileIntoTheStagingAreaAndKeepsTheFolders) {
  setCheck(GetParam());
  listSmallTree();
  const testing_support::Snapshot before = data();

  ASSERT_TRUE(clickGo());

  // With the check, the fingerprints of what left also lie beside the database, for sha1sum -c.
  const std::vector<std::string> beside =
      GetParam() ? std::vector<std::string>{"Backup001", "Shelfdex-contents.txt", "Shelfdex.dat", "Shelfdex.facts",
                                            "Shelfdex.md5", "Shelfdex.sha1"}
                 : std::vector<std::string>{"Backup001", "Shelfdex-contents.txt", "Shelfdex.dat", "Shelfdex.facts"};
  EXPECT_EQ(tree.list("stage"), beside);
  EXPECT_EQ(tree.list("stage/Backup001"),
            (std::vector<std::string>{"F0000001.dat", "F0000003.dat", "F0000004.dat"}));
  // Each staged copy carries the source's bytes, permission bits and exact last-write time.
  // Each copy keeps its bytes and times; it is the user's alone (its mode travels in the facts).
  const testing_support::Snapshot stagedFacts = testing_support::snapshot(backup001());
  auto asStaged = [](testing_support::FileFacts facts) {
    facts.mode = 0600;
    return facts;
  };
  EXPECT_EQ(stagedFacts.at("/F0000001.dat"), asStaged(before.at("/a/big.bin")));
  EXPECT_EQ(stagedFacts.at("/F0000003.dat"), asStaged(before.at("/a/sub ü/zwei ü.txt")));
  EXPECT_EQ(stagedFacts.at("/F0000004.dat"), asStaged(before.at("/a/sub ü/empty")));

  // The sources are gone; the folders stay, emptied.
  EXPECT_EQ(tree.list("data/a"), (std::vector<std::string>{"sub ü"}));
  EXPECT_TRUE(tree.list("data/a/sub ü").empty());

  auto written = staging::readDatabase(database());
  ASSERT_TRUE(written.has_value());
  EXPECT_EQ(written->files, state.files);
  EXPECT_EQ(written->stockSize, static_cast<int64_t>(3 * kMiB + 17 + 4));

  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Created File Database", "Backup complete"}));
  EXPECT_EQ(progress(), 100);
  EXPECT_TRUE(enabled(ui::kBackButton));
  EXPECT_FALSE(enabled(ui::kGoButton));
  EXPECT_FALSE(enabled(ui::kCheckBox));
  EXPECT_EQ(gui->text(ui::kCheckBox), "CRC32,MD5,SHA-1 FingerPrint Check");
  EXPECT_FALSE(platform::isKeptOnTop(*gui, ui::kMainWindow));
  EXPECT_TRUE(platform::shownBoxes(*gui).empty());
}

INSTANTIATE_TEST_SUITE_P(CheckBox, MoveOutEitherWay, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Ticked" : "Cleared"; });

TEST_F(MoveOut, ProgressClimbsThroughTheCopyPassThenTheDeletePassThenShowsHundred) {
  for (int i = 0; i < 4; ++i) listFile("f" + std::to_string(i), "x");
  gui->setState(ui::kProgressBar, 0);
  testing_support::ProgressRecorder recorder(*gui);
  ASSERT_TRUE(clickGo());
  EXPECT_EQ(recorder.values, (std::vector<int>{25, 50, 75, 0, 25, 50, 75, 100}));
}

TEST_P(MoveOutEitherWay, CheckBoxSaysCheckingOnlyWhileACopyIsChecked) {
  setCheck(GetParam());
  listFile("one", "1");
  std::vector<std::string> captionsWhileCopying;
  injectWriteFaults([&](const std::string& path, int64_t, size_t) {
    if (path.find("/Backup001/") != std::string::npos)
      captionsWhileCopying.push_back(gui->text(ui::kCheckBox));
    return Fault::kPass;
  });
  ASSERT_TRUE(clickGo());
  const std::string during = GetParam() ? "CRC32,MD5,SHA-1 FingerPrint Checking"
                                        : "CRC32,MD5,SHA-1 FingerPrint Check";
  EXPECT_EQ(captionsWhileCopying, std::vector<std::string>{during});
  EXPECT_EQ(gui->text(ui::kCheckBox), "CRC32,MD5,SHA-1 FingerPrint Check");
}

// Which staging folders a list uses: one per 600 list positions, counted over folder
// entries too, each holding the copies of its own positions.
struct LayoutCase {
  const char* name;
  friend void PrintTo(const LayoutCase& row, std::ostream* out) { *out << row.name; }
  int entries;
  std::vector<int> filePositions;  // the others are folder entries
  std::map<std::string, std::vector<std::string>> folders;
};

class StagingLayout : public MoveOut, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(StagingLayout, EverySixHundredPositionsOpenANewStagingFolder) {
  const LayoutCase& layout = GetParam();
  setCheck(false);
  const std::string folder = listFolder("d");
  const staging::FileEntry folderEntry = state.files[0];
  for (int i = 1; i < layout.entries; ++i) {
    const bool isFile = std::count(layout.filePositions.begin(), layout.filePositions.end(), i) > 0;
    if (isFile) {
      listFile("d/f" + std::to_string(i), "content " + std::to_string(i));
    } else {
      state.appendFile(folderEntry);
    }
  }
  const testing_support::Snapshot before = data();

  ASSERT_TRUE(clickGo());
  std::vector<std::string> expectedTop{"Shelfdex.dat", "Shelfdex.facts"};
  for (const auto& [name, files] : layout.folders) {
    expectedTop.push_back(name);
    if (!files.empty() && expectedTop[0] != "Shelfdex-contents.txt") expectedTop.insert(expectedTop.begin(), "Shelfdex-contents.txt");
    EXPECT_EQ(tree.list("stage/" + name), files) << name;
  }
  std::sort(expectedTop.begin(), expectedTop.end());
  EXPECT_EQ(tree.list("stage"), expectedTop);
  EXPECT_EQ(lines().back(), "Backup complete");

  // "BACK" finds every copy in the same folders and removes them all, empty ones too.
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(data(), before);
  EXPECT_TRUE(tree.list("stage").empty());
  EXPECT_EQ(lines().back(), "Finished");
}

INSTANTIATE_TEST_SUITE_P(
    Lists, StagingLayout,
    ::testing::Values(
        LayoutCase{"ThreeFolders", 1201, {1, 599, 601, 1199, 1200},
                   {{"Backup001", {"F0000001.dat", "F0000599.dat"}},
                    {"Backup002", {"F0000601.dat", "F0001199.dat"}},
                    {"Backup003", {"F0001200.dat"}}}},
        LayoutCase{"FolderAtPosition600", 601, {1}, {{"Backup001", {"F0000001.dat"}}, {"Backup002", {}}}},
        LayoutCase{"OnlyFolders", 3, {}, {{"Backup001", {}}}}),
    [](const auto& info) { return std::string(info.param.name); });

// What already lies at the staging base before "GO": only a staging area that cannot hold
// anyone's data may be used.
struct ExistingArea {
  const char* name;
  friend void PrintTo(const ExistingArea& row, std::ostream* out) { *out << row.name; }
  std::function<void(TempTree&)> lay;
  bool refused;
};

class ExistingStagingArea : public MoveOut, public ::testing::WithParamInterface<ExistingArea> {};

TEST_P(ExistingStagingArea, IsUsedOnlyWhenItHoldsNothing) {
  listFolder("a");
  listFile("a/one", "one");
  GetParam().lay(tree);
  const testing_support::Snapshot stageBefore = testing_support::snapshot(base);
  const testing_support::Snapshot dataBefore = data();

  const bool ran = clickGo();
  if (GetParam().refused) {
    EXPECT_FALSE(ran);
    ASSERT_EQ(platform::shownBoxes(*gui).size(), 1u);
    EXPECT_EQ(platform::shownBoxes(*gui)[0].title, "Error exist Shelfdex.dat");
    EXPECT_EQ(platform::shownBoxes(*gui)[0].text,
              "Could you move Shelfdex.dat and Backup folder to another folder now?");
    EXPECT_EQ(platform::shownBoxes(*gui)[0].kind, platform::kBoxStopOk);
    // Nothing was written, nothing moved.
    EXPECT_EQ(testing_support::snapshot(base), stageBefore);
    EXPECT_EQ(data(), dataBefore);
  } else {
    EXPECT_TRUE(ran);
    EXPECT_TRUE(platform::shownBoxes(*gui).empty());
    EXPECT_EQ(readFile(staged(1)), "one");
    EXPECT_FALSE(tree.exists("data/a/one"));
    EXPECT_EQ(tree.list("stage/Backup001"), std::vector<std::string>{"F0000001.dat"});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Areas, ExistingStagingArea,
    ::testing::Values(
        ExistingArea{"Nothing", [](TempTree&) {}, false},
        ExistingArea{"EmptyDatabase", [](TempTree& t) { t.write("stage/Shelfdex.dat", ""); }, false},
        // A staging folder "GO" did not make itself may be another user's to read or empty.
        ExistingArea{"EmptyBackup001", [](TempTree& t) { t.makeFolder("stage/Backup001"); }, true},
        ExistingArea{"Backup001HoldsOnlyAStoppedCopysTemporary",
                     [](TempTree& t) { t.write("stage/Backup001/.burnshelf-q1W2e3", "half"); }, true},
        ExistingArea{"OccupiedBackup002NotUsed",
                     [](TempTree& t) { t.write("stage/Backup002/F0000600.dat", "old"); }, false},
        ExistingArea{"Database", [](TempTree& t) { t.write("stage/Shelfdex.dat", "x"); }, true},
        ExistingArea{"OccupiedBackup001WithoutDatabase",
                     [](TempTree& t) { t.write("stage/Backup001/F0000000.dat", "only copy"); }, true},
        ExistingArea{"Backup001HoldsAFolder",
                     [](TempTree& t) { t.makeFolder("stage/Backup001/kept"); }, true},
        ExistingArea{"Backup001IsAFile", [](TempTree& t) { t.write("stage/Backup001", "x"); }, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MoveOut, DatabaseThatCannotBeWrittenStopsBeforeAnythingIsCopied) {
  struct Case {
    const char* name;
    std::function<void()> breakIt;
  };
  const std::vector<Case> cases{
      {"WritesFail", [] {
         injectWriteFaults([](const std::string& path, int64_t, size_t) {
           return path.ends_with("/Shelfdex.dat") ? Fault::kFail : Fault::kPass;
         });
       }},
      {"BaseCannotBeCreatedIn", [this] { state.drives[0].root = tree.path("stage/missing/deeper"); }},
  };
  listFile("one", "one");
  const testing_support::Snapshot before = data();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.breakIt();
    EXPECT_FALSE(clickGo());
    ASSERT_FALSE(platform::shownBoxes(*gui).empty());
    EXPECT_EQ(platform::shownBoxes(*gui).back().title, "Error");
    EXPECT_EQ(platform::shownBoxes(*gui).back().text, "Drive error, stop.");
    EXPECT_EQ(platform::shownBoxes(*gui).back().kind, platform::kBoxStopOk);
    EXPECT_TRUE(tree.list("stage").empty());  // no half-written database left to block a retry
    EXPECT_EQ(data(), before);
    testing_support::restoreSyscalls();
    state.drives[0].root = base;
  }
}

// A copy that breaks half-way with the check box ticked: the one retry, and its ends.
struct BrokenCopy {
  const char* name;
  friend void PrintTo(const BrokenCopy& row, std::ostream* out) { *out << row.name; }
  Fault fault;
  int faultyCopies;             // how many copies of big.bin break
  std::vector<int> answers;
  std::vector<std::string> boxes;
  bool ends;
};

class BrokenCopyChecked : public MoveOut, public ::testing::WithParamInterface<BrokenCopy> {};

TEST_P(BrokenCopyChecked, OffersOneRetryAndNeverLosesASource) {
  const BrokenCopy& broken = GetParam();
  setCheck(true);
  listSmallTree();
  const testing_support::Snapshot before = data();
  auto left = std::make_shared<int>(broken.faultyCopies);
  injectWriteFaults([left, fault = broken.fault](const std::string& path, int64_t offset, size_t) {
    if (path.find("/Backup001/") == std::string::npos || *left == 0) return Fault::kPass;
    if (offset != static_cast<int64_t>(kMiB)) return Fault::kPass;  // the second block breaks
    --*left;
    return fault;
  });
  platform::scriptAnswers(*gui, broken.answers);

  EXPECT_EQ(clickGo(), !broken.ends);
  EXPECT_EQ(boxTitles(), broken.boxes);
  // The Retry box says which copy failed, and why.
  const std::string detail = platform::shownBoxes(*gui).at(0).detail;
  EXPECT_TRUE(contains(detail, staged(1))) << detail;
  EXPECT_TRUE(contains(detail, broken.fault == Fault::kFail ? "No space left on device" : "does not match"))
      << detail;
  if (broken.ends) {
    EXPECT_EQ(data(), before);  // every source in place
    EXPECT_EQ(lines()[2], "FILE>big.bin");  // the status names the file in question
    EXPECT_TRUE(tree.exists("stage/Shelfdex.dat"));
    EXPECT_FALSE(tree.exists("stage/Backup001/F0000001.dat"));  // no bad copy left behind
  } else {
    EXPECT_EQ(lines().back(), "Backup complete");
    EXPECT_EQ(readFile(staged(1)), before.at("/a/big.bin").bytes);
    EXPECT_FALSE(tree.exists("data/a/big.bin"));
  }
  expectNothingLost(before);
  // No temporary file is left beside the copies.
  for (const std::string& name : tree.list("stage/Backup001")) EXPECT_EQ(name[0], 'F') << name;
  if (!broken.ends) return;
  // A later BACK finds the originals in place, the staging area nothing to hold it up.
  testing_support::restoreSyscalls();
  restartAndDrop();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Finished");
  EXPECT_EQ(data(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, BrokenCopyChecked,
    ::testing::Values(
        BrokenCopy{"FailsThenRetryGood", Fault::kFail, 1, {platform::kAnswerRetry},
                   {"Error File checked"}, false},
        BrokenCopy{"CorruptThenRetryGood", Fault::kCorrupt, 1, {platform::kAnswerRetry},
                   {"Error File checked"}, false},
        BrokenCopy{"FailsTwice", Fault::kFail, 2, {platform::kAnswerRetry, platform::kAnswerOk},
                   {"Error File checked", "Error File checked 2"}, true},
        BrokenCopy{"CorruptTwice", Fault::kCorrupt, 2, {platform::kAnswerRetry, platform::kAnswerOk},
                   {"Error File checked", "Error File checked 2"}, true},
        BrokenCopy{"Cancel", Fault::kFail, 1, {platform::kAnswerCancel}, {"Error File checked"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MoveOut, FailedCopyWithTheCheckBoxClearedKeepsItsSource) {
  setCheck(false);
  listSmallTree();
  const testing_support::Snapshot before = data();
  auto left = std::make_shared<int>(1);
  injectWriteFaults([left](const std::string& path, int64_t offset, size_t) {
    if (path.find("/Backup001/") == std::string::npos || offset < static_cast<int64_t>(kMiB) || *left == 0)
      return Fault::kPass;
    --*left;
    return Fault::kFail;
  });

  ASSERT_TRUE(clickGo());
  EXPECT_TRUE(platform::shownBoxes(*gui).empty());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Backup complete", "Files not moved: 1",
                                               tree.path("data/a/big.bin")}));
  EXPECT_EQ(readFile(tree.path("data/a/big.bin")), before.at("/a/big.bin").bytes);
  EXPECT_FALSE(tree.exists("stage/Backup001/F0000001.dat"));
  EXPECT_FALSE(tree.exists("data/a/sub ü/zwei ü.txt"));  // the others moved
  expectNothingLost(before);
}

// A log a program holds open for writing stays: what it writes after GO would otherwise go
// to a deleted file.
TEST_F(MoveOut, AFileOpenForWritingStaysInPlace) {
  const std::string log = listFile("app.log", "started\n");
  listFile("photo", "jpeg");
  const int writer = open(log.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  ASSERT_GE(writer, 0);
  ASSERT_TRUE(clickGo());
  ASSERT_EQ(write(writer, "stopped", 7), 7);
  close(writer);
  EXPECT_EQ(readFile(log), "started\nstopped");
  EXPECT_FALSE(tree.exists("data/photo"));
  EXPECT_EQ(lines()[2], "Files not moved: 1");
}

TEST_F(MoveOut, DiskThatFillsKeepsEverySourceWhoseCopyDidNotFit) {
  for (int i = 0; i < 4; ++i) listFile("f" + std::to_string(i), TempTree::patternBytes(kMiB, i + 1));
  const testing_support::Snapshot before = data();
  auto written = std::make_shared<int64_t>(0);
  auto diskFills = [written](const std::string& path, int64_t, size_t size) {
    if (path.find("/Backup001/") == std::string::npos) return Fault::kPass;
    if (*written + static_cast<int64_t>(size) > static_cast<int64_t>(2 * kMiB + kMiB / 2)) return Fault::kFail;
    *written += static_cast<int64_t>(size);
    return Fault::kPass;
  };

  {
    SCOPED_TRACE("check box cleared");
    setCheck(false);
    injectWriteFaults(diskFills);
    ASSERT_TRUE(clickGo());
    EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Backup complete", "Files not moved: 2", tree.path("data/f2")}));
    EXPECT_FALSE(tree.exists("data/f0"));
    EXPECT_FALSE(tree.exists("data/f1"));
    EXPECT_EQ(readFile(tree.path("data/f2")), before.at("/f2").bytes);
    EXPECT_EQ(readFile(tree.path("data/f3")), before.at("/f3").bytes);
    EXPECT_EQ(tree.list("stage/Backup001"), (std::vector<std::string>{"F0000000.dat", "F0000001.dat"}));
    expectNothingLost(before);
  }
  {
    SCOPED_TRACE("check box ticked");
    ASSERT_TRUE(clickBack());
    EXPECT_EQ(data(), before);
    // The files back in place are new files: a new scan lists them again.
    state.clearFiles();
    for (int i = 0; i < 4; ++i) listExisting(tree.path("data/f" + std::to_string(i)));
    *written = 0;
    setCheck(true);
    platform::scriptAnswers(*gui, {platform::kAnswerRetry, platform::kAnswerOk});
    EXPECT_FALSE(clickGo());
    EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Error File checked", "Error File checked 2"}));
    EXPECT_EQ(data(), before);
  }
}

// A staging disk pulled out during the copy pass: every source stays, and a message ends GO
// instead of "Backup complete".
TEST_F(MoveOut, StagingVolumeThatGoesAwayKeepsEverySourceAndStops) {
  for (int i = 0; i < 4; ++i) listFile("f" + std::to_string(i), TempTree::patternBytes(kMiB, i + 1));
  const testing_support::Snapshot before = data();
  setCheck(false);
  injectWriteFaults([this](const std::string&, int64_t, size_t) {
    if (tree.exists("stage/Backup001/F0000001.dat")) platform::deleteFolder(base);  // at the third copy
    return Fault::kPass;
  });
  EXPECT_FALSE(clickGo());
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error"});
  EXPECT_TRUE(testing_support::contains(status(), "Files not moved: 4")) << status();
  EXPECT_EQ(data(), before);
}

TEST_F(MoveOut, SourceChangedSinceTheScanOrDuringGoStaysWithoutAStagedCopy) {
  setCheck(true);
  listFile("changed-before", "recorded size");
  listFile("changed-during", "same size!");
  listFile("steady", "steady");
  tree.write("data/changed-before", "a different size now");
  // While "steady" is being copied, the already copied file gets new bytes of equal size.
  injectWriteFaults([this, copies = std::make_shared<int>(0)](const std::string& path, int64_t offset, size_t) {
    if (path.find("/Backup001/") == std::string::npos || offset != 0) return Fault::kPass;
    if (++*copies == 2) {
      tree.write("data/changed-during", "SAME SIZE!");
      setModifiedNs(tree.path("data/changed-during"), 1700000000, 5);
    }
    return Fault::kPass;
  });

  ASSERT_TRUE(clickGo());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Backup complete", "Files not moved: 2", tree.path("data/changed-before")}));
  EXPECT_EQ(readFile(tree.path("data/changed-before")), "a different size now");
  EXPECT_EQ(readFile(tree.path("data/changed-during")), "SAME SIZE!");
  EXPECT_FALSE(tree.exists("data/steady"));
  // Only the moved file has a copy: "BACK" can never put an older copy over a kept file.
  EXPECT_EQ(tree.list("stage/Backup001"), (std::vector<std::string>{"F0000002.dat"}));
}

TEST_F(MoveOut, WindowIsServedDuringALongFile) {
  setCheck(true);
  listFile("long.bin", TempTree::patternBytes(8 * kMiB, 9));
  auto lastWrite = std::make_shared<std::chrono::steady_clock::time_point>();
  injectWriteFaults([lastWrite](const std::string& path, int64_t, size_t) {
    if (path.find("/Backup001/") != std::string::npos) {
      platform::pause(60);  // a slow disk: the copy takes about half a second
      *lastWrite = std::chrono::steady_clock::now();
    }
    return Fault::kPass;
  });
  std::chrono::steady_clock::time_point served{};
  QTimer::singleShot(200, [&] { served = std::chrono::steady_clock::now(); });

  ASSERT_TRUE(clickGo());
  ASSERT_NE(served, std::chrono::steady_clock::time_point{});
  EXPECT_LT(served, *lastWrite);  // events were handled while the file was still being written
}

}  // namespace

namespace {

// Small files share one sync and are proven together; a copy found bad in such a batch
// still shows its own name when the retry question comes, and nothing is deleted.
TEST_F(MoveOut, ABadCopyInABatchOfSmallFilesIsNamedWhenTheQuestionComes) {
  setCheck(true);
  for (int i = 0; i < 6; ++i) listFile("f" + std::to_string(i), std::string(100 + i, 'a' + i));
  const testing_support::Snapshot before = data();
  injectWriteFaults([](const std::string&, int64_t offset, size_t size) {
    return offset == 0 && size == 103 ? Fault::kCorrupt : Fault::kPass;  // f3 only
  });
  platform::scriptAnswers(*gui, {platform::kAnswerCancel});

  EXPECT_FALSE(clickGo());
  EXPECT_EQ(boxTitles(), (std::vector<std::string>{"Error File checked"}));
  EXPECT_EQ(lines().at(2), "FILE>f3");
  EXPECT_EQ(data(), before);
}

}  // namespace

namespace {

// Edits that keep a file's size, and even put its last-write time back, made while GO runs:
// each keeps its source, loses its staged copy, and is named as kept; BACK then passes over
// it, also after the user deleted it.
TEST_F(MoveOut, AnEditThatPutsTheTimeBackKeepsItsSourceAndBackPassesOverIt) {
  setCheck(false);
  const std::string rewritten = listFile("rewritten", "old bytes");
  const std::string replaced = listFile("replaced", "old bytes");
  listFile("steady", "steady");
  const timespec recorded = platform::exactTime(rewritten, platform::kModified);
  // While "steady" is copied, "rewritten" is written in place and its time put back (cp -p,
  // rsync -t, touch -r), and another file of the same size is renamed over "replaced".
  injectWriteFaults([&, copies = std::make_shared<int>(0)](const std::string& path, int64_t offset, size_t) {
    if (path.find("/Backup001/") == std::string::npos || offset != 0 || ++*copies != 3) return Fault::kPass;
    tree.write("data/rewritten", "new bytes");
    platform::setExactTimes(rewritten, recorded, recorded);
    const std::string other = tree.write("data/other", "new bytes");
    platform::setExactTimes(other, recorded, recorded);
    std::rename(other.c_str(), replaced.c_str());
    return Fault::kPass;
  });

  ASSERT_TRUE(clickGo());
  EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Backup complete", "Files not moved: 2", rewritten}));
  EXPECT_EQ(readFile(rewritten), "new bytes");
  EXPECT_EQ(readFile(replaced), "new bytes");
  EXPECT_EQ(tree.list("stage/Backup001"), std::vector<std::string>{"F0000002.dat"});
  EXPECT_EQ(tree.read("stage/Shelfdex-kept.txt"), rewritten + "\n" + replaced + "\n");
  EXPECT_TRUE(platform::shownWhole(*gui, ui::kStatusText)) << status();

  testing_support::restoreSyscalls();
  platform::deleteFile(rewritten);  // the user no longer wants it
  restartAndDrop();
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Finished");
  EXPECT_EQ(tree.list("data"), (std::vector<std::string>{"replaced", "steady"}));
  EXPECT_TRUE(tree.list("stage").empty());
}

// Another program at work on the staging base turns GO and BACK away before they write.
TEST_F(MoveOut, ASecondProgramOnTheSameStagingBaseIsTurnedAway) {
  listFile("one", "1");
  const int other = platform::lockFolder(base, staging::kLockName);
  ASSERT_GE(other, 0);
  EXPECT_FALSE(clickGo());
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error exist Shelfdex.dat"});
  EXPECT_EQ(tree.list("stage"), std::vector<std::string>{"Shelfdex.lock"});  // the other's
  platform::unlockFolder(other, base, staging::kLockName);

  ASSERT_TRUE(clickGo());
  const int again = platform::lockFolder(base, staging::kLockName);
  EXPECT_FALSE(clickBack());
  EXPECT_EQ(boxTitles().back(), "Error exist Shelfdex.dat");
  EXPECT_FALSE(tree.exists("data/one"));
  platform::unlockFolder(again, base, staging::kLockName);
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(tree.read("data/one"), "1");
  EXPECT_TRUE(tree.list("stage").empty());  // the lock file goes with the lock
}

// A FIFO put where a listed file was never hangs GO and is not moved; the others are.
TEST_F(MoveOut, AFifoWhereAListedFileWasIsNotMovedAndBlocksNothing) {
  for (bool ticked : {false, true}) {
    SCOPED_TRACE(ticked ? "ticked" : "cleared");
    setCheck(ticked);
    state.clearFiles();
    tree.write("data/pipe", "a file at scan time");
    const std::string pipe = tree.path("data/pipe");
    listExisting(pipe);
    listFile("after", "moves");
    platform::deleteFile(pipe);
    tree.fifo("data/pipe");

    ASSERT_TRUE(clickGo());
    EXPECT_EQ(lines(), (std::vector<std::string>{state.sizeLine, "Backup complete", "Files not moved: 1", pipe}));
    EXPECT_FALSE(tree.exists("data/after"));
    ASSERT_TRUE(clickBack());
    EXPECT_EQ(tree.read("data/after"), "moves");
    platform::deleteFile(pipe);
  }
}

// A file whose path is a few bytes short of the system's limit moves out and comes back.
TEST_F(MoveOut, AFileWhosePathAlmostReachesTheLimitGoesAndComesBack) {
  std::string relative;
  const size_t room = PATH_MAX - 1 - tree.path("data/").size() - 2;  // "/f" at the end
  while (relative.size() + 201 <= room) relative += std::string(200, 'd') + "/";
  relative += std::string(room - relative.size(), 'e');
  for (bool ticked : {false, true}) {
    SCOPED_TRACE(ticked ? "ticked" : "cleared");
    setCheck(ticked);
    state.clearFiles();
    const std::string path = listFile(relative + "/f", "far down");
    ASSERT_EQ(path.size(), static_cast<size_t>(PATH_MAX - 1));
    ASSERT_TRUE(clickGo());
    EXPECT_EQ(lines().back(), "Backup complete");
    EXPECT_FALSE(tree.exists("data/" + relative + "/f"));
    ASSERT_TRUE(clickBack());
    EXPECT_EQ(lines().back(), "Finished");
    EXPECT_EQ(tree.read("data/" + relative + "/f"), "far down");
  }
}

}  // namespace
