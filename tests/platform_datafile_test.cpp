// Data files: little-endian numbers and text lines as the file database stores them, line
// ends of every kind, reads past the end, and a disk that fills while writing.
#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

#include "platform/datafile.h"
#include "support/syscall_faults.h"
#include "support/temp_tree.h"

using namespace platform;

namespace {

std::vector<std::string> readLines(const std::string& path, int count) {
  DataFile file = DataFile::openForReading(path);
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back(file.readTextLine());
  return lines;
}

}  // namespace

TEST(DataFile, WritesLittleEndianBytesAndReadsThemBack) {
  TempTree tree;
  std::string path = tree.path("data");
  DataFile out = DataFile::create(path);
  ASSERT_TRUE(out.ok());
  out.writeInt64(0x0102030405060708LL);
  out.writeInt32(-2);
  out.writeByte(-1);
  out.writeTextLine("Grüße");
  out.writeTextLine("");
  out.writeInt64(INT64_MIN);
  EXPECT_TRUE(out.close());

  std::string expected("\x08\x07\x06\x05\x04\x03\x02\x01\xfe\xff\xff\xff\xff", 13);
  expected += "Grüße\r\n\r\n";
  expected += std::string("\0\0\0\0\0\0\0\x80", 8);
  EXPECT_EQ(tree.read("data"), expected);

  DataFile in = DataFile::openForReading(path);
  ASSERT_TRUE(in.ok());
  EXPECT_EQ(in.length(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(in.readInt64(), 0x0102030405060708LL);
  EXPECT_EQ(in.readInt32(), -2);
  EXPECT_EQ(in.readByte(), -1);
  EXPECT_EQ(in.readTextLine(), "Grüße");
  EXPECT_EQ(in.readTextLine(), "");
  EXPECT_EQ(in.readInt64(), INT64_MIN);
  EXPECT_FALSE(in.ranPastEnd());
  EXPECT_EQ(in.readInt32(), 0);
  EXPECT_EQ(in.readByte(), 0);
  EXPECT_TRUE(in.ranPastEnd());
}

TEST(DataFile, TextLinesEndAtEveryKindOfLineEnd) {
  TempTree tree;
  struct Row {
    std::string bytes;
    std::vector<std::string> lines;
  } rows[] = {
      {"abc\rd", {"abc", "d", ""}},
      {"a\nb\nc", {"a", "b", "c"}},
      {"a\rb\rc\r", {"a", "b", "c", ""}},
      {"a\r\nb\r\n", {"a", "b", ""}},
      {"\r\n\r\nx", {"", "", "x"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then CR is two line ends
      {std::string("a\0b\r\n", 5), {"a", "b", ""}},
      {"", {"", ""}},
  };
  for (const Row& row : rows) {
    std::string path = tree.write("lines", row.bytes);
    EXPECT_EQ(readLines(path, static_cast<int>(row.lines.size())), row.lines)
        << testing::PrintToString(row.bytes);
  }
}

TEST(DataFile, ALineCutOffByTheEndIsFlagged) {
  TempTree tree;
  DataFile whole = DataFile::openForReading(tree.write("whole", "a\r\n"));
  EXPECT_EQ(whole.readTextLine(), "a");
  EXPECT_FALSE(whole.ranPastEnd());
  DataFile cut = DataFile::openForReading(tree.write("cut", "a\r\nb"));
  EXPECT_EQ(cut.readTextLine(), "a");
  EXPECT_EQ(cut.readTextLine(), "b");
  EXPECT_TRUE(cut.ranPastEnd());
  DataFile shortNumber = DataFile::openForReading(tree.write("short", "\x01\x02\x03"));
  EXPECT_EQ(shortNumber.readInt32(), 0);
  EXPECT_TRUE(shortNumber.ranPastEnd());
}

TEST(DataFile, OpeningFailsCleanly) {
  TempTree tree;
  tree.makeFolder("folder");
  EXPECT_FALSE(DataFile::openForReading(tree.path("missing")).ok());
  EXPECT_FALSE(DataFile::openForReading(tree.path("folder")).ok());
  EXPECT_FALSE(DataFile::create(tree.path("no folder/file")).ok());
  DataFile missing = DataFile::openForReading(tree.path("missing"));
  EXPECT_EQ(missing.readTextLine(), "");
  EXPECT_EQ(missing.readInt64(), 0);
  EXPECT_FALSE(missing.close());
}

TEST(DataFile, CreateCutsAnExistingFile) {
  TempTree tree;
  std::string path = tree.write("data", "a long old content");
  DataFile out = DataFile::create(path);
  out.writeByte(7);
  EXPECT_TRUE(out.close());
  EXPECT_EQ(tree.read("data"), "\x07");
}

TEST(DataFile, CloseReportsADiskThatFilled) {
  TempTree tree;
  size_t written = 0;
  testing_support::setWriteRule([&](int fd, const void* data, size_t size) -> ssize_t {
    if (written >= 100000) {
      errno = ENOSPC;
      return -1;
    }
    ssize_t done = ::write(fd, data, std::min<size_t>(size, 1000));
    if (done > 0) written += static_cast<size_t>(done);
    return done;
  });
  DataFile out = DataFile::create(tree.path("data"));
  for (int i = 0; i < 50000; ++i) out.writeInt64(i);
  bool closed = out.close();
  testing_support::restoreSyscalls();
  EXPECT_FALSE(closed);

  DataFile small = DataFile::create(tree.path("small"));
  small.writeTextLine("fits");
  EXPECT_TRUE(small.close());
}

TEST(DataFile, MovingKeepsOneOwner) {
  TempTree tree;
  DataFile first = DataFile::create(tree.path("data"));
  DataFile second = std::move(first);
  EXPECT_FALSE(first.ok());
  second.writeTextLine("moved");
  EXPECT_TRUE(second.close());
  EXPECT_EQ(tree.read("data"), "moved\r\n");
}
