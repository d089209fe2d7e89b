// Fingerprints against published vectors and against one-shot digests of the same bytes, on
// sizes around the read block, so a block seam that drops or repeats bytes shows.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <zlib.h>

#include "platform/fingerprint.h"
#include "support/temp_tree.h"

using namespace platform;

namespace {

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

Fingerprints oneShot(const std::string& bytes) {
  return {hexDigest(EVP_sha1(), bytes), hexDigest(EVP_md5(), bytes),
          static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()),
                                      static_cast<uInt>(bytes.size())))};
}

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
  for (const std::string& path : {tree.path("missing"), tree.path("folder"), std::string()}) {
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
    Fingerprints expected = oneShot(bytes);
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
