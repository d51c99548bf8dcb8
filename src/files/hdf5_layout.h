#pragma once

#include <hdf5.h>

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "files/channel_set.h"
#include "files/hdf5_handles.h"

// The parts of the HDF5 layout (files/hdf5_file.h) that the files of
// channels and the session files share. Every function here expects an
// Hdf5Use to be held, and says why it failed in French in `why`.
namespace tavril::hdf5_layout {

inline constexpr int kFormatVersion = 1;
inline constexpr const char* kChannelsFormat = "TAVRIL channels";
inline constexpr const char* kSessionFormat = "TAVRIL session";
// Recordings have their own layout and version (files/recording_layout.h).
inline constexpr const char* kRecordingFormat = "TAVRIL recording";
inline constexpr int kRecordingVersion = 2;
// The overview of a file of channels that holds none (files/overview_file.h).
inline constexpr const char* kOverviewFormat = "TAVRIL overview";

// 1 MiB chunks: large enough that a whole record goes to the disk at the
// disk's speed, small enough that a few samples appended cost little.
inline constexpr hsize_t kChunkValues = hsize_t{1} << 17;

// The attributes creator, format = `format` and format_version of `file`.
bool WriteFileAttributes(hid_t file, const char* format, std::string& why,
                         int version = kFormatVersion);

// Creates `path` whole or not at all (AtomicFileWriter): an HDF5 file with the
// attributes creator, format = `format` and format_version, on which `body`
// then writes; the file replaces `path` only once closed and synced. `body`
// calls `written` after each large part it writes, which puts what was
// written on disk and out of the page cache (AtomicFileWriter).
using WriteBody =
    std::function<bool(hid_t file, const std::function<void()>& written, std::string& why)>;
bool WriteFile(const std::filesystem::path& path, const char* format, const WriteBody& body,
               std::string& why);

// Opens `path` to read, once it is known to be a readable HDF5 file whose
// format attribute is `format` and whose format_version this program reads.
bool OpenFile(const std::filesystem::path& path, const char* format, Hdf5File& file,
              std::string& why);
// Opens `path` to read, once it is known to be a readable HDF5 file of one of
// the program's formats, in a version this program reads; `format` says which.
bool OpenAnyFile(const std::filesystem::path& path, Hdf5File& file, std::string& format,
                 std::string& why);

// The group /channels, one dataset per record (its layout is in hdf5_file.h).
// `written` is called after each record.
bool WriteChannels(hid_t file, std::span<const SlotView> records,
                   const std::function<void()>& written, std::string& why);

// How ReadChannels reads.
struct ReadOptions {
  // A record without samples takes its statistics from the dataset's
  // attributes (they are required then), instead of zeros.
  bool storedStatistics = false;
  // Everything but the samples is read, and where each sample lies is
  // checked (a filtered dataset's samples are read, a block at a time through
  // one small buffer); the records get no samples.
  bool checkOnly = false;
  // Memory to read each slot's samples into when it can hold them (a
  // session's spare memory), instead of fresh pages.
  ChannelSamples* reuse = nullptr;
};

// Reads /channels into `records`, in slot order. Statistics are recomputed
// from the samples.
bool ReadChannels(hid_t file, const ReadOptions& options, ChannelSet& records, std::string& why);

}  // namespace tavril::hdf5_layout
