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

// All three in a single read of the file; tick is called at least every 100 ms.
Fingerprints fingerprintFile(const std::string& path, const std::function<void()>& tick = {});

// Incremental form, used while copying: feed blocks in order, then finish.
class FingerprintStream {
 public:
  FingerprintStream();
  ~FingerprintStream();
  FingerprintStream(const FingerprintStream&) = delete;
  FingerprintStream& operator=(const FingerprintStream&) = delete;
  void add(const void* data, size_t size);
  Fingerprints finish();
 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace platform
