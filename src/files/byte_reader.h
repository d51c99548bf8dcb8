#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tavril {

// Sequential reads from a file through one fixed buffer, so a reader never
// holds more of a file than the buffer, whatever the file's size.
class ByteReader {
 public:
  ByteReader() = default;
  ~ByteReader();
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // False when the file cannot be opened for reading or is not a regular
  // file; errno then says why (EISDIR for a folder, ENODEV for a pipe, device
  // or socket). Opening never waits on a pipe that has no writer.
  bool Open(const std::filesystem::path& path);

  // The next byte (0..255), or -1 at the end of the file or after a read error.
  int Get() {
    if (position_ == end_ && !Refill()) return -1;
    return static_cast<unsigned char>(buffer_[position_++]);
  }

  // Reads up to `size` bytes into `out`; returns how many were read.
  std::size_t Read(char* out, std::size_t size);

  // Skips up to `count` bytes; false when the file ended first.
  bool Skip(std::size_t count);

  // The unread part of the buffer, refilled when empty; empty at the end of the
  // file. Consume() marks bytes of it as read.
  std::string_view Peek() {
    if (position_ == end_) Refill();
    return {buffer_.data() + position_, end_ - position_};
  }
  void Consume(std::size_t count) { position_ += count; }

  // Offset in the file of the next byte to read.
  std::uint64_t Position() const { return consumedBeforeBuffer_ + position_; }

  // errno of the failed read, 0 when none failed.
  int ReadErrorNumber() const { return readErrno_; }

  bool HadReadError() const { return readErrno_ != 0; }

  // Closes the file; false when closing failed.
  bool Close();

 private:
  bool Refill();

  int fd_ = -1;
  int readErrno_ = 0;
  std::vector<char> buffer_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::size_t consumedBeforeBuffer_ = 0;
};

}  // namespace tavril
