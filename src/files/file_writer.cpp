#include "files/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "files/write_target.h"

namespace tavril {
namespace {

constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

// Written pages are put on disk and let go of this much at a time.
constexpr off_t kReleaseStretch = off_t{32} << 20;
constexpr off_t kPageBytes = 4096;

// The fault-injection seam of the tests; it stays inert in the program.
struct InjectedFailure {
  bool armed = false;
  int stepsSeen = 0;
  int failAt = 0;
  bool andAfter = false;
};

thread_local InjectedFailure injected;
thread_local bool noNewFiles = false;

// Counts one disk step; true when the seam makes it fail.
bool StepFails(int error) {
  if (!injected.armed) return false;
  const int step = ++injected.stepsSeen;
  if (step != injected.failAt && !(injected.andAfter && step > injected.failAt)) return false;
  errno = error;
  return true;
}

// Read-write: a target with hard links is later copied from it.
int CreateFile(const char* path) {
  if (StepFails(ENOSPC)) return -1;
  if (noNewFiles) {
    errno = EACCES;
    return -1;
  }
  return ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

// Without O_TRUNC: opening alone leaves the content as it is.
int OpenExisting(const char* path) {
  if (StepFails(EACCES)) return -1;
  return ::open(path, O_WRONLY | O_CLOEXEC);
}

// Keeps the target's size, so that a refusal leaves it exactly as it was. A
// file system that cannot reserve room is written without a reservation.
int ReserveRoom(int fd, off_t size) {
  if (StepFails(ENOSPC)) return -1;
  if (size == 0 || ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) == 0) return 0;
  return errno == EOPNOTSUPP ? 0 : -1;
}

int TruncateFile(int fd, off_t size) {
  if (StepFails(EIO)) return -1;
  return ::ftruncate(fd, size);
}

ssize_t WriteSome(int fd, const char* data, std::size_t size) {
  if (StepFails(ENOSPC)) {
    if (size > 1 && ::write(fd, data, size / 2) < 0) return -1;
    errno = ENOSPC;
    return -1;
  }
  return ::write(fd, data, size);
}

int SyncFile(int fd) {
  if (StepFails(EIO)) return -1;
  return ::fsync(fd);
}

int CloseFile(int fd) {
  if (StepFails(EIO)) {
    ::close(fd);  // the descriptor is gone whatever close(2) reports
    errno = EIO;
    return -1;
  }
  return ::close(fd);
}

int RenameFile(const char* from, const char* to) {
  if (StepFails(ENOSPC)) return -1;
  return ::rename(from, to);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = WriteSome(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// Copies the first `size` bytes of `from`, already on disk, over the file
// `to` names, which keeps its inode and so all its names. Once the room is
// reserved the copy begins and the target's old content is lost: a failure
// from there on leaves it damaged (and is reported).
bool CopyOver(int from, off_t size, const std::filesystem::path& to, std::vector<char>& buffer) {
  const int fd = OpenExisting(to.c_str());
  if (fd < 0) return false;
  bool ok = ReserveRoom(fd, size) == 0;
  for (off_t at = 0; ok && at < size;) {
    const auto chunk =
        static_cast<std::size_t>(std::min<off_t>(size - at, static_cast<off_t>(buffer.size())));
    const ssize_t got = ::pread(from, buffer.data(), chunk, at);
    if (got < 0 && errno == EINTR) continue;
    ok = got > 0 && WriteAll(fd, buffer.data(), static_cast<std::size_t>(got));
    at += got;
  }
  ok = ok && TruncateFile(fd, size) == 0 && SyncFile(fd) == 0;
  return CloseFile(fd) == 0 && ok;
}

// Starts writing the bytes [from, to) of the file to disk, or with `drop`
// waits until they are there and drops them from the page cache; 0, or the
// error the disk reported. A file system that cannot do it keeps its pages,
// which costs memory but loses nothing.
int ReleasePages(int fd, off_t from, off_t to, bool drop) {
  const unsigned flags =
      drop ? SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER
           : SYNC_FILE_RANGE_WRITE;
  if (from == to) return 0;
  if (::sync_file_range(fd, from, to - from, flags) != 0)
    return errno == EINVAL || errno == ENOSYS || errno == ESPIPE ? 0 : errno;
  if (drop) ::posix_fadvise(fd, from, to - from, POSIX_FADV_DONTNEED);
  return 0;
}

bool NoNewFileAllowed(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

// Makes the rename, or the removal of the temporary, durable.
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

bool AtomicFileWriter::Adopt(int fd, Method method, std::filesystem::path target,
                             std::filesystem::path temporary) {
  fd_ = fd;
  method_ = method;
  failed_ = false;
  written_ = 0;
  released_ = 0;
  started_ = 0;
  target_ = std::move(target);
  temporary_ = std::move(temporary);
  buffer_.resize(kBufferBytes);
  used_ = 0;
  return true;
}

// Without a fixed name the temporary's name is unique to this process.
bool AtomicFileWriter::Start(const std::filesystem::path& path,
                             const std::filesystem::path& fixedTemporaryName) {
  Discard();
  error_ = 0;
  const std::optional<WriteTarget> target = ResolveWriteTarget(path);
  if (!target) return Failed(errno);
  const struct stat& info = target->info;
  // An existing file the user may not write is not ours to replace.
  if (target->exists && !S_ISREG(info.st_mode))
    return Failed(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
  if (target->exists && ::access(target->path.c_str(), W_OK) != 0) return Failed(errno);
  const std::filesystem::path folder = target->path.parent_path();
  const Method method = info.st_nlink > 1 ? Method::kCopyOver : Method::kRename;
  int fd = -1;
  std::filesystem::path temporary;
  if (!fixedTemporaryName.empty()) {
    temporary = folder / fixedTemporaryName;
    // Removing a stale file first, then creating exclusively, also keeps a
    // link planted under that name from redirecting the write.
    if (::unlink(temporary.c_str()) == 0 || errno == ENOENT) fd = CreateFile(temporary.c_str());
  } else {
    // Short enough for any file name: a temporary name must fit the folder's limit too.
    const std::string stem = "." + target->path.filename().string().substr(0, 200) + ".tmp-" +
                             std::to_string(::getpid());
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temporary = folder / (stem + "-" + std::to_string(attempt));
      fd = CreateFile(temporary.c_str());
      if (fd < 0 && errno != EEXIST) break;
    }
  }
  if (fd >= 0) {
    if (target->exists) ::fchmod(fd, info.st_mode & 07777);
    return Adopt(fd, method, target->path, std::move(temporary));
  }
  // A file the user may write, in a folder that takes no new file: written in place.
  if (!target->exists || !NoNewFileAllowed(errno)) return Failed(errno);
  fd = OpenExisting(target->path.c_str());
  if (fd < 0) return Failed(errno);
  return Adopt(fd, Method::kInPlace, target->path, {});
}

bool AtomicFileWriter::Failed(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  return false;
}

bool AtomicFileWriter::Open(const std::filesystem::path& target) {
  return Start(target, {});
}

bool AtomicFileWriter::OpenWithTemporary(const std::filesystem::path& target,
                                         const std::filesystem::path& temporaryName) {
  if (temporaryName.empty() || temporaryName.has_parent_path()) return Failed(EINVAL);
  return Start(target, temporaryName);
}

char* AtomicFileWriter::Reserve(std::size_t maxBytes) {
  if (buffer_.size() - used_ < maxBytes) {
    Flush();
    if (buffer_.size() < maxBytes) buffer_.resize(maxBytes);
  }
  return buffer_.data() + used_;
}

void AtomicFileWriter::Append(std::string_view text) {
  if (text.size() >= kBufferBytes) {
    // Written from where it is rather than copied through the buffer.
    if (Flush()) WriteOut(text.data(), text.size());
    return;
  }
  char* out = Reserve(text.size());
  std::memcpy(out, text.data(), text.size());
  Advance(out + text.size());
}

bool AtomicFileWriter::Flush() {
  if (fd_ < 0) return false;
  if (!failed_ && used_ > 0) WriteOut(buffer_.data(), used_);
  used_ = 0;
  return !failed_;
}

void AtomicFileWriter::WriteOut(const char* data, std::size_t size) {
  // A buffer at a time, so that the pages let go of are taken again at once.
  while (size > 0 && !failed_) {
    const std::size_t piece = std::min(size, kBufferBytes);
    if (!WriteAll(fd_, data, piece)) {
      failed_ = true;
      Failed(errno);
      return;
    }
    written_ += static_cast<off_t>(piece);
    ReleaseUpTo(fd_, written_);
    data += piece;
    size -= piece;
  }
}

bool AtomicFileWriter::ReleaseUpTo(int fd, off_t end, bool all) {
  end -= end % kPageBytes;
  if (failed_ || end - started_ < kReleaseStretch) return !failed_;
  // The disk writes the newest stretch while the one before, started last
  // time and so mostly written by now, is waited for and dropped; with `all`,
  // everything is.
  int error = ReleasePages(fd, started_, end, all);
  if (error == 0) error = ReleasePages(fd, released_, started_, true);
  if (all) started_ = end;
  if (error != 0) {
    // The error is now seen: a later fsync would not report it again.
    failed_ = true;
    return Failed(error);
  }
  released_ = started_;
  started_ = end;
  return true;
}

bool AtomicFileWriter::ReleaseHandedOverPages(bool all) {
  if (!handedOver_) return !failed_;
  if (watchFd_ < 0) {
    const std::filesystem::path& written = method_ == Method::kInPlace ? target_ : temporary_;
    watchFd_ = ::open(written.c_str(), O_RDONLY | O_CLOEXEC);
  }
  struct stat info {};
  if (watchFd_ < 0 || ::fstat(watchFd_, &info) != 0) return !failed_;
  return ReleaseUpTo(watchFd_, info.st_size, all);
}

void AtomicFileWriter::StopWatching() {
  if (watchFd_ >= 0) ::close(watchFd_);
  watchFd_ = -1;
}

std::filesystem::path AtomicFileWriter::HandOverPath() {
  if (fd_ < 0) return {};
  Flush();
  ::close(fd_);
  fd_ = -1;
  handedOver_ = true;
  return method_ == Method::kInPlace ? target_ : temporary_;
}

bool AtomicFileWriter::Commit() {
  if (handedOver_) {
    // Takes back what the library wrote, to sync it and put it in place.
    handedOver_ = false;
    StopWatching();
    const std::filesystem::path& written = method_ == Method::kInPlace ? target_ : temporary_;
    fd_ = ::open(written.c_str(), O_RDWR | O_CLOEXEC);
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0) {
      Failed(errno);
      Discard();
      return false;
    }
    written_ = info.st_size;
  }
  if (fd_ < 0) return false;
  // Notes the error of the first step that fails.
  const auto step = [this](bool done) { return done || Failed(errno); };
  bool ok = Flush();
  switch (method_) {
    case Method::kRename:
      ok = ok && step(SyncFile(fd_) == 0);
      ok = step(CloseFile(fd_) == 0) && ok;
      ok = ok && step(RenameFile(temporary_.c_str(), target_.c_str()) == 0);
      break;
    case Method::kCopyOver:
      // The whole content is on disk before the target is touched.
      ok = ok && step(SyncFile(fd_) == 0) && step(CopyOver(fd_, written_, target_, buffer_));
      ::close(fd_);
      break;
    case Method::kInPlace:
      ok = ok && step(TruncateFile(fd_, written_) == 0) && step(SyncFile(fd_) == 0);
      ok = step(CloseFile(fd_) == 0) && ok;
      break;
  }
  fd_ = -1;
  if (!temporary_.empty() && (!ok || method_ == Method::kCopyOver)) ::unlink(temporary_.c_str());
  if (ok && !temporary_.empty()) SyncFolder(target_.parent_path());
  temporary_.clear();
  buffer_ = std::vector<char>();
  used_ = 0;
  return ok;
}

ScopedWriteFailure::ScopedWriteFailure(int nth, bool andAfter) {
  injected = {true, 0, nth, andAfter};
}

ScopedWriteFailure::~ScopedWriteFailure() {
  injected = {};
}

int ScopedWriteFailure::steps() const {
  return injected.stepsSeen;
}

ScopedNoNewFiles::ScopedNoNewFiles() {
  noNewFiles = true;
}

ScopedNoNewFiles::~ScopedNoNewFiles() {
  noNewFiles = false;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  handedOver_ = false;
  StopWatching();
  if (!temporary_.empty()) {
    ::unlink(temporary_.c_str());
    temporary_.clear();
  }
  buffer_ = std::vector<char>();
  used_ = 0;
}

}  // namespace tavril
