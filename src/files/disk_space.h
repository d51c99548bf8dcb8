#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace tavril {

// The bytes free for the user on the disk holding `path` (a file, a folder,
// or a file still to be created in an existing folder); nothing when the
// system cannot say.
std::optional<std::uint64_t> FreeDiskBytes(const std::filesystem::path& path);

}  // namespace tavril
