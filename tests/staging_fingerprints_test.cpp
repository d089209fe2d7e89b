// The fingerprints "GO" records beside Shelfdex.dat: "BACK" restores no staged copy that has
// changed since it left, a drop refuses a database changed since it was written, the plain
// lists pass sha1sum and md5sum, and a database without them is restored as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "support/staging_fixture.h"

namespace {

using testing_support::contains;
using testing_support::readFile;
using testing_support::Snapshot;
using testing_support::StagingFixture;

// Rewrites the file with the byte at offset changed by mask.
void flip(const std::string& path, size_t offset, char mask) {
  std::string bytes = readFile(path);
  ASSERT_LT(offset, bytes.size()) << path;
  bytes[offset] = static_cast<char>(bytes[offset] ^ mask);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

class Fingerprints : public StagingFixture {
 protected:
  // Positions: 0 a/, 1 one, 2 two (2 MiB and a little, so more than one read block), 3 three.
  void listTreeAndGo() {
    setCheck(true);
    listFolder("a");
    listFile("a/one", "one");
    listFile("a/two", TempTree::patternBytes((2 << 20) + 3, 5));
    listFile("a/three", "three");
    before = data();
    ASSERT_TRUE(clickGo());
  }

  Snapshot before;
};

// One flipped bit in the middle of a staged copy, found by the read "BACK" makes anyway;
// in the same run and in a later one that drops the database.
class RottenCopy : public Fingerprints, public ::testing::WithParamInterface<bool> {};

TEST_P(RottenCopy, StaysStagedAndEveryOtherFileComesBack) {
  listTreeAndGo();
  flip(staged(2), 1 << 20, 0x10);
  const Snapshot stagingBefore = testing_support::snapshot(base);
  if (GetParam()) restartAndDrop();

  EXPECT_FALSE(clickBack());

  Snapshot expected = before;
  expected.erase("/a/two");
  EXPECT_EQ(data(), expected);
  EXPECT_EQ(testing_support::snapshot(base), stagingBefore);  // the rotten copy and all else stay
  EXPECT_EQ(lines(), (std::vector<std::string>{"Restore Size 0.00 GB", "Files not restored: 1",
                                               tree.path("data/a/two")}));
  EXPECT_EQ(boxTitles(), std::vector<std::string>{"Error"});  // no retry question
}

INSTANTIATE_TEST_SUITE_P(Runs, RottenCopy, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "LaterRun" : "SameRun"; });

// What a drop does with the database and its facts as a later run finds them.
struct Found {
  const char* name;
  friend void PrintTo(const Found& row, std::ostream* out) { *out << row.name; }
  std::function<void(const std::string& base)> change;
  bool refused;
};

class DroppedDatabase : public Fingerprints, public ::testing::WithParamInterface<Found> {};

TEST_P(DroppedDatabase, IsRefusedOnlyWhenItDiffersFromWhatWasRecorded) {
  listTreeAndGo();
  GetParam().change(base);

  restartAndDrop();

  if (GetParam().refused) {
    EXPECT_EQ(status(), "Shelfdex.dat is damaged.");
    EXPECT_TRUE(state.files.empty());
    EXPECT_FALSE(enabled(ui::kBackButton));
    return;
  }
  // Facts that are not this user's own (no seal, or one that no longer checks) are asked about.
  if (!state.facts.own) platform::scriptAnswers(*gui, {platform::kAnswerYes, platform::kAnswerOk, platform::kAnswerOk});
  ASSERT_TRUE(clickBack());
  if (state.facts.present) {
    EXPECT_EQ(data(), before);
  } else {  // no modes recorded: the staged copies' own, the user's alone
    for (auto& [path, facts] : before) facts.mode = facts.folder ? 0 : 0600;
    EXPECT_EQ(data(), before);
  }
  EXPECT_TRUE(tree.list("stage").empty());  // the lists go with Shelfdex.dat
  EXPECT_EQ(lines().back(), "Finished");
}

// Keeps the lines of Shelfdex.facts that are of none of the kinds.
void dropFactLines(const std::string& base, std::initializer_list<std::string> kinds) {
  const std::string path = base + "/" + staging::kFactsName;
  std::istringstream in(readFile(path));
  std::string kept, line;
  while (std::getline(in, line))
    if (std::none_of(kinds.begin(), kinds.end(), [&](const std::string& kind) { return line.rfind(kind + "\t", 0) == 0; }))
      kept += line + "\n";
  std::ofstream(path, std::ios::trunc) << kept;
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DroppedDatabase,
    ::testing::Values(
        // "/one" becomes "/ooe": a database that still parses, naming another file.
        Found{"FlippedByteInAPath",
              [](const std::string& base) {
                const std::string database = base + "/" + staging::kDatabaseName;
                const size_t at = readFile(database).find("/one");
                ASSERT_NE(at, std::string::npos);
                flip(database, at + 2, 'n' ^ 'o');
              },
              true},
        Found{"WithoutFactsAsOlderVersionsLeftIt",
              [](const std::string& base) { std::filesystem::remove(base + "/" + staging::kFactsName); },
              false},
        Found{"FactsWithoutFingerprints",
              [](const std::string& base) { dropFactLines(base, {"sum", "database"}); }, false}),
    [](const auto& info) { return std::string(info.param.name); });

// The guide's recipe for someone with only a shell: every file comes back whole from the
// contents list, checked by the sha1sum list first.
TEST_F(Fingerprints, TheGuidesShellRecipeBringsEveryFileBack) {
  listTreeAndGo();
  const std::string recipe = tree.write("recipe.sh", R"sh(
sha1sum --quiet -c Shelfdex.sha1 || exit 1
while IFS=$'\t' read -r staged original; do
  original=$(printf '%b' "$original")
  mkdir -p "$(dirname "$original")"
  [ -e "$original" ] || cp -p "$staged" "$original"
done < Shelfdex-contents.txt
)sh");
  ASSERT_EQ(std::system(("cd '" + base + "' && bash '" + recipe + "'").c_str()), 0);
  for (const auto& [path, facts] : before)
    if (!facts.folder) EXPECT_EQ(readFile(tree.path("data") + path), facts.bytes) << path;
}

// The plain lists check the staging area with the standard tools, as a user would by hand.
TEST_F(Fingerprints, PlainListsPassSha1sumAndMd5sumInTheStagingArea) {
  listTreeAndGo();
  for (const std::string& name : {staging::kSha1ListName, staging::kMd5ListName}) {
    const std::string tool = name == staging::kSha1ListName ? "sha1sum" : "md5sum";
    EXPECT_TRUE(contains(readFile(base + "/" + name), "  Backup001/F0000002.dat\n")) << name;
    EXPECT_EQ(std::system(("cd '" + base + "' && " + tool + " --quiet -c " + name).c_str()), 0) << tool;
    flip(staged(3), 0, 1);
    EXPECT_NE(std::system(("cd '" + base + "' && " + tool + " --status -c " + name).c_str()), 0) << tool;
    flip(staged(3), 0, 1);
  }
}

}  // namespace
