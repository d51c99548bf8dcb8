#include "files/write_target.h"

#include <cerrno>
#include <system_error>

namespace tavril {

std::optional<WriteTarget> ResolveWriteTarget(const std::filesystem::path& path) {
  constexpr int kMaxLinks = 40;
  WriteTarget target{path};
  for (int links = 0; links <= kMaxLinks; ++links) {
    if (::lstat(target.path.c_str(), &target.info) != 0) {
      if (errno != ENOENT) return std::nullopt;
      target.info = {};
      return target;
    }
    if (!S_ISLNK(target.info.st_mode)) {
      target.exists = true;
      return target;
    }
    std::error_code error;
    const std::filesystem::path next = std::filesystem::read_symlink(target.path, error);
    if (error) {
      errno = error.value();
      return std::nullopt;
    }
    // No lexical clean-up of "..": the system takes it after any linked folder.
    target.path = next.is_absolute() ? next : target.path.parent_path() / next;
  }
  errno = ELOOP;
  return std::nullopt;
}

}  // namespace tavril
