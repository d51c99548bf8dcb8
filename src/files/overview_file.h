#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

// The overview of a file of channels that holds none (a recording of the
// previous version, a file of channels, one written by another program),
// built once and kept in a file of its own beside it, NAME.overview: the
// user's file is never changed. Format "TAVRIL overview", version 1: the
// group /overview of files/recording_layout.h, each channel's group with an
// attribute count (uint64, the samples it was built over), and on / the
// attributes source_size (uint64) and source_modified_ns (int64) of the file
// it describes. A reader uses it only while they still match.
namespace tavril {

inline constexpr const char* kOverviewFileSuffix = ".overview";

std::filesystem::path OverviewFilePath(const std::filesystem::path& channels);
// When a file was last modified, as the side file records it.
std::int64_t ModifiedNanoseconds(const struct stat& info);

enum class OverviewBuild { kBuilt, kNotNeeded, kCancelled, kFailed };

// Builds the overview of `channels` into its side file, reading each
// channel once in bounded memory; `progress(done, total)` is told the
// samples read so far and may return false to cancel, which leaves no file
// behind. kNotNeeded when the file holds its own overview or a matching side
// file exists. kFailed, with `why` in French, when it could not.
OverviewBuild BuildOverviewFile(const std::filesystem::path& channels,
                                const std::function<bool(std::uint64_t, std::uint64_t)>& progress,
                                std::string* why);

}  // namespace tavril
