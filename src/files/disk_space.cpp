#include "files/disk_space.h"

#include <sys/statvfs.h>

#include <cerrno>

#include "files/number_text.h"

namespace tavril {

std::optional<std::uint64_t> FreeDiskBytes(const std::filesystem::path& path) {
  struct statvfs disk {};
  if (::statvfs(path.c_str(), &disk) == 0) {
    // f_bavail leaves out the blocks kept for the superuser.
    return static_cast<std::uint64_t>(disk.f_bavail) * disk.f_frsize;
  }
  if (errno == ENOENT && path.has_parent_path() && path.parent_path() != path) {
    return FreeDiskBytes(path.parent_path());
  }
  return std::nullopt;
}

std::string SizeText(std::uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (value < 1e3) return std::to_string(bytes) + " octets";
  if (value < 1e6) return FormatFixed(value / 1e3, 1) + " Ko";
  if (value < 1e9) return FormatFixed(value / 1e6, 1) + " Mo";
  return FormatFixed(value / 1e9, 1) + " Go";
}

}  // namespace tavril
