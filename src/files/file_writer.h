#pragma once

#include <sys/types.h>
#include <cstddef>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavril {

// Writes a file whole or not at all. The content goes to a temporary file in
// the target's folder; Commit() flushes it to disk and renames it over the
// target, so the target is always either its complete old content or the
// complete new one. A writer destroyed without a successful Commit() removes
// its temporary file and leaves the target untouched.
//
// A target that is a symbolic link stays one: the file at the end of its
// chain is written, with the temporary beside that file so that the rename
// stays within one file system. Two cases are written in place instead:
// - a file with several hard links, which a rename would split from its
//   other names: Commit() first puts the complete content on disk in the
//   temporary and reserves the room in the target, then copies it over the
//   target. A failure or a crash during that copy leaves the target damaged;
//   after a crash the temporary still holds the complete new content.
// - an existing file in a folder where no file may be created: the content
//   goes straight into it. A failure or a crash part-way leaves it damaged.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file beside `target`. False when the folder is
  // missing, when it takes no new file and `target` does not exist, or when
  // `target` is a folder or a file the user may not write. The target itself
  // is not changed yet, not even when it is to be written in place.
  bool Open(const std::filesystem::path& target);

  // As Open(), with the temporary file named `temporaryName` (a bare name)
  // in the folder of the file written: a linked target's folder, not the
  // link's. A file left under that name by an interrupted write is replaced.
  bool OpenWithTemporary(const std::filesystem::path& target,
                         const std::filesystem::path& temporaryName);

  // Room for `maxBytes` more bytes in the output buffer; write into it, then
  // hand the end of what was written to Advance().
  char* Reserve(std::size_t maxBytes);
  void Advance(char* end) { used_ = static_cast<std::size_t>(end - buffer_.data()); }
  void Append(std::string_view text);

  // For a library that writes a file by its name (HDF5, MATLAB, Excel): after
  // Open(), the path the library must create or truncate and write, which is
  // the temporary file (the target itself where it is written in place). The
  // writer lets go of the file meanwhile; Commit() then syncs what the
  // library wrote and puts it in place as for content appended here.
  std::filesystem::path HandOverPath();

  // While a library writes the handed-over file: puts what it wrote so far on
  // disk and frees its pages once a large stretch has come (content appended
  // here is released so on its own). Gigabytes of written pages left in the
  // page cache would take fresh memory, which costs more than the disk, and
  // push out what the program and the system use. The newest stretch is left
  // to the disk while the library goes on, unless `all`: for a library that
  // writes far more than a stretch in one call, whose next call then takes
  // the pages let go of here. False once the disk has reported an error;
  // Commit() then fails too.
  bool ReleaseHandedOverPages(bool all);

  // False on any failed step (write, flush, reservation, copy, rename); the
  // target is then unchanged, except where it is written in place (above).
  bool Commit();

  // Drops everything written so far; the target is untouched unless content
  // already went straight into it.
  void Discard();

  // After Open(), OpenWithTemporary() or Commit() returned false: the error
  // number of the step that failed (EISDIR for a folder in the way).
  int Error() const { return error_; }

 private:
  enum class Method { kRename, kCopyOver, kInPlace };

  bool Flush();
  void WriteOut(const char* data, std::size_t size);
  // Releases the pages of the file up to `end` as above, through `fd`.
  bool ReleaseUpTo(int fd, off_t end, bool all = false);
  void StopWatching();
  bool Start(const std::filesystem::path& target, const std::filesystem::path& fixedTemporaryName);
  bool Adopt(int fd, Method method, std::filesystem::path target, std::filesystem::path temporary);
  // Notes `error` unless a step failed before; always false.
  bool Failed(int error);

  int fd_ = -1;
  bool handedOver_ = false;  // a library writes the file by its path
  Method method_ = Method::kRename;
  bool failed_ = false;
  int error_ = 0;
  off_t written_ = 0;   // bytes handed to write(2)
  off_t released_ = 0;  // bytes on disk and out of the page cache
  off_t started_ = 0;   // bytes whose writing to disk has begun
  int watchFd_ = -1;    // the handed-over file, read-only, to release its pages
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// For tests: while it lives, the `nth` step (1 = the next one) that any
// AtomicFileWriter of this thread takes on the disk fails as it would on a
// full or failing disk, and so does every later one when `andAfter` is set.
// The steps are: creating the temporary file, each write(2), the fsync, the
// close and the rename. For a target with hard links: creating the temporary
// file, each write(2), the fsync, then opening the target, reserving its room,
// each write(2) of the copy, the truncation, the fsync and the close. For a
// target written straight into: creating the temporary file (refused), opening
// the target, each write(2), the truncation, the fsync and the close. A
// failing write first puts half of its bytes down, as a disk that fills up
// part way does. The real file system is used throughout; only the results of
// these calls are changed.
class ScopedWriteFailure {
 public:
  explicit ScopedWriteFailure(int nth, bool andAfter = false);
  ~ScopedWriteFailure();
  ScopedWriteFailure(const ScopedWriteFailure&) = delete;
  ScopedWriteFailure& operator=(const ScopedWriteFailure&) = delete;

  // Steps seen while this object lived.
  int steps() const;
};

// For tests: while it lives, creating a temporary file fails with EACCES on
// this thread, as in a folder where the user may not create files (which
// permission bits cannot show to root, who may create files anywhere).
class ScopedNoNewFiles {
 public:
  ScopedNoNewFiles();
  ~ScopedNoNewFiles();
  ScopedNoNewFiles(const ScopedNoNewFiles&) = delete;
  ScopedNoNewFiles& operator=(const ScopedNoNewFiles&) = delete;
};

}  // namespace tavril
