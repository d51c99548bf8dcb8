#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>

namespace tavril {

// The file a write to some path lands in: the end of the path's chain of
// symbolic links, as the system would follow it when opening the path.
struct WriteTarget {
  std::filesystem::path path;  // names no symbolic link
  bool exists = false;
  struct stat info {};  // when it exists
};

// Follows the links of `path` one by one (a relative link is read from the
// link's folder). A dangling link gives the file it names, not existing yet.
// Empty when a link cannot be read, the chain is longer than 40 links (the
// system's own limit) or the path is otherwise unusable; errno says why.
std::optional<WriteTarget> ResolveWriteTarget(const std::filesystem::path& path);

}  // namespace tavril
