#pragma once

#include <cstddef>
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

  // False when the file cannot be opened for reading or is not a regular file.
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

  // Bytes of the file not yet read, by the size it had when it was opened.
  std::size_t RemainingBytes() const;

  bool HadReadError() const { return readError_; }

  // Closes the file; false when closing failed.
  bool Close();

 private:
  bool Refill();

  int fd_ = -1;
  bool readError_ = false;
  std::vector<char> buffer_;
  std::size_t position_ = 0;
  std::size_t end_ = 0;
  std::size_t fileSize_ = 0;
  std::size_t consumedBeforeBuffer_ = 0;
};

}  // namespace tavril
