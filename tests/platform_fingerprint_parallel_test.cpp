// The three fingerprints are hashed on two threads; they must equal a plain one-thread
// computation of the same bytes at every block seam, through every way in: a file, a copy,
// and a stream fed in pieces. Sizes past three blocks make the block ring wrap around.
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

std::string hexOfDigest(const EVP_MD* md, const std::string& bytes) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  EVP_DigestInit_ex(context, md, nullptr);
  EVP_DigestUpdate(context, bytes.data(), bytes.size());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned size = 0;
  EVP_DigestFinal_ex(context, digest, &size);
  EVP_MD_CTX_free(context);
  char hex[2 * EVP_MAX_MD_SIZE + 1] = {};
  for (unsigned i = 0; i < size; ++i) snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}

Fingerprints oneThread(const std::string& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
  return {hexOfDigest(EVP_sha1(), bytes), hexOfDigest(EVP_md5(), bytes), static_cast<uint32_t>(crc)};
}

// 0 bytes, 1 byte, one block, one block + 1, several blocks with an odd tail.
const size_t kSizes[] = {0, 1, kBlock, kBlock + 1, 5 * kBlock + 12345};

}  // namespace

TEST(ParallelFingerprints, FileEqualsOneThread) {
  TempTree tree;
  for (size_t size : kSizes) {
    const std::string bytes = TempTree::patternBytes(size, static_cast<unsigned>(size) + 7);
    const std::string path = tree.write("file", bytes);
    EXPECT_EQ(fingerprintFile(path), oneThread(bytes)) << size << " bytes";
  }
}

TEST(ParallelFingerprints, UnreadableGivesEmptyAndZero) {
  TempTree tree;
  const std::string folder = tree.makeFolder("folder");
  for (const std::string& path : {tree.path("missing"), folder, tree.path("folder")}) {
    const Fingerprints prints = fingerprintFile(path);
    EXPECT_EQ(prints.sha1, "") << path;
    EXPECT_EQ(prints.md5, "") << path;
    EXPECT_EQ(prints.crc32, 0u) << path;
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
