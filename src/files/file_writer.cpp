#include "files/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace tavril {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Makes the rename itself durable.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

AtomicFileWriter::~AtomicFileWriter() {
  Discard();
}

bool AtomicFileWriter::Open(const std::filesystem::path& target) {
  Discard();
  struct stat targetInfo {};
  const bool targetExists = ::stat(target.c_str(), &targetInfo) == 0;
  if (targetExists && !S_ISREG(targetInfo.st_mode)) return false;
  // An existing file the user may not write is not ours to replace.
  if (targetExists && ::access(target.c_str(), W_OK) != 0) return false;

  const std::filesystem::path folder = target.parent_path();
  // Short enough for any file name: a temporary name must fit the folder's limit too.
  const std::string stem =
      "." + target.filename().string().substr(0, 200) + ".tmp-" + std::to_string(::getpid());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::filesystem::path candidate = folder / (stem + "-" + std::to_string(attempt));
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      if (targetExists) ::fchmod(fd, targetInfo.st_mode & 07777);
      fd_ = fd;
      failed_ = false;
      target_ = target;
      temporary_ = std::move(candidate);
      buffer_.resize(kBufferBytes);
      used_ = 0;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

char* AtomicFileWriter::Reserve(std::size_t maxBytes) {
  if (buffer_.size() - used_ < maxBytes) {
    Flush();
    if (buffer_.size() < maxBytes) buffer_.resize(maxBytes);
  }
  return buffer_.data() + used_;
}

void AtomicFileWriter::Append(std::string_view text) {
  char* out = Reserve(text.size());
  std::memcpy(out, text.data(), text.size());
  Advance(out + text.size());
}

bool AtomicFileWriter::Flush() {
  if (fd_ < 0) return false;
  if (!failed_ && used_ > 0 && !WriteAll(fd_, buffer_.data(), used_)) failed_ = true;
  used_ = 0;
  return !failed_;
}

bool AtomicFileWriter::Commit() {
  if (fd_ < 0) return false;
  bool ok = Flush() && ::fsync(fd_) == 0;
  ok = (::close(fd_) == 0) && ok;
  fd_ = -1;
  if (ok) ok = ::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary_.c_str());
  } else {
    SyncFolder(target_.parent_path());
  }
  temporary_.clear();
  buffer_ = {};
  used_ = 0;
  return ok;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  buffer_ = {};
  used_ = 0;
}

}  // namespace tavril
