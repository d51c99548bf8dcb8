#include "files/disk_space.h"

#include <sys/statvfs.h>

#include <cerrno>

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

}  // namespace tavril
