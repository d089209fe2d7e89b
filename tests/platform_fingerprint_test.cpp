// Fingerprints against published vectors and against a plain one-thread computation of the
// same bytes, at every block seam and through every way in: a file, a copy, and a stream fed
// in pieces. The three are hashed on two threads; sizes past three blocks make the block ring
// wrap around.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "platform/files.h"
#include "platform/fingerprint.h"
#include "support/syscall_faults.h"
#include "support/temp_tree.h"

using namespace platform;

namespace {

constexpr size_t kBlock = FingerprintStream::kBlockBytes;

std::string hexDigest(const EVP_MD* md, const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &size, md, nullptr);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned i = 0; i < size; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

Fingerprints oneThread(const std::string& bytes) {
  return {hexDigest(EVP_sha1(), bytes), hexDigest(EVP_md5(), bytes),
          static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                      static_cast<uInt>(bytes.size())))};
}

// 0 bytes, 1 byte, one block, one block + 1, several blocks with an odd tail.
const size_t kSizes[] = {0, 1, kBlock, kBlock + 1, 5 * kBlock + 12345};

}  // namespace

TEST(Fingerprints, PublishedVectors) {
  TempTree tree;
  std::string abc = tree.write("abc", "abc");
  std::string empty = tree.write("empty", "");
  std::string digits = tree.write("digits", "123456789");
  std::string million = tree.write("million", std::string(1000000, 'a'));
  EXPECT_EQ(sha1OfFile(abc), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(md5OfFile(abc), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(sha1OfFile(empty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(md5OfFile(empty), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(crc32OfFile(empty), 0u);
  EXPECT_EQ(crc32OfFile(digits), 0xCBF43926u);
  EXPECT_EQ(sha1OfFile(million), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
  EXPECT_EQ(md5OfFile(million), "7707d6ae4e027c70eea2a935c2296f21");
}

TEST(Fingerprints, UnreadableGivesEmptyAndZero) {
  TempTree tree;
  tree.makeFolder("folder");
  for (const std::string& path : {tree.path("missing"), tree.path("folder"), tree.folderPath("folder"),
                                  std::string()}) {
    EXPECT_EQ(sha1OfFile(path), "") << path;
    EXPECT_EQ(md5OfFile(path), "") << path;
    EXPECT_EQ(crc32OfFile(path), 0u) << path;
    EXPECT_EQ(fingerprintFile(path), Fingerprints{}) << path;
  }
}

TEST(Fingerprints, SingleReadEqualsTheSingleServicesAroundBlockSizes) {
  TempTree tree;
  const size_t block = 1 << 20;
  for (size_t size : {size_t{0}, size_t{1}, block - 1, block, block + 1, 3 * block + 5}) {
    std::string bytes = TempTree::patternBytes(size, static_cast<unsigned>(size));
    std::string path = tree.write("file", bytes);
    Fingerprints expected = oneThread(bytes);
    Fingerprints all = fingerprintFile(path);
    EXPECT_EQ(all, expected) << size;
    EXPECT_EQ(sha1OfFile(path), expected.sha1) << size;
    EXPECT_EQ(md5OfFile(path), expected.md5) << size;
    EXPECT_EQ(crc32OfFile(path), expected.crc32) << size;

    FingerprintStream stream;
    for (size_t at = 0; at < size; at += 77777) stream.add(bytes.data() + at, std::min<size_t>(77777, size - at));
    EXPECT_EQ(stream.finish(), expected) << size;
  }
}

TEST(Fingerprints, StreamStartsAfreshAfterFinish) {
  FingerprintStream stream;
  stream.add("xyz", 3);
  stream.finish();
  stream.add("abc", 3);
  EXPECT_EQ(stream.finish().sha1, "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST(ParallelFingerprints, FileEqualsOneThread) {
  TempTree tree;
  for (size_t size : kSizes) {
    const std::string bytes = TempTree::patternBytes(size, static_cast<unsigned>(size) + 7);
    const std::string path = tree.write("file", bytes);
    EXPECT_EQ(fingerprintFile(path), oneThread(bytes)) << size << " bytes";
  }
}

TEST(ParallelFingerprints, CopyGivesTheSourcePrintsAndAnEqualCopy) {
  TempTree tree;
  for (size_t size : kSizes) {
    const std::string bytes = TempTree::patternBytes(size, static_cast<unsigned>(size) + 3);
    const std::string source = tree.write("source", bytes);
    Fingerprints prints{"stale", "stale", 1};
    CopyOptions options;
    options.sourcePrints = &prints;
    ASSERT_TRUE(copyFile(source, tree.path("copy"), options)) << size;
    EXPECT_EQ(prints, oneThread(bytes)) << size << " bytes";
    EXPECT_EQ(tree.read("copy"), bytes) << size << " bytes";
  }
}

// A write that fails in the middle of a many-block copy stops the helper cleanly: no prints,
// no partial file, and the next copy works.
TEST(ParallelFingerprints, CopyFailingMidwayGivesNoPrints) {
  TempTree tree;
  const std::string bytes = TempTree::patternBytes(4 * kBlock + 99, 11);
  const std::string source = tree.write("source", bytes);
  size_t written = 0;
  testing_support::setWriteRule([&written](int fd, const void* data, size_t size) -> ssize_t {
    if (written >= 2 * kBlock) {
      errno = ENOSPC;
      return -1;
    }
    written += size;
    return ::write(fd, data, size);
  });
  Fingerprints prints{"stale", "stale", 1};
  CopyOptions options;
  options.sourcePrints = &prints;
  EXPECT_FALSE(copyFile(source, tree.path("copy"), options));
  testing_support::restoreSyscalls();
  EXPECT_EQ(prints, Fingerprints{});
  EXPECT_EQ(tree.list(), std::vector<std::string>{"source"});

  ASSERT_TRUE(copyFile(source, tree.path("copy"), options));
  EXPECT_EQ(prints, oneThread(bytes));
}

TEST(ParallelFingerprints, StreamInOddPiecesEqualsOneThread) {
  const std::string bytes = TempTree::patternBytes(3 * kBlock + 777, 5);
  const Fingerprints expected = oneThread(bytes);
  for (size_t piece : {size_t{1}, size_t{4093}, kBlock - 1, kBlock + 1, size_t{2500001}}) {
    // Single bytes over four blocks take long; a shorter run shows the same seams.
    const std::string part = piece == 1 ? bytes.substr(0, kBlock + 3) : bytes;
    FingerprintStream stream;
    for (size_t at = 0; at < part.size(); at += piece)
      stream.add(part.data() + at, std::min(piece, part.size() - at));
    EXPECT_EQ(stream.finish(), piece == 1 ? oneThread(part) : expected) << "pieces of " << piece;
  }
}

// Blocks filled in place, short ones among them (as a read may return), mixed with copied
// pieces; then the same stream starts afresh.
TEST(ParallelFingerprints, StreamInPlaceBlocksMixedWithCopiedPieces) {
  const std::string bytes = TempTree::patternBytes(6 * kBlock + 4321, 9);
  const size_t pieces[] = {kBlock, 100, kBlock, kBlock - 5, 33, kBlock, kBlock};
  FingerprintStream stream;
  size_t at = 0;
  bool inPlace = true;
  for (size_t piece : pieces) {
    if (inPlace) {
      std::memcpy(stream.nextBlock(), bytes.data() + at, piece);
      stream.commit(piece);
    } else {
      stream.add(bytes.data() + at, piece);
    }
    at += piece;
    inPlace = !inPlace;
  }
  stream.add(bytes.data() + at, bytes.size() - at);
  EXPECT_EQ(stream.finish(), oneThread(bytes));

  stream.add("abc", 3);
  EXPECT_EQ(stream.finish(), oneThread("abc"));
  EXPECT_EQ(stream.finish(), oneThread(""));
}
