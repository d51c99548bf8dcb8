#include "files/mat_file_integrity.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace tavril {
namespace {

constexpr std::uint64_t kMat5HeaderBytes = 128;
constexpr std::uint64_t kMat73HeaderBytes = 512;

class ReadOnlyFile {
 public:
  explicit ReadOnlyFile(const std::filesystem::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    struct stat info {};
    if (fd_ >= 0 && ::fstat(fd_, &info) == 0) size_ = static_cast<std::uint64_t>(info.st_size);
  }
  ~ReadOnlyFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  std::uint64_t size() const { return size_; }
  bool Read(std::uint64_t offset, unsigned char* into, std::size_t count) const {
    return fd_ >= 0 &&
           ::pread(fd_, into, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
  }

 private:
  int fd_;
  std::uint64_t size_ = 0;
};

std::uint64_t Little(const unsigned char* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

}  // namespace

std::optional<std::vector<std::uint64_t>> Mat5ElementSizes(const std::filesystem::path& path) {
  const ReadOnlyFile file(path);
  unsigned char header[kMat5HeaderBytes];
  if (!file.Read(0, header, kMat5HeaderBytes)) return std::nullopt;
  // The endian indicator "MI" reads "IM" in a little-endian file.
  const bool little = header[126] == 'I' && header[127] == 'M';
  if (!little && !(header[126] == 'M' && header[127] == 'I')) return std::nullopt;
  const auto word = [little](const unsigned char* at) {
    const unsigned char bytes[4] = {at[little ? 0 : 3], at[little ? 1 : 2], at[little ? 2 : 1],
                                    at[little ? 3 : 0]};
    return Little(bytes, 4);
  };
  std::vector<std::uint64_t> sizes;
  std::uint64_t at = kMat5HeaderBytes;
  while (at < file.size()) {
    unsigned char tag[8];
    if (!file.Read(at, tag, 8)) return std::nullopt;
    // A small element packs its size into the type's upper half.
    const std::uint64_t bytes = (word(tag) >> 16) != 0 ? 0 : word(tag + 4);
    sizes.push_back(bytes);
    at += 8 + bytes;
  }
  if (at != file.size()) return std::nullopt;
  return sizes;
}

bool Mat73ReachesItsEnd(const std::filesystem::path& path) {
  const ReadOnlyFile file(path);
  unsigned char block[64];
  if (!file.Read(kMat73HeaderBytes, block, sizeof block) ||
      std::memcmp(block, "\x89HDF\r\n\x1a\n", 8) != 0) {
    return false;
  }
  // Superblock versions 0 and 1 give the sizes of addresses at byte 13 and
  // the end of file after three addresses from byte 24 (28 in version 1);
  // versions 2 and 3 at byte 9, and after two addresses from byte 12.
  const int version = block[8];
  const int addressBytes = version < 2 ? block[13] : block[9];
  if (version > 3 || (addressBytes != 4 && addressBytes != 8)) return false;
  const int endAt = (version == 0 ? 24 : version == 1 ? 28 : 12) + 2 * addressBytes;
  return Little(block + endAt, addressBytes) <= file.size();
}

}  // namespace tavril
