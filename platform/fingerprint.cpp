// SHA-1 and MD5 through OpenSSL's EVP interface, CRC-32 through libdeflate (carry-less
// multiplication, several times zlib's speed: it shares the cores with MD5 and SHA-1). A
// file is read once in large blocks whatever number of fingerprints is asked; all three at
// once use both cores.
#include "platform/fingerprint.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

constexpr size_t kBlockBytes = FingerprintStream::kBlockBytes;
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
    crc_ = 0;
  }

  void add(const void* data, size_t size) {
    if (sha1_) EVP_DigestUpdate(sha1_.get(), data, size);
    if (md5_) EVP_DigestUpdate(md5_.get(), data, size);
    if (wanted_ & kWantCrc) crc_ = libdeflate_crc32(crc_, data, size);
  }

  Fingerprints finish() {
    Fingerprints prints;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (sha1_ && EVP_DigestFinal_ex(sha1_.get(), digest, &size)) prints.sha1 = hexOf(digest, size);
    if (md5_ && EVP_DigestFinal_ex(md5_.get(), digest, &size)) prints.md5 = hexOf(digest, size);
    if (wanted_ & kWantCrc) prints.crc32 = crc_;
    start();
    return prints;
  }

 private:
  unsigned wanted_;
  Digest sha1_, md5_;
  uint32_t crc_ = 0;
};

// The three fingerprints of one stream on both cores: MD5, the slowest of the three, runs on
// a helper thread over the same block while SHA-1 and CRC-32 run on the caller's thread, and
// the caller reads the next block meanwhile. Blocks rotate through a few buffers, so memory
// stays bounded whatever the file's size. The helper lives only as long as the stream, and
// starts with the second block: a file of one block is hashed on the caller's thread alone.
class ParallelPrints {
 public:
  ParallelPrints() : sha1_(EVP_MD_CTX_new()), md5_(EVP_MD_CTX_new()) { start(); }
  ~ParallelPrints() { stopHelper(); }
  ParallelPrints(const ParallelPrints&) = delete;
  ParallelPrints& operator=(const ParallelPrints&) = delete;

  // The buffer the next block goes into (kBlockBytes long). It is free: the helper is done
  // with the block that last used it.
  unsigned char* nextBlock() {
    if (pendingFill_ > 0) commitPending();
    const uint64_t slot = committed_ % kBuffers;
    if (helper_.joinable()) {
      std::unique_lock<std::mutex> lock(mutex_);
      helperIdle_.wait(lock, [&] { return committed_ - hashed_ < kBuffers; });
    }
    // Not zeroed, and only as many as the file needs: a small file touches one block.
    if (!buffers_[slot]) buffers_[slot].reset(new unsigned char[kBlockBytes]);
    return buffers_[slot].get();
  }

  // Hashes the first size bytes of the buffer nextBlock() gave. The buffer stays readable
  // by the caller (to write it out) until the next call of nextBlock or finish.
  void commit(size_t size) {
    if (size == 0) return;
    const unsigned char* block = buffers_[committed_ % kBuffers].get();
    if (committed_ == 1) startHelper();
    if (helper_.joinable()) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(size);
      }
      work_.notify_one();
    } else {
      EVP_DigestUpdate(md5_.get(), block, size);
      std::lock_guard<std::mutex> lock(mutex_);
      ++hashed_;
    }
    ++committed_;
    EVP_DigestUpdate(sha1_.get(), block, size);
    crc_ = libdeflate_crc32(crc_, block, size);
  }

  // Copies bytes in, in pieces of any size.
  void add(const void* data, size_t size) {
    auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
      unsigned char* block =
          pendingFill_ == 0 ? nextBlock() : buffers_[committed_ % kBuffers].get();
      const size_t piece = std::min(size, kBlockBytes - pendingFill_);
      std::memcpy(block + pendingFill_, bytes, piece);
      pendingFill_ += piece;
      bytes += piece;
      size -= piece;
      if (pendingFill_ == kBlockBytes) commitPending();
    }
  }

  Fingerprints finish() {
    if (pendingFill_ > 0) commitPending();
    stopHelper();
    Fingerprints prints;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    if (EVP_DigestFinal_ex(sha1_.get(), digest, &size)) prints.sha1 = hexOf(digest, size);
    if (EVP_DigestFinal_ex(md5_.get(), digest, &size)) prints.md5 = hexOf(digest, size);
    prints.crc32 = crc_;
    start();
    return prints;
  }

 private:
  static constexpr uint64_t kBuffers = 3;

  // A fresh stream; the helper is not running.
  void start() {
    EVP_DigestInit_ex(sha1_.get(), EVP_sha1(), nullptr);
    EVP_DigestInit_ex(md5_.get(), EVP_md5(), nullptr);
    crc_ = 0;
    committed_ = hashed_ = 0;
    stopping_ = false;
  }

  void commitPending() {
    const size_t size = pendingFill_;
    pendingFill_ = 0;
    commit(size);
  }

  void startHelper() {
    try {
      helper_ = std::thread([this] { runHelper(); });
    } catch (const std::system_error&) {
      // No thread to be had: MD5 stays on the caller's thread, slower but the same result.
    }
  }

  // Hashes queued blocks in order until told to stop and the queue is empty.
  void runHelper() {
    uint64_t position = hashed_;
    for (;;) {
      size_t size = 0;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        size = queue_.front();
      }
      EVP_DigestUpdate(md5_.get(), buffers_[position % kBuffers].get(), size);
      ++position;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.pop_front();
        hashed_ = position;
      }
      helperIdle_.notify_one();
    }
  }

  void stopHelper() {
    if (!helper_.joinable()) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    work_.notify_one();
    helper_.join();
    helper_ = std::thread();
  }

  std::unique_ptr<unsigned char[]> buffers_[kBuffers];
  size_t pendingFill_ = 0;      // bytes add() has put into the next block, not yet hashed
  uint64_t committed_ = 0;      // blocks handed in (caller's thread only)
  Digest sha1_, md5_;           // md5_ belongs to the helper while it runs
  uint32_t crc_ = 0;

  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable work_, helperIdle_;
  std::deque<size_t> queue_;    // sizes of the blocks waiting for MD5
  uint64_t hashed_ = 0;         // blocks whose MD5 is done
  bool stopping_ = false;
};

// Reads the whole file once in blocks; an unreadable file (or a read error) gives empty prints.
template <typename Prints>
bool readInto(int fd, Prints& prints, const std::function<void()>& tick) {
  auto lastTick = std::chrono::steady_clock::now();
  internal::ReadWindow window(fd);
  int64_t offset = 0;
  for (;;) {
    unsigned char* block = prints.nextBlock();
    window.before(offset);
    ssize_t got = syscalls().read(fd, block, kBlockBytes);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    offset += got;
    prints.commit(static_cast<size_t>(got));
    if (tick && std::chrono::steady_clock::now() - lastTick >= kTickEvery) {
      tick();
      lastTick = std::chrono::steady_clock::now();
    }
  }
}

// One fingerprint on its own: nothing to share between cores, so one thread and one block.
class SingleBlock {
 public:
  explicit SingleBlock(unsigned wanted) : hasher_(wanted), block_(new unsigned char[kBlockBytes]) {}
  unsigned char* nextBlock() { return block_.get(); }
  void commit(size_t size) { hasher_.add(block_.get(), size); }
  Fingerprints finish() { return hasher_.finish(); }

 private:
  Hasher hasher_;
  std::unique_ptr<unsigned char[]> block_;
};

template <typename Prints>
Fingerprints fingerprintFd(int fd, Prints& prints, const std::function<void()>& tick) {
  if (fd < 0) return {};
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  bool good = readInto(fd, prints, tick);
  close(fd);
  Fingerprints result = prints.finish();
  return good ? result : Fingerprints{};
}

template <typename Prints>
Fingerprints fingerprintPath(const std::string& path, Prints& prints,
                             const std::function<void()>& tick) {
  return fingerprintFd(internal::openForReadingQuietly(path.c_str()), prints, tick);
}

Fingerprints onePrint(const std::string& path, unsigned wanted) {
  SingleBlock prints(wanted);
  return fingerprintPath(path, prints, {});
}

}  // namespace

std::string sha1OfFile(const std::string& path) { return onePrint(path, kWantSha1).sha1; }
std::string md5OfFile(const std::string& path) { return onePrint(path, kWantMd5).md5; }
uint32_t crc32OfFile(const std::string& path) { return onePrint(path, kWantCrc).crc32; }

Fingerprints fingerprintFile(const std::string& path, const std::function<void()>& tick) {
  ParallelPrints prints;
  return fingerprintPath(path, prints, tick);
}

Fingerprints internal::fingerprintOpenFile(int fd, const std::function<void()>& tick) {
  ParallelPrints prints;
  return fingerprintFd(fd, prints, tick);
}

struct FingerprintStream::Impl {
  ParallelPrints prints;
};

FingerprintStream::FingerprintStream() : impl_(new Impl) {}
FingerprintStream::~FingerprintStream() { delete impl_; }
void FingerprintStream::add(const void* data, size_t size) { impl_->prints.add(data, size); }
unsigned char* FingerprintStream::nextBlock() { return impl_->prints.nextBlock(); }
void FingerprintStream::commit(size_t size) { impl_->prints.commit(size); }
Fingerprints FingerprintStream::finish() { return impl_->prints.finish(); }

std::string keyedDigest(const std::string& key, const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (!HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()),
            reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest, &length))
    return "";
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 15];
  }
  return text;
}

}  // namespace platform
