#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavril::cli {

// How far a recording got, on one line: its length, the samples each channel
// has, the file's size and the disk's free space when known.
std::string ProgressText(double seconds, std::uint64_t samples, std::uint64_t bytes,
                         std::optional<std::uint64_t> freeBytes);

}  // namespace tavril::cli
