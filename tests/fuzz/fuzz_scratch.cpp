#include "fuzz_scratch.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

namespace tavril::fuzz {
namespace {

std::filesystem::path MakeScratchFolder() {
  std::error_code error;
  std::filesystem::path base = "/dev/shm";
  if (!std::filesystem::is_directory(base, error)) base = std::filesystem::temp_directory_path();
  std::string pattern = (base / "tavril-fuzz-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  return pattern;
}

struct Scratch {
  std::filesystem::path folder = MakeScratchFolder();
  ~Scratch() {
    std::error_code error;
    std::filesystem::remove_all(folder, error);
  }
};

}  // namespace

const std::filesystem::path& ScratchFolder() {
  static const Scratch scratch;
  return scratch.folder;
}

void WriteWhole(const std::filesystem::path& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) std::abort();
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written <= 0) std::abort();
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  ::close(fd);
}

namespace {

std::uint64_t Little64(std::string_view bytes, std::size_t at) {
  std::uint64_t value = 0;
  for (std::size_t k = 0; k < 8; ++k) {
    value |= std::uint64_t{static_cast<unsigned char>(bytes[at + k])} << (8 * k);
  }
  return value;
}

// A local heap ("HEAP", version 0, lengths of 8 bytes) whose free list comes
// back to a block it has been through: libhdf5's decoder of the list then
// allocates a node per step for ever.
bool HasLocalHeapFreeListLoop(std::string_view bytes) {
  constexpr std::uint64_t kFreeNull = 1;
  constexpr std::uint64_t kMostBlocks = 1024;
  for (std::size_t at = bytes.find("HEAP"); at != std::string_view::npos;
       at = bytes.find("HEAP", at + 1)) {
    if (at + 32 > bytes.size() || bytes[at + 4] != 0) continue;
    const std::uint64_t dataSize = Little64(bytes, at + 8);
    const std::uint64_t data = Little64(bytes, at + 24);
    std::uint64_t block = Little64(bytes, at + 16);
    for (std::uint64_t steps = 0; block != kFreeNull && block < dataSize; ++steps) {
      // More blocks than a heap of these inputs holds: a loop, or as good as one.
      if (steps > kMostBlocks) return true;
      if (data > bytes.size() || block + 16 > bytes.size() - data) break;
      block = Little64(bytes, data + block);
      if (block == 0) break;
    }
  }
  return false;
}

std::size_t Little16(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]) |
         static_cast<std::size_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

// An attribute message (type 12, in a version 1 object header: type, size,
// flags and 3 reserved bytes) of version 1 whose name, datatype and
// dataspace, each padded to 8 bytes, say they need more than the message
// holds: libhdf5 decodes them from wherever that leads, past the message and
// at times far enough to fault.
bool HasAttributeLargerThanItsMessage(std::string_view bytes) {
  const auto padded = [](std::size_t size) { return (size + 7) / 8 * 8; };
  for (std::size_t at = 0; at + 16 <= bytes.size(); ++at) {
    if (bytes[at] != 12 || bytes[at + 1] != 0 || bytes[at + 8] != 1 || bytes[at + 9] != 0) {
      continue;
    }
    const std::size_t size = Little16(bytes, at + 2);
    const std::size_t needed = 8 + padded(Little16(bytes, at + 10)) +
                               padded(Little16(bytes, at + 12)) + padded(Little16(bytes, at + 14));
    if (needed > size) return true;
  }
  return false;
}

}  // namespace

// A global heap ("GCOL", whose decoder loops or crashes), a local heap whose
// free list loops, an attribute larger than its message, or a chunked data
// layout message (after the message header of type 8) of versions 3 and 4
// without dimensions or with a dimension of 0, or of versions 1 and 2 (a
// division by zero).
bool MayReachALibraryFault(std::string_view bytes) {
  if (bytes.find("GCOL") != std::string_view::npos) return true;
  if (HasLocalHeapFreeListLoop(bytes) || HasAttributeLargerThanItsMessage(bytes)) return true;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
  const auto zeroFrom = [&](std::size_t at, std::size_t width) {
    bool zero = true;
    for (std::size_t k = 0; k < width; ++k) zero = zero && byte(at + k) == 0;
    return zero;
  };
  for (std::size_t at = 8; at + 4 <= bytes.size(); ++at) {
    if (byte(at - 8) != 8 || byte(at - 7) != 0) continue;
    const unsigned version = byte(at);
    // Versions 1 and 2 (dimensionality, then the class) are written by no
    // library of these years: a chunked one is a mutation, and its
    // dimensions divide as the later versions' do.
    if ((version == 1 || version == 2) && byte(at + 2) == 2) return true;
    if (byte(at + 1) != 2) continue;
    if (version == 3) {
      const std::size_t dims = byte(at + 2);
      if (dims == 0) return true;
      for (std::size_t d = 0; d < dims && at + 15 + 4 * d <= bytes.size(); ++d) {
        if (zeroFrom(at + 11 + 4 * d, 4)) return true;
      }
    } else if (version == 4) {
      const std::size_t dims = byte(at + 3);
      const std::size_t width = at + 4 < bytes.size() ? byte(at + 4) : 0;
      if (dims == 0 || width == 0) return true;
      for (std::size_t d = 0; d < dims && at + 5 + width * (d + 1) <= bytes.size(); ++d) {
        if (zeroFrom(at + 5 + width * d, width)) return true;
      }
    }
  }
  return false;
}

}  // namespace tavril::fuzz
