// Fingerprints of a file's whole content: SHA-1 and MD5 as lowercase hex, CRC-32 (IEEE).
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct Fingerprints {
  std::string sha1;    // 40 hex characters; "" when the file could not be read
  std::string md5;     // 32 hex characters; "" when the file could not be read
  uint32_t crc32 = 0;  // 0 when the file could not be read (and for an empty file)
  bool operator==(const Fingerprints&) const = default;
};

std::string sha1OfFile(const std::string& path);  // "" when unreadable
std::string md5OfFile(const std::string& path);   // "" when unreadable
uint32_t crc32OfFile(const std::string& path);    // 0 when unreadable

// HMAC-SHA-256 of data under key, as 64 lowercase hex characters; "" on failure.
std::string keyedDigest(const std::string& key, const std::string& data);

// All three in a single read of the file, hashed on two threads (see FingerprintStream);
// tick is called on the caller's thread at least every 100 ms.
Fingerprints fingerprintFile(const std::string& path, const std::function<void()>& tick = {});

// Incremental form, used while copying: feed bytes in order, then finish, after which the
// stream starts afresh. From the second block to finish, MD5 runs on a helper thread that the
// stream owns; the results equal those of one thread.
class FingerprintStream {
 public:
  static constexpr size_t kBlockBytes = 1 << 20;
  FingerprintStream();
  ~FingerprintStream();
  FingerprintStream(const FingerprintStream&) = delete;
  FingerprintStream& operator=(const FingerprintStream&) = delete;
  // Copies the bytes in; pieces of any size.
  void add(const void* data, size_t size);
  // Without a copy: read up to kBlockBytes into nextBlock(), then commit(bytes read). The
  // block stays readable (to be written out) until the next nextBlock() or finish().
  unsigned char* nextBlock();
  void commit(size_t size);
  Fingerprints finish();
 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform
