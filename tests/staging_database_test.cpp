// Shelfdex.dat byte for byte, the staging layout, and dropping the database on the window.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "ui/window.h"
#include "staging/database.h"
#include "support/app_fixture.h"
#include "support/database_bytes.h"
#include "support/temp_tree.h"

namespace fs = std::filesystem;
using staging::FileEntry;

namespace {

std::string le(int64_t value, int bytes) { return testing_support::littleEndian(value, bytes); }

std::string record(const std::string& path, const std::string& lineEnd, int8_t kind, int64_t size) {
  return testing_support::databaseRecord(path, lineEnd, kind, 1, 2, 3, size);
}

}  // namespace

TEST(Database, WritesTheDocumentedFortySevenBytes) {
  TempTree scratch;
  ASSERT_TRUE(staging::writeDatabase(platform::holdFolder(scratch.root()), 5, {FileEntry{"C:\\a.txt", 0, 100, 200, 300, 5}}));
  const std::string expected =
      std::string("\x05\0\0\0\0\0\0\0\x01\0\0\0\0\0\0\0", 16) +
      std::string("C:\\a.txt\r\n\x00\x64\0\0\0\xC8\0\0\0\x2C\x01\0\0\x05\0\0\0\0\0\0\0", 31);
  EXPECT_EQ(scratch.read("Shelfdex.dat"), expected);
}

TEST(Database, LinuxPathsRoundTripAsUtf8) {
  TempTree scratch;
  const std::vector<FileEntry> files = {
      {"/Fotos/", 1, 10, 20, 30, 0},
      {"/Fotos/\xC3\x84/\xC3\xBC.jpg", 0, -5, 2147483647, -2147483647 - 1, 4294967296LL},
      {"/Fotos/with space\\and backslash.txt", 0, 1, 2, 3, 0},
      {"/Fotos/\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", 0, 1, 2, 3, 0},  // U+20AC, U+1F600, U+10FFFF
  };
  ASSERT_TRUE(staging::writeDatabase(platform::holdFolder(scratch.root()), 4294967296LL, files));
  EXPECT_NE(scratch.read("Shelfdex.dat").find("/Fotos/\xC3\x84/\xC3\xBC.jpg\r\n"), std::string::npos);
  auto database = staging::readDatabase(scratch.path("Shelfdex.dat"));
  ASSERT_TRUE(database);
  EXPECT_EQ(database->stockSize, 4294967296LL);
  EXPECT_EQ(database->files, files);
}

TEST(Database, ReadsAnyLineEnd) {
  TempTree scratch;
  for (const std::string& lineEnd : {std::string("\r\n"), std::string("\n"), std::string("\r"), std::string(1, '\0')}) {
    scratch.write("Shelfdex.dat", le(7, 8) + le(2, 8) + record("/a/", lineEnd, 1, 0) + record("/a/b", lineEnd, 0, 7));
    auto database = staging::readDatabase(scratch.path("Shelfdex.dat"));
    ASSERT_TRUE(database) << "line end of " << lineEnd.size() << " bytes";
    ASSERT_EQ(database->files.size(), 2u);
    EXPECT_EQ(database->files[0], (FileEntry{"/a/", 1, 1, 2, 3, 0}));
    EXPECT_EQ(database->files[1], (FileEntry{"/a/b", 0, 1, 2, 3, 7}));
  }
}

TEST(Database, RefusesDamagedFiles) {
  TempTree scratch;
  const std::string good = record("/a/b", "\r\n", 0, 7);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"shorter than its header", le(7, 8) + le(1, 4)},
      {"no entries", le(0, 8) + le(0, 8)},
      {"a negative count", le(0, 8) + le(-1, 8) + good},
      {"more entries than bytes", le(0, 8) + le(1LL << 60, 8) + good},
      {"a record cut short", le(7, 8) + le(2, 8) + good + good.substr(0, good.size() - 3)},
      {"a kind that is no kind", le(7, 8) + le(1, 8) + record("/a/b", "\r\n", 2, 7)},
      {"an empty path", le(7, 8) + le(1, 8) + record("", "\r\n", 0, 7)},
      {"a relative path", le(7, 8) + le(1, 8) + record("a/b", "\r\n", 0, 7)},
      {"a parent segment", le(7, 8) + le(1, 8) + record("/a/../etc/passwd", "\r\n", 0, 7)},
      {"a dot segment", le(7, 8) + le(1, 8) + record("/a/./b", "\r\n", 0, 7)},
      {"a doubled slash in front", le(7, 8) + le(1, 8) + record("//etc/cron.d/job", "\r\n", 0, 7)},
      {"a doubled slash inside", le(7, 8) + le(1, 8) + record("/etc//cron.d//job", "\r\n", 0, 7)},
      {"a trailing dot", le(0, 8) + le(1, 8) + record("/a/b/./", "\r\n", 1, 0)},
      {"a name longer than NAME_MAX", le(7, 8) + le(1, 8) + record("/a/" + std::string(256, 'n'), "\r\n", 0, 7)},
      {"a path as long as PATH_MAX", le(7, 8) + le(1, 8) + record("/" + std::string(4095, 'n').replace(200, 1, "/"), "\r\n", 0, 7)},
      {"bytes after the last record", le(7, 8) + le(1, 8) + good + good},
      {"a byte that is no UTF-8", le(7, 8) + le(1, 8) + record("/a/\xFF", "\r\n", 0, 7)},
      {"an overlong form (\"..\" to a lax decoder)", le(7, 8) + le(1, 8) + record("/\xC0\xAE\xC0\xAE/b", "\r\n", 0, 7)},
      {"a surrogate", le(7, 8) + le(1, 8) + record("/a/\xED\xA0\x80", "\r\n", 0, 7)},
      {"a character above U+10FFFF", le(7, 8) + le(1, 8) + record("/a/\xF4\x90\x80\x80", "\r\n", 0, 7)},
      {"a file path ending with /", le(7, 8) + le(1, 8) + record("/a/b/", "\r\n", 0, 7)},
      {"a folder path not ending with /", le(0, 8) + le(1, 8) + record("/a", "\r\n", 1, 0)},
      {"a negative size", le(0, 8) + le(1, 8) + record("/a/b", "\r\n", 0, -1)},
      {"a negative stock size", le(-7, 8) + le(1, 8) + good},
  };
  for (const auto& c : cases) {
    scratch.write("Shelfdex.dat", c.bytes);
    bool damaged = false;
    EXPECT_FALSE(staging::readDatabase(scratch.path("Shelfdex.dat"), &damaged)) << c.what;
    EXPECT_TRUE(damaged) << c.what;
  }
  bool damaged = true;
  EXPECT_FALSE(staging::readDatabase(scratch.path("missing/Shelfdex.dat"), &damaged));
  EXPECT_FALSE(damaged);
}

TEST(StagingLayout, NamesEveryPositionUniquely) {
  const struct {
    int64_t position;
    const char* file;
  } cases[] = {
      {0, "/media/keep/Backup001/F0000000.dat"},
      {599, "/media/keep/Backup001/F0000599.dat"},
      {600, "/media/keep/Backup002/F0000600.dat"},
      {1234, "/media/keep/Backup003/F0001234.dat"},
      {59400, "/media/keep/Backup100/F0059400.dat"},
      {59999, "/media/keep/Backup100/F0059999.dat"},
      {600000, "/media/keep/Backup1001/F0600000.dat"},
      {10000000, "/media/keep/Backup16667/F10000000.dat"},
  };
  for (const auto& c : cases) {
    const staging::StagedPath staged = staging::stagedPath("/media/keep", c.position);
    EXPECT_EQ(staged.file, c.file);
    EXPECT_EQ(staged.folder + "/", staged.file.substr(0, staged.folder.size() + 1));
  }
  EXPECT_EQ(staging::stagedPath("/", 5).file, "/Backup001/F0000005.dat");
}

class DropTest : public testing_support::AppFixture {
 protected:
  TempTree scratch;
  void SetUp() override {
    AppFixture::SetUp();
    layVolumes({testing_support::diskVolume("/", 40000, 1)});
    start();
  }
  std::string database(const std::string& name, const std::vector<FileEntry>& files, int64_t stock) {
    const fs::path folder = fs::path(scratch.path(name)).parent_path();
    fs::create_directories(folder);
    EXPECT_TRUE(staging::writeDatabase(platform::holdFolder(folder.string()), stock, files));
    return (folder / "Shelfdex.dat").string();
  }
};

TEST_F(DropTest, LoadsTheFirstDroppedDatabaseIntoRestoreState) {
  const std::string first = database("keep/Shelfdex.dat", {{"/x/", 1, 1, 2, 3, 0}, {"/x/a", 0, 1, 2, 3, 5}}, 5368709120LL);
  const std::string second = database("other/Shelfdex.dat", {{"/y/", 1, 1, 2, 3, 0}, {"/y/b", 0, 1, 2, 3, 6}}, 6);
  dropFiles({scratch.path("notes.txt"), first, second});
  pump();

  ASSERT_EQ(state.files.size(), 2u);
  EXPECT_EQ(state.files[1].path, "/x/a");
  EXPECT_EQ(state.stagingBase(), scratch.path("keep"));
  EXPECT_EQ(staging::stagedPath(state.stagingBase(), 0).file, scratch.path("keep/Backup001/F0000000.dat"));
  EXPECT_EQ(status(), "Restore Size 5.00 GB\n\rLoad File Database\n\rRestore Prepare");
  EXPECT_TRUE(enabled(ui::kBackButton));
  for (int widget : {ui::kGoButton, ui::kPresetBox, ui::kDriveBox, ui::kMoveFolderButton}) {
    EXPECT_FALSE(enabled(widget)) << widget;
  }
}

TEST_F(DropTest, IgnoresOtherNamesAndDropsOnAFilledList) {
  const std::string path = database("keep/Shelfdex.dat", {{"/x/a", 0, 1, 2, 3, 5}}, 5);
  const std::string upper = scratch.path("keep/SHELFDEX.DAT");
  fs::copy_file(path, upper);
  dropFiles({upper});
  pump();
  EXPECT_TRUE(state.files.empty());
  EXPECT_EQ(status(), "");

  // A FIFO of that name is no database and never holds the window up.
  scratch.makeFolder("keep/fifo");
  scratch.fifo("keep/fifo/Shelfdex.dat");
  dropFiles({scratch.path("keep/fifo/Shelfdex.dat")});
  pump();
  EXPECT_TRUE(state.files.empty());
  EXPECT_EQ(status(), "");

  state.appendFile({"/z/listed", 0, 0, 0, 0, 1});
  dropFiles({path});
  pump();
  ASSERT_EQ(state.files.size(), 1u);
  EXPECT_EQ(state.files[0].path, "/z/listed");
  EXPECT_FALSE(enabled(ui::kBackButton));
}

TEST_F(DropTest, ADamagedDatabaseChangesNothingButTheStatus) {
  scratch.write("keep/Shelfdex.dat", le(7, 8) + le(3, 8) + record("/a/b", "\r\n", 0, 7));
  const std::string before = state.stagingBase();
  dropFiles({scratch.path("keep/Shelfdex.dat")});
  pump();
  EXPECT_EQ(status(), "Shelfdex.dat is damaged.");
  EXPECT_TRUE(state.files.empty());
  EXPECT_EQ(state.stagingBase(), before);
  EXPECT_FALSE(enabled(ui::kBackButton));
  EXPECT_TRUE(enabled(ui::kPresetBox));
}

// A folder ticked after its parent is listed twice, and a second "Move Folder" leaves a stock
// size that is not the sum of the sizes. This count takes a minute if equal paths pile up in
// one probe run of the index.
TEST_F(DropTest, LoadsManyRepeatedPathsAndAnyStockSize) {
  const int64_t count = 200000;
  std::string bytes = le(7, 8) + le(count, 8);
  for (int64_t i = 0; i < count; ++i) bytes += record("/a/", "\r\n", 1, 0);
  scratch.write("keep/Shelfdex.dat", bytes);
  dropFiles({scratch.path("keep/Shelfdex.dat")});
  pump();
  EXPECT_EQ(state.files.size(), static_cast<size_t>(count));
  EXPECT_EQ(state.stockSize, 7);
  EXPECT_TRUE(state.isListed("/a/"));
  EXPECT_FALSE(state.isListed("/a/b"));
}
