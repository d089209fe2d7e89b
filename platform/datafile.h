// Buffered binary data files, little-endian, for the file database.
#pragma once
#include <fcntl.h>
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

class DataFile {
 public:
  // Creates (or cuts to length 0) a file for writing, path relative to the open folder dir
  // and never through a link at its end; ok() false on failure.
  static DataFile create(const std::string& path, int dir = AT_FDCWD, mode_t mode = 0666);
  // Opens an existing regular file for reading (a link at its end is not followed); ok()
  // false on failure.
  static DataFile openForReading(const std::string& path, int dir = AT_FDCWD);
  DataFile(DataFile&& other) noexcept;
  DataFile& operator=(DataFile&& other) noexcept;
  ~DataFile();

  bool ok() const;
  int64_t length() const;  // size of the file opened for reading, in bytes

  void writeInt64(int64_t value);
  void writeInt32(int32_t value);
  void writeByte(int8_t value);
  void writeTextLine(const std::string& text);  // UTF-8 bytes, then 13, 10

  int64_t readInt64();     // 0 at the end of the file
  int32_t readInt32();     // 0 at the end of the file
  int8_t readByte();       // 0 at the end of the file
  std::string readTextLine();  // ends at 13, 10, 13 10 or 0, or the end of the file
  bool ranPastEnd() const;     // a read wanted more bytes than were left
  bool atEnd();                // every byte has been read (false on a read error)

  // Flushes, fsyncs (when written) and closes; true when every byte reached the disk.
  bool close();

 private:
  DataFile() = default;
  std::FILE* file_ = nullptr;
  bool writing_ = false;
  bool failed_ = false;
  bool pastEnd_ = false;
  int64_t length_ = 0;
};

}  // namespace platform
