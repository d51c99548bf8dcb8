#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tavril {

// The bytes free for the user on the disk holding `path` (a file, a folder,
// or a file still to be created in an existing folder); nothing when the
// system cannot say.
std::optional<std::uint64_t> FreeDiskBytes(const std::filesystem::path& path);

// A size as the windows and tavril-cli show it, in decimal units with one
// decimal: "512 octets", "12.3 Ko", "4.5 Mo", "70.1 Go".
std::string SizeText(std::uint64_t bytes);

}  // namespace tavril
