// "GO" and "BACK" give back what left as it was: holes stay holes, files keep owner and
// group (where the process may set them), and folders "BACK" must make again get the mode
// and owner "GO" recorded in Shelfdex.facts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/beneath.h"
#include "staging/facts.h"
#include "support/staging_fixture.h"

namespace {

using platform::Ownership;
using testing_support::StagingFixture;

constexpr int64_t kSparseBytes = 16 << 20;
constexpr uint32_t kNobody = 65534;

class Ownerships : public StagingFixture {
 protected:
  // A private folder with a sparse file and, as root, another user's 0600 file and set-uid
  // program inside: positions 0 Private/, 1 disk.img, 2 notes, 3 program.
  void listPrivateTree() {
    const bool root = geteuid() == 0;
    owner = root ? kNobody : geteuid();
    const std::string folder = listFolder("Private");
    listExisting(tree.sparse("data/Private/disk.img", kSparseBytes, {{1 << 20, "boot"}}));
    listFile("Private/notes", "private notes");
    listFile("Private/program", "#!/bin/sh\n");
    tree.setMode("data/Private/notes", 0600);
    tree.setMode("data/Private/program", root ? 06755 : 0755);
    for (const char* path : {"Private/notes", "Private/program", "Private"})
      ASSERT_EQ(chown(tree.path(std::string("data/") + path).c_str(), owner, owner), 0);
    tree.setMode("data/Private", 0710);
  }
  Ownership of(const std::string& relative) const { return platform::ownershipOf(tree.path("data/" + relative)); }

  // GO, then the user removes the emptied folder, as many do.
  void goAndRemoveFolder() {
    ASSERT_TRUE(clickGo());
    ASSERT_EQ(rmdir(tree.path("data/Private").c_str()), 0);
  }

  uint32_t owner = 0;
};

TEST_F(Ownerships, HolesOwnersAndFolderModesComeBack) {
  for (bool check : {false, true}) {
    SCOPED_TRACE(check ? "with the check" : "without the check");
    state.clearFiles();
    state.stockSize = 0;
    listPrivateTree();
    const testing_support::Snapshot before = data();
    const Ownership notes = of("Private/notes"), program = of("Private/program");
    setCheck(check);
    goAndRemoveFolder();
    EXPECT_LE(TempTree::allocated(staged(1)), 256 << 10) << "the staged copy filled its holes";
    ASSERT_TRUE(clickBack());
    ASSERT_EQ(lines().back(), "Finished");
    EXPECT_EQ(data(), before);
    EXPECT_LE(TempTree::allocated(tree.path("data/Private/disk.img")), 256 << 10);
    EXPECT_EQ(of("Private"), (Ownership{0710, owner, owner}));
    EXPECT_EQ(of("Private/notes"), notes);
    EXPECT_EQ(of("Private/program"), program);
    std::filesystem::remove_all(tree.path("data/Private"));
  }
}

// A database without Shelfdex.facts knows no modes: the folder comes back as today.
TEST_F(Ownerships, WithoutFactsAFolderComesBackWithTheDefaultMode) {
  listPrivateTree();
  goAndRemoveFolder();
  ASSERT_EQ(unlink((base + "/" + staging::kFactsName).c_str()), 0);
  restartAndDrop();
  platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(of("Private").mode, 0777 & ~mask);
  EXPECT_EQ(tree.read("data/Private/notes"), "private notes");
}

// The mode, times, attribute and data lines of Shelfdex.facts as written and read back; a
// broken one marks the file damaged, while an unknown kind of a later version, or an
// attribute this version does not carry, is passed over.
TEST_F(Ownerships, FactsCarryModesTimesAttributesAndHoles) {
  staging::MoveFacts facts;
  facts.present = true;
  facts.modes = {{0, Ownership{02750, 1000, 100}}, {7, Ownership{0700, 0, 0}}};
  facts.times = {{0, {{-1, 999999999}, {4354819200, 1}}}, {7, {{0, 0}, {2208988800, 123456789}}}};
  facts.attributes[0] = platform::Attributes{{{"user.xdg.tags", std::string("a\0\xff\n", 4)},
                                              {"system.posix_acl_default", "\x02"}}, "Ad"};
  facts.data = {{7, {{0, 4096}, {1 << 20, (1 << 20) + 1}}}, {9, {}}};
  ASSERT_TRUE(staging::writeFacts(platform::holdFolder(base), facts));
  facts.own = true;  // sealed with this user's key
  bool damaged = true;
  EXPECT_EQ(staging::readFacts(platform::holdFolder(base), damaged), facts);
  EXPECT_FALSE(damaged);
  const std::string path = base + "/" + staging::kFactsName;
  const struct {
    const char* text;
    bool damaged;
  } rows[] = {{"mode\t0\t755\t1000\t100\nlater\tx\n", false},
              {"mode\t0\t755\t1000\n", true},
              {"mode\t0\t789\t1000\t100\n", true},
              {"mode\t0\t755\t1000\t4294967296\n", true},
              {"mode\t0\t755\t1000\t100\nxattr\t0\tsecurity.selinux\t00\n", false},
              {"times\t0\t1\t1000000000\t1\t0\n", true},
              {"times\t0\t--1\t0\t1\t0\n", true},
              {"xattr\t0\tuser.a\t0\n", true},
              {"flags\t0\ti\n", true},
              {"data\t0\t4096\t8192\t0\t4096\n", true},
              {"data\t0\t0\n", true}};
  for (const auto& row : rows) {
    tree.write("stage/" + staging::kFactsName, row.text);
    const auto read = staging::readFacts(platform::holdFolder(base), damaged);
    EXPECT_EQ(damaged, row.damaged) << row.text;
    if (!row.damaged) {
      EXPECT_EQ(read->modes.at(0), (Ownership{0755, 1000, 100}));
    }
  }
}

}  // namespace
