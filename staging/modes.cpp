// The mode record: an entry count, then one 32-bit mode per list position, little-endian.
#include "staging/modes.h"

#include "platform/datafile.h"
#include "platform/files.h"
#include "staging/database.h"

namespace staging {
std::string recordPath(const std::string& base) {
  return platform::joinPath(stagingFolder(base, 1), "Modes.dat");
}

bool writeModes(const std::string& base, const std::vector<FileEntry>& files) {
  const std::string folder = stagingFolder(base, 1);
  if (platform::fileSize(folder) != platform::kIsFolder) platform::createFolder(folder);
  platform::DataFile record = platform::DataFile::create(recordPath(base));
  record.writeInt64(static_cast<int64_t>(files.size()));
  for (const FileEntry& entry : files)
    record.writeInt32(entry.kind == kFile ? static_cast<int32_t>(platform::fileMode(entry.path)) : 0);
  return record.close();
}

std::vector<uint32_t> readModes(const std::string& base, int64_t count) {
  platform::DataFile record = platform::DataFile::openForReading(recordPath(base));
  if (!record.ok() || record.length() != 8 + 4 * count || record.readInt64() != count) return {};
  std::vector<uint32_t> modes(static_cast<size_t>(count));
  for (uint32_t& mode : modes) mode = static_cast<uint32_t>(record.readInt32());
  return modes;
}

}  // namespace staging
