// Buffered little-endian data files. Writing goes through a stdio stream whose bottom end is
// the write seam, so a test can fill the disk under it; close() reports any lost byte.
#include "platform/datafile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/internal.h"
#include "platform/syscalls.h"

namespace platform {
namespace {

constexpr size_t kBufferBytes = 64 * 1024;

struct Sink {
  int fd;
};

ssize_t sinkWrite(void* cookie, const char* data, size_t size) {
  // stdio takes 0 as "nothing written, an error".
  return internal::writeAll(static_cast<Sink*>(cookie)->fd, data, size)
             ? static_cast<ssize_t>(size) : 0;
}

int sinkClose(void* cookie) {
  auto* sink = static_cast<Sink*>(cookie);
  bool good = syscalls().fsync(sink->fd) == 0;
  good = ::close(sink->fd) == 0 && good;
  delete sink;
  return good ? 0 : -1;
}

template <typename T>
void putLittleEndian(std::FILE* file, bool& failed, T value) {
  unsigned char bytes[sizeof(T)];
  auto bits = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
  if (!file || std::fwrite(bytes, 1, sizeof(T), file) != sizeof(T)) failed = true;
}

template <typename T>
T getLittleEndian(std::FILE* file, bool& pastEnd) {
  unsigned char bytes[sizeof(T)];
  if (!file || std::fread(bytes, 1, sizeof(T), file) != sizeof(T)) {
    pastEnd = true;
    return 0;
  }
  std::make_unsigned_t<T> bits = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    bits |= static_cast<std::make_unsigned_t<T>>(bytes[i]) << (8 * i);
  return static_cast<T>(bits);
}

}  // namespace

DataFile DataFile::create(const std::string& path, int dir, mode_t mode) {
  DataFile data;
  // O_NONBLOCK: a FIFO at the path fails at once instead of waiting for a reader.
  int fd = syscalls().openat(dir, path.c_str(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, mode);
  if (fd < 0) return data;
  auto* sink = new Sink{fd};
  data.file_ = fopencookie(sink, "w", cookie_io_functions_t{nullptr, sinkWrite, nullptr, sinkClose});
  if (!data.file_) {
    ::close(fd);
    delete sink;
    return data;
  }
  setvbuf(data.file_, nullptr, _IOFBF, kBufferBytes);
  data.writing_ = true;
  return data;
}

DataFile DataFile::openForReading(const std::string& path, int dir) {
  DataFile data;
  int fd = syscalls().openat(dir, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0);
  if (fd < 0) return data;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !(data.file_ = fdopen(fd, "rb"))) {
    ::close(fd);
    return data;
  }
  setvbuf(data.file_, nullptr, _IOFBF, kBufferBytes);
  data.length_ = info.st_size;
  return data;
}

DataFile::DataFile(DataFile&& other) noexcept { *this = std::move(other); }

DataFile& DataFile::operator=(DataFile&& other) noexcept {
  if (this != &other) {
    if (file_) close();
    file_ = std::exchange(other.file_, nullptr);
    writing_ = other.writing_;
    failed_ = other.failed_;
    pastEnd_ = other.pastEnd_;
    length_ = other.length_;
  }
  return *this;
}

DataFile::~DataFile() {
  if (file_) close();
}

bool DataFile::ok() const { return file_ != nullptr; }
int64_t DataFile::length() const { return length_; }

void DataFile::writeInt64(int64_t value) { putLittleEndian(file_, failed_, value); }
void DataFile::writeInt32(int32_t value) { putLittleEndian(file_, failed_, value); }
void DataFile::writeByte(int8_t value) { putLittleEndian(file_, failed_, value); }

void DataFile::writeTextLine(const std::string& text) {
  if (!file_ || std::fwrite(text.data(), 1, text.size(), file_) != text.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2)
    failed_ = true;
}

int64_t DataFile::readInt64() { return getLittleEndian<int64_t>(file_, pastEnd_); }
int32_t DataFile::readInt32() { return getLittleEndian<int32_t>(file_, pastEnd_); }
int8_t DataFile::readByte() { return getLittleEndian<int8_t>(file_, pastEnd_); }

std::string DataFile::readTextLine() {
  std::string line;
  if (!file_) {
    pastEnd_ = true;
    return line;
  }
  for (;;) {
    int byte = std::getc(file_);
    if (byte == EOF) {
      // A line cut off by the end of the file is short of its terminator.
      pastEnd_ = true;
      return line;
    }
    if (byte == 10 || byte == 0) return line;
    if (byte == 13) {
      int after = std::getc(file_);
      if (after != 10 && after != EOF) std::ungetc(after, file_);
      return line;
    }
    line += static_cast<char>(byte);
  }
}

bool DataFile::ranPastEnd() const { return pastEnd_; }

bool DataFile::atEnd() {
  if (!file_) return true;
  const int byte = std::getc(file_);
  if (byte == EOF) return !std::ferror(file_);
  std::ungetc(byte, file_);
  return false;
}

bool DataFile::close() {
  if (!file_) return false;
  bool good = std::fclose(file_) == 0 && !failed_;
  file_ = nullptr;
  return writing_ ? good : true;
}

}  // namespace platform
