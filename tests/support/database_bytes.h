// Shelfdex.dat written by hand, byte for byte as it must lie on the disk: little-endian
// integers, then one record per entry. Header-only.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "staging/state.h"

namespace testing_support {

inline std::string littleEndian(int64_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; ++i) text += static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xff);
  return text;
}

// One record: the path and its line end, the kind, three dates, the size.
inline std::string databaseRecord(const std::string& path, const std::string& lineEnd, int8_t kind,
                                  int32_t created, int32_t modified, int32_t accessed, int64_t size) {
  return path + lineEnd + static_cast<char>(kind) + littleEndian(created, 4) + littleEndian(modified, 4) +
         littleEndian(accessed, 4) + littleEndian(size, 8);
}

// The whole file for a list: header (stock size, count), then the records.
inline std::string databaseBytes(int64_t stockSize, const std::vector<staging::FileEntry>& files) {
  std::string bytes = littleEndian(stockSize, 8) + littleEndian(static_cast<int64_t>(files.size()), 8);
  for (const staging::FileEntry& entry : files)
    bytes += databaseRecord(entry.path, "\r\n", entry.kind, entry.created, entry.modified, entry.accessed, entry.size);
  return bytes;
}

}  // namespace testing_support
