#include "files/byte_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavril {
namespace {
constexpr std::size_t kBufferBytes = std::size_t{1} << 20;
}

ByteReader::~ByteReader() {
  Close();
}

bool ByteReader::Open(const std::filesystem::path& path) {
  Close();
  // Without O_NONBLOCK, opening a named pipe waits for a writer for good.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  int error = 0;
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (S_ISDIR(info.st_mode)) {
    error = EISDIR;
  } else if (!S_ISREG(info.st_mode)) {
    error = ENODEV;
  } else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    error = errno;
  }
  if (error != 0) {
    ::close(fd);
    errno = error;
    return false;
  }
  fd_ = fd;
  readErrno_ = 0;
  consumedBeforeBuffer_ = 0;
  buffer_.resize(kBufferBytes);
  position_ = end_ = 0;
  return true;
}

bool ByteReader::Refill() {
  if (fd_ < 0 || readErrno_ != 0) return false;
  consumedBeforeBuffer_ += end_;
  position_ = end_ = 0;
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readErrno_ = errno != 0 ? errno : EIO;
    if (got <= 0) return false;
    end_ = static_cast<std::size_t>(got);
    return true;
  }
}

std::size_t ByteReader::Read(char* out, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const std::string_view available = Peek();
    if (available.empty()) break;
    const std::size_t n = std::min(available.size(), size - done);
    std::memcpy(out + done, available.data(), n);
    Consume(n);
    done += n;
  }
  return done;
}

bool ByteReader::Skip(std::size_t count) {
  while (count > 0) {
    const std::string_view available = Peek();
    if (available.empty()) return false;
    const std::size_t n = std::min(available.size(), count);
    Consume(n);
    count -= n;
  }
  return true;
}

bool ByteReader::Close() {
  buffer_ = std::vector<char>();
  position_ = end_ = 0;
  if (fd_ < 0) return true;
  const int result = ::close(fd_);
  fd_ = -1;
  return result == 0;
}

}  // namespace tavril
