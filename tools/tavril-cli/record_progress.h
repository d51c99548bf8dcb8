#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tavril::cli {

// A size in bytes as the user reads it, in decimal units: "812.5 Ko",
// "95.4 Mo", "1.2 Go".
std::string SizeText(std::uint64_t bytes);

// How far a recording got, on one line: its length, the samples each channel
// has, the file's size and the disk's free space when known.
std::string ProgressText(double seconds, std::uint64_t samples, std::uint64_t bytes,
                         std::optional<std::uint64_t> freeBytes);

}  // namespace tavril::cli
