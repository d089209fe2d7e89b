// SHA-1 and MD5 through OpenSSL's EVP interface, CRC-32 through zlib. A file is read once in
// large blocks whatever number of fingerprints is asked, holding one block in memory.
#include "platform/fingerprint.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <vector>

#include "platform/internal.h"

namespace platform {
namespace {

constexpr size_t kBlockBytes = 1 << 20;
constexpr auto kTickEvery = std::chrono::milliseconds(100);

constexpr unsigned kWantSha1 = 1, kWantMd5 = 2, kWantCrc = 4, kWantAll = 7;

std::string hexOf(const unsigned char* bytes, unsigned size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(size * 2);
  for (unsigned i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

struct DigestDeleter {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using Digest = std::unique_ptr<EVP_MD_CTX, DigestDeleter>;

// The running state of up to three fingerprints.
class Hasher {
 public:
  explicit Hasher(unsigned wanted) : wanted_(wanted) { start(); }

  void start() {
    sha1_.reset(wanted_ & kWantSha1 ? EVP_MD_CTX_new() : nullptr);
    md5_.reset(wanted_ & kWantMd5 ? EVP_MD_CTX_new() : nullptr);
    if (sha1_) EVP_DigestInit_ex(sha1_.get(), EVP_sha1(), nullptr);
    if (md5_) EVP_DigestInit_ex(md5_.get(), EVP_md5(), nullptr);
    crc_ = crc32(0L, Z_NULL, 0);
  }

  void add(const void* data, size_t size) {
    if (sha1_) EVP_DigestUpdate(sha1_.get(), data, size);
    if (md5_) EVP_DigestUpdate(md5_.get(), data, size);
    if (wanted_ & kWantCrc) {
      // zlib takes 32-bit lengths; blocks may be larger in the copy path.
      auto* bytes = static_cast<const Bytef*>(data);
      while (size > 0) {
        uInt piece = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc_ = crc32(crc_, bytes, piece);
        bytes += piece;
        size -= piece;
      }
    }
  }

  Fingerprints finish() {
    Fingerprints prints;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (sha1_ && EVP_DigestFinal_ex(sha1_.get(), digest, &size)) prints.sha1 = hexOf(digest, size);
    if (md5_ && EVP_DigestFinal_ex(md5_.get(), digest, &size)) prints.md5 = hexOf(digest, size);
    if (wanted_ & kWantCrc) prints.crc32 = static_cast<uint32_t>(crc_);
    start();
    return prints;
  }

 private:
  unsigned wanted_;
  Digest sha1_, md5_;
  uLong crc_ = 0;
};

// Reads the whole file once; an unreadable file (or a read error) gives empty prints.
Fingerprints fingerprintPath(const std::string& path, unsigned wanted,
                             const std::function<void()>& tick) {
  int fd = internal::openForReadingQuietly(path.c_str());
  if (fd < 0) return {};
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  Hasher hasher(wanted);
  std::vector<unsigned char> block(kBlockBytes);
  auto lastTick = std::chrono::steady_clock::now();
  bool readFailed = false;
  for (;;) {
    ssize_t got = read(fd, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      readFailed = true;
      break;
    }
    if (got == 0) break;
    hasher.add(block.data(), static_cast<size_t>(got));
    if (tick && std::chrono::steady_clock::now() - lastTick >= kTickEvery) {
      tick();
      lastTick = std::chrono::steady_clock::now();
    }
  }
  close(fd);
  if (readFailed) return {};
  return hasher.finish();
}

}  // namespace

std::string sha1OfFile(const std::string& path) { return fingerprintPath(path, kWantSha1, {}).sha1; }
std::string md5OfFile(const std::string& path) { return fingerprintPath(path, kWantMd5, {}).md5; }
uint32_t crc32OfFile(const std::string& path) { return fingerprintPath(path, kWantCrc, {}).crc32; }

Fingerprints fingerprintFile(const std::string& path, const std::function<void()>& tick) {
  return fingerprintPath(path, kWantAll, tick);
}

struct FingerprintStream::Impl {
  Hasher hasher{kWantAll};
};

FingerprintStream::FingerprintStream() : impl_(new Impl) {}
FingerprintStream::~FingerprintStream() { delete impl_; }
void FingerprintStream::add(const void* data, size_t size) { impl_->hasher.add(data, size); }
Fingerprints FingerprintStream::finish() { return impl_->hasher.finish(); }

}  // namespace platform
