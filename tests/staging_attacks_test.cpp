// "GO" and "BACK" against a person: the owner of a chosen folder swapping folders and files
// for links while the program works (driven at exact moments through the syscall table), and
// a staging area written to mislead. Whatever happens, a folder outside the chosen ones (the
// victim, standing in for /etc or another user's home) keeps every byte, owner and mode.
#include <gtest/gtest.h>
#include <sys/file.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "support/staging_fixture.h"

namespace {

using testing_support::contains;
using testing_support::Snapshot;
using testing_support::snapshot;

class Attacks : public testing_support::StagingFixture {
 public:  // the attacks of the tables below play the other user through these
  using StagingFixture::staged;
  using StagingFixture::tree;
  // Positions: 0 a/, 1 one, 2 a/sub/, 3 two, 4 three. The victim holds files of the same
  // names and sizes, so only a followed link could reach them.
  void SetUp() override {
    StagingFixture::SetUp();
    listFolder("a");
    listFile("a/one", "1");
    listFolder("a/sub");
    listFile("a/sub/two", "22");
    listFile("a/sub/three", "333");
    for (const auto& [name, bytes] : {std::pair{"one", "V"}, {"two", "VV"}, {"three", "VVV"},
                                      {"F0000001.dat", "V"}, {"F0000003.dat", "VV"}})
      tree.write(std::string("victim/") + name, bytes);
    tree.setMode("victim/two", 0640);
    victimBefore = snapshot(tree.path("victim"));
  }

  // Swaps the folder or file at data/relative for a link to the victim's one, keeping the
  // real one beside it.
  void swapForLink(const std::string& relative, const std::string& victim) {
    ASSERT_EQ(std::rename(tree.path("data/" + relative).c_str(), tree.path("data/" + relative + ".real").c_str()), 0);
    tree.symlink("data/" + relative, tree.path("victim" + (victim.empty() ? "" : "/" + victim)));
  }

  void expectVictimUntouched() { EXPECT_EQ(snapshot(tree.path("victim")), victimBefore); }

  // GO stops at the occupied-area box with line as the status, having written nothing.
  void expectGoRefused(const std::string& line) {
    EXPECT_FALSE(clickGo());
    EXPECT_EQ(lines(), std::vector<std::string>{line});
    EXPECT_EQ(boxTitles().back(), "Error exist Shelfdex.dat");
    EXPECT_FALSE(tree.exists("stage/Shelfdex.dat"));
    expectVictimUntouched();
  }

  // Runs rule once, the first time the table's openat2 or openat is asked for name.
  void onOpening(const std::string& name, std::function<void()> rule) {
    auto fired = std::make_shared<bool>(false);
    auto once = [name, rule, fired](const char* path) {
      if (!*fired && path && name == path) {
        *fired = true;
        rule();
      }
    };
    testing_support::syscallRules().openat2 = [once](int d, const char* p, int f, mode_t m, uint64_t r) {
      once(p);
      return platform::realSyscalls().openat2(d, p, f, m, r);
    };
    testing_support::syscallRules().openat = [once](int d, const char* p, int f, mode_t m) {
      once(p);
      return ::openat(d, p, f, m);
    };
    testing_support::applySyscallRules();
  }

  Snapshot victimBefore;
};

struct Race {
  const char* name;
  std::function<void(Attacks&)> attack;  // armed before the click
  int notMoved;                          // files "GO" must keep in place
};
void PrintTo(const Race& race, std::ostream* out) { *out << race.name; }

class GoRaces : public Attacks, public ::testing::WithParamInterface<Race> {};

// Every source that is not the file the scan listed, where it was listed, stays in place.
TEST_P(GoRaces, MoveOnlyTheListedFiles) {
  GetParam().attack(*this);
  ASSERT_TRUE(clickGo());
  testing_support::restoreSyscalls();
  expectVictimUntouched();
  for (const auto& [name, facts] : snapshot(base))
    if (!facts.folder && name.find("/Backup") == 0) EXPECT_EQ(facts.bytes.find('V'), std::string::npos) << name << " holds the victim's bytes";
  if (GetParam().notMoved > 0)
    EXPECT_EQ(lines()[2], "Files not moved: " + std::to_string(GetParam().notMoved));
  else
    EXPECT_EQ(lines().back(), "Backup complete");
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, GoRaces,
    ::testing::Values(
        Race{"SubfolderIsALinkBeforeGo", [](Attacks& t) { t.swapForLink("a/sub", ""); }, 2},
        Race{"SubfolderBecomesALinkWhileGoCopies",
             [](Attacks& t) { t.onOpening("one", [&t] { t.swapForLink("a/sub", ""); }); }, 2},
        Race{"FileBecomesALinkAsItIsOpened",
             [](Attacks& t) { t.onOpening("two", [&t] { t.swapForLink("a/sub/two", "two"); }); }, 1},
        Race{"FileIsAnotherFileOfTheSameSize",
             [](Attacks& t) {
               std::rename(t.tree.path("data/a/one").c_str(), t.tree.path("data/a/one.real").c_str());
               t.tree.write("data/a/one", "1");
             },
             1},
        Race{"StagedCopyChangedAfterItsProof",
             [](Attacks& t) {
               testing_support::syscallRules().syncfs = [&t](int fd) {
                 if (t.tree.exists("stage/Backup001/F0000001.dat")) t.tree.write("stage/Backup001/F0000001.dat", "0");
                 return ::syncfs(fd);
               };
               testing_support::applySyscallRules();
             },
             1},
        Race{"FileIsReplacedBetweenItsCopyAndItsDelete",
             [](Attacks& t) {
               testing_support::syscallRules().syncfs = [&t](int fd) {
                 std::rename(t.tree.path("data/a/one").c_str(), t.tree.path("data/a/one.real").c_str());
                 t.tree.write("data/a/one", "1");
                 return ::syncfs(fd);
               };
               testing_support::applySyscallRules();
             },
             1}),
    [](const auto& info) { return std::string(info.param.name); });

class BackAttacks : public Attacks, public ::testing::WithParamInterface<Race> {};

// Whatever stands in the way after "GO", "BACK" writes nothing outside the chosen folders,
// changes nothing it did not write, and names every file it could not put back.
TEST_P(BackAttacks, WriteOnlyBeneathTheChosenFolders) {
  ASSERT_TRUE(clickGo());
  GetParam().attack(*this);
  const bool finished = clickBack();
  testing_support::restoreSyscalls();
  expectVictimUntouched();
  if (GetParam().notMoved > 0) {
    EXPECT_FALSE(finished);
    EXPECT_EQ(lines()[1], "Files not restored: " + std::to_string(GetParam().notMoved));
  } else {
    EXPECT_EQ(lines().back(), "Finished");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, BackAttacks,
    ::testing::Values(
        Race{"EmptiedFolderIsALink", [](Attacks& t) { t.swapForLink("a/sub", ""); }, 2},
        Race{"ChosenFolderIsALink", [](Attacks& t) { t.swapForLink("a", ""); }, 3},
        Race{"FileBecomesALinkRightAfterItTakesItsName",
             [](Attacks& t) {
               testing_support::syscallRules().linkat = [&t](int a, const char* b, int c, const char* d, int f) {
                 const int result = platform::realSyscalls().linkat(a, b, c, d, f);
                 if (std::string(d) == "two") t.swapForLink("a/sub/two", "two");
                 return result;
               };
               testing_support::applySyscallRules();
             },
             0},
        Race{"StagedCopyIsALinkToAnotherFile",
             [](Attacks& t) {
               std::remove(t.staged(1).c_str());
               t.tree.symlink("stage/Backup001/F0000001.dat", t.tree.path("victim/one"));
             },
             1},
        Race{"StagedCopyIsAHardLinkOfAnotherFile",
             [](Attacks& t) {
               std::remove(t.staged(1).c_str());
               ASSERT_EQ(link(t.tree.path("victim/one").c_str(), t.staged(1).c_str()), 0);
               t.victimBefore = snapshot(t.tree.path("victim"));
             },
             1},
        Race{"StagingFolderIsALinkToAnotherFolder",
             [](Attacks& t) {
               std::rename(t.tree.path("stage/Backup001").c_str(), t.tree.path("stage/real").c_str());
               t.tree.symlink("stage/Backup001", t.tree.path("victim"));
             },
             3}),
    [](const auto& info) { return std::string(info.param.name); });

// A file already at its place with the staged copy's bytes is left exactly as it stands:
// its owner and mode are not the staging area's to give.
TEST_F(Attacks, BackLeavesAFileWithTheSameBytesAsItStands) {
  ASSERT_TRUE(clickGo());
  tree.write("data/a/one", "1");
  tree.setMode("data/a/one", 0666);
  const bool root = geteuid() == 0;
  if (root) ASSERT_EQ(chown(tree.path("data/a/one").c_str(), 4242, 4242), 0);
  ASSERT_TRUE(clickBack());
  const platform::Ownership after = platform::ownershipOf(tree.path("data/a/one"));
  EXPECT_EQ(after.mode, 0666);
  if (root) EXPECT_EQ(after.owner, 4242u);
  EXPECT_EQ(lines().back(), "Finished");
}

// Without Shelfdex.facts nothing vouches for an owner or a set-id bit: a staged set-uid
// copy comes back as the running user's plain file.
TEST_F(Attacks, BackTakesNoSetIdBitFromTheStagingArea) {
  ASSERT_TRUE(clickGo());
  std::remove((base + "/" + staging::kFactsName).c_str());
  tree.setMode("stage/Backup001/F0000001.dat", 04755);
  restartAndDrop();
  platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  const platform::Ownership after = platform::ownershipOf(tree.path("data/a/one"));
  EXPECT_EQ(after.mode, 0755);
  EXPECT_EQ(after.owner, geteuid());
}

// Facts anyone could have written (here a kept line added, so nothing would come back) make
// the area foreign: BACK asks first, naming where it would write, and then believes no kept
// line whose file is not in place.
TEST_F(Attacks, AForeignAreaIsAskedAboutAndItsKeptLinesAreNotBelieved) {
  ASSERT_TRUE(clickGo());
  {
    std::ofstream facts(base + "/" + staging::kFactsName, std::ios::app);
    facts << "kept\t1\nkept\t3\n";
  }
  restartAndDrop();
  platform::scriptAnswers(*gui, {platform::kAnswerNo});
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Nothing restored.");
  EXPECT_TRUE(tree.exists("stage/Backup001/F0000001.dat"));
  const platform::MessageRecord asked = platform::shownBoxes(*gui).back();
  EXPECT_EQ(asked.title, "Not your staging area");
  EXPECT_TRUE(contains(asked.detail, tree.path("data/a/"))) << asked.detail;

  platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Finished");
  EXPECT_EQ(tree.read("data/a/one"), "1");
  EXPECT_EQ(tree.read("data/a/sub/two"), "22");
  EXPECT_TRUE(tree.list("stage").empty());
}

// The key is the user's alone, never on the staging volume; without it an area is foreign,
// and still every file comes back.
TEST_F(Attacks, AnAreaWhoseKeyIsLostStillComesBackWhole) {
  ASSERT_TRUE(clickGo());
  const std::string key = userData.path("burnshelf/key");
  EXPECT_EQ(userData.mode("burnshelf/key"), 0600u);
  const std::string secret = testing_support::readFile(key);
  ASSERT_EQ(secret.size(), 32u);
  for (const auto& [name, facts] : snapshot(base)) {
    EXPECT_EQ(facts.bytes.find(secret), std::string::npos) << name;
    EXPECT_EQ(facts.folder ? 0 : facts.mode, facts.folder ? 0 : 0600u) << name;
  }
  std::remove(key.c_str());
  restartAndDrop();
  platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  EXPECT_EQ(lines().back(), "Finished");
  EXPECT_EQ(tree.read("data/a/sub/three"), "333");
}

// Root moves other users' files: never onto a drive others may write (or read, where the
// file system keeps no modes).
TEST_F(Attacks, RootStagesNothingWhereOthersCanWrite) {
  if (geteuid() != 0) GTEST_SKIP() << "only root's GO refuses such a drive";
  tree.setMode("stage", 01777);
  const Snapshot before = data();
  EXPECT_TRUE(clickGo());
  EXPECT_EQ(lines(), (std::vector<std::string>{"Other users can read this drive.",
                                               "As root, GO stages only where no one else can."}));
  EXPECT_TRUE(tree.list("stage").empty());
  EXPECT_EQ(data(), before);
}

// A lock file that cannot be taken means the area is not free, never "run without a lock".
TEST_F(Attacks, ALockFileThatIsALinkRefusesGo) {
  tree.symlink("stage/Shelfdex.lock", tree.path("victim/one"));
  expectGoRefused("Shelfdex.lock is not a lock file");
}

TEST_F(Attacks, ALockFileThatIsAFolderRefusesGo) {
  tree.makeFolder("stage/Shelfdex.lock");
  expectGoRefused("Shelfdex.lock is not a lock file");
}

// Another user's program holding the lock is named as such.
TEST_F(Attacks, ALockHeldByAnotherUserIsSaid) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the lock file another owner";
  const std::string lock = tree.write("stage/Shelfdex.lock", "");
  ASSERT_EQ(chown(lock.c_str(), 4242, 4242), 0);
  const int held = open(lock.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  expectGoRefused("Shelfdex.lock is held by another user");
  close(held);
}

}  // namespace
