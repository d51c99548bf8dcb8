#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

// Whether a MATLAB file is whole: matio reads a variable cut short by a
// truncated file, and writes past a failed write, without a word.
namespace tavril {

// The byte counts of the top-level data elements of the MATLAB version 5
// file at `path` (one per variable), in file order; empty unless they follow
// each other from the end of the 128-byte header to the end of the file.
std::optional<std::vector<std::uint64_t>> Mat5ElementSizes(const std::filesystem::path& path);

// False when the MATLAB version 7.3 file at `path` is shorter than the end of
// file its HDF5 superblock records, or has no superblock after its 512-byte
// header.
bool Mat73ReachesItsEnd(const std::filesystem::path& path);

}  // namespace tavril
