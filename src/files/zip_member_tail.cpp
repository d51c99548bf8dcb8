#include "files/zip_member_tail.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tavril {
namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kZip64EndLocator = 0x07064b50;
constexpr std::uint32_t kZip64EndOfDirectory = 0x06064b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kMask32 = 0xFFFFFFFF;
constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
// A directory larger than this is not one an archive of a few sheets has.
constexpr std::uint64_t kMaxDirectoryBytes = std::uint64_t{64} << 20;

std::uint64_t Little(const unsigned char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

class File {
 public:
  explicit File(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::uint64_t size() const { return size_; }
  // Exactly `count` bytes at `offset`, all within the file.
  bool Read(std::uint64_t offset, void* into, std::size_t count) const {
    if (fd_ < 0 || offset > size_ || count > size_ - offset) return false;
    auto* out = static_cast<char*>(into);
    while (count > 0) {
      const ssize_t got = ::pread(fd_, out, count, static_cast<off_t>(offset));
      if (got <= 0) return false;
      out += got;
      offset += static_cast<std::uint64_t>(got);
      count -= static_cast<std::size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

struct Directory {
  std::uint64_t offset = 0;
  std::uint64_t bytes = 0;
};

// The end-of-directory record is the last thing in the archive, followed by
// a comment of at most 65535 bytes.
std::optional<Directory> FindDirectory(const File& file) {
  const std::uint64_t window = std::min<std::uint64_t>(file.size(), 22 + 65535);
  std::vector<unsigned char> tail(window);
  if (window < 22 || !file.Read(file.size() - window, tail.data(), window)) return std::nullopt;
  for (std::size_t at = window - 22 + 1; at-- > 0;) {
    const unsigned char* end = tail.data() + at;
    if (Little(end, 4) != kEndOfDirectory || at + 22 + Little(end + 20, 2) != window) continue;
    Directory directory{Little(end + 16, 4), Little(end + 12, 4)};
    if (directory.offset != kMask32 && directory.bytes != kMask32) return directory;
    // ZIP64: a locator just before the record gives the 64-bit record.
    const std::uint64_t endAt = file.size() - window + at;
    unsigned char locator[20];
    unsigned char record[56];
    if (endAt < 20 || !file.Read(endAt - 20, locator, 20) ||
        Little(locator, 4) != kZip64EndLocator || !file.Read(Little(locator + 8, 8), record, 56) ||
        Little(record, 4) != kZip64EndOfDirectory) {
      return std::nullopt;
    }
    return Directory{Little(record + 48, 8), Little(record + 40, 8)};
  }
  return std::nullopt;
}

struct Member {
  int method = 0;
  std::uint32_t crc = 0;
  std::uint64_t packedBytes = 0;
  std::uint64_t bytes = 0;
  std::uint64_t headerOffset = 0;
};

// Sizes and offset that do not fit 32 bits are in the ZIP64 extra field, in
// this order, each present only when its 32-bit field is all ones.
bool ReadZip64Extra(const unsigned char* extra, std::size_t size, Member& member) {
  for (std::size_t at = 0; at + 4 <= size;) {
    const std::uint64_t id = Little(extra + at, 2);
    const std::size_t length = Little(extra + at + 2, 2);
    if (at + 4 + length > size) return false;
    if (id == 1) {
      std::size_t field = at + 4;
      for (std::uint64_t* value : {&member.bytes, &member.packedBytes, &member.headerOffset}) {
        if (*value != kMask32) continue;
        if (field + 8 > at + 4 + length) return false;
        *value = Little(extra + field, 8);
        field += 8;
      }
      return true;
    }
    at += 4 + length;
  }
  return member.bytes != kMask32 && member.packedBytes != kMask32 && member.headerOffset != kMask32;
}

std::optional<Member> FindMember(const File& file, std::string_view name) {
  const std::optional<Directory> directory = FindDirectory(file);
  if (!directory || directory->bytes > kMaxDirectoryBytes) return std::nullopt;
  std::vector<unsigned char> entries(directory->bytes);
  if (!file.Read(directory->offset, entries.data(), entries.size())) return std::nullopt;
  for (std::size_t at = 0; at + 46 <= entries.size();) {
    const unsigned char* entry = entries.data() + at;
    if (Little(entry, 4) != kDirectoryEntry) return std::nullopt;
    const std::size_t nameBytes = Little(entry + 28, 2);
    const std::size_t extraBytes = Little(entry + 30, 2);
    const std::size_t next = at + 46 + nameBytes + extraBytes + Little(entry + 32, 2);
    if (next > entries.size()) return std::nullopt;
    if (std::string_view(reinterpret_cast<const char*>(entry + 46), nameBytes) == name) {
      Member member{static_cast<int>(Little(entry + 10, 2)),
                    static_cast<std::uint32_t>(Little(entry + 16, 4)), Little(entry + 20, 4),
                    Little(entry + 24, 4), Little(entry + 42, 4)};
      if (!ReadZip64Extra(entry + 46 + nameBytes, extraBytes, member)) return std::nullopt;
      return member;
    }
    at = next;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ZipMemberTail(const std::filesystem::path& path, std::string_view name,
                                         std::size_t tailBytes) {
  const File file(path);
  const std::optional<Member> member = FindMember(file, name);
  unsigned char local[30];
  if (!member || (member->method != Z_DEFLATED && member->method != 0) ||
      !file.Read(member->headerOffset, local, 30) || Little(local, 4) != kLocalHeader) {
    return std::nullopt;
  }
  std::uint64_t at = member->headerOffset + 30 + Little(local + 26, 2) + Little(local + 28, 2);
  const std::uint64_t end = at + member->packedBytes;
  if (end < at || end > file.size()) return std::nullopt;

  z_stream stream{};
  if (member->method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK)
    return std::nullopt;
  std::vector<unsigned char> in(kChunkBytes);
  std::vector<unsigned char> out(kChunkBytes);
  std::string tail;
  std::uint64_t produced = 0;
  uLong crc = crc32(0, nullptr, 0);
  int status = Z_OK;
  const auto take = [&](const unsigned char* data, std::size_t size) {
    crc = crc32(crc, data, static_cast<uInt>(size));
    produced += size;
    tail.append(reinterpret_cast<const char*>(data), size);
    if (tail.size() > tailBytes) tail.erase(0, tail.size() - tailBytes);
  };
  bool ok = true;
  while (ok && at < end && status != Z_STREAM_END) {
    const std::size_t chunk =
        static_cast<std::size_t>(std::min<std::uint64_t>(end - at, kChunkBytes));
    ok = file.Read(at, in.data(), chunk);
    at += chunk;
    if (!ok) break;
    if (member->method == 0) {
      take(in.data(), chunk);
      continue;
    }
    stream.next_in = in.data();
    stream.avail_in = static_cast<uInt>(chunk);
    do {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) ok = false;
      take(out.data(), out.size() - stream.avail_out);
    } while (ok && status != Z_STREAM_END && (stream.avail_in > 0 || stream.avail_out == 0));
    // Bytes left over after the end of the stream are not part of it.
    if (status == Z_STREAM_END && (stream.avail_in > 0 || at != end)) ok = false;
  }
  if (member->method == Z_DEFLATED) {
    ok = ok && status == Z_STREAM_END;
    inflateEnd(&stream);
  }
  if (!ok || produced != member->bytes || crc != member->crc) return std::nullopt;
  return tail;
}

}  // namespace tavril
