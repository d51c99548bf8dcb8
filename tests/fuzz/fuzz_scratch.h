#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

namespace tavril::fuzz {

// A folder of this process for the files a fuzz input becomes; in memory
// (/dev/shm) when the machine has it, so that each run costs no disk I/O.
// Removed when the process ends normally.
const std::filesystem::path& ScratchFolder();

// Replaces `path` with exactly `bytes`; aborts when it cannot, since every
// later result would be meaningless.
void WriteWhole(const std::filesystem::path& path, std::string_view bytes);

// Whether the bytes of an HDF5 file may reach a fault that libhdf5 survives
// in no build (libhdf5_faults/FAULTS.md), so that an in-process fuzzer leaves
// them to the check in the helper program.
bool MayReachALibraryFault(std::string_view bytes);

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace tavril::fuzz
