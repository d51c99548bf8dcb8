#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "files/channel_set.h"

namespace tavril {

// The formats a file of channels is written in, known by its extension
// whatever its case.
enum class ChannelFormat {
  kChannelFile,   // .tvr: one record
  kMatlabScript,  // .m: one record
  kCsv,           // .csv
  kMat,           // .mat
  kHdf5,          // .h5, .hdf5
  kXlsx,          // .xlsx: written only
  kUnknown,
};

ChannelFormat ChannelFormatOf(const std::filesystem::path& path);

// The format of the file at `path`: by its extension, or for a name that
// does not say, by its first bytes (a data file's title label, a MATLAB or
// HDF5 signature; any other file is taken for CSV).
ChannelFormat ChannelFormatOfFile(const std::filesystem::path& path);

// The extension of `path` with its dot, in lower case ("" for none).
std::string LowerExtension(const std::filesystem::path& path);

// True for the formats that hold several channels.
bool HoldsSeveralChannels(ChannelFormat format);

// The most samples a channel may have in a file of `format`: a data file
// (.tvr) gives its count in 32 bits, as the channels of a CSV, MATLAB or Excel
// file do; HDF5 files and MATLAB scripts have no limit.
std::optional<std::uint64_t> MaxSamplesPerChannel(ChannelFormat format);

// Why a channel of `samples` samples cannot be written in `format`, one
// line of French; empty when it can.
std::string SampleCountRefusal(ChannelFormat format, std::uint64_t samples);

// Reads a file of several channels (.csv, .mat, .h5; a file with another
// extension by its first bytes) into `set`; false with the reason in `why`
// for a damaged file or one of another format (.tvr, .m, .xlsx), `set` then
// left as it was. On success `notices` (when given) receives what the user
// should know of the reading, one line of French each (CSV cells read as NaN).
bool ReadChannelsFile(const std::filesystem::path& path, ChannelSet& set, std::string* why,
                      std::vector<std::string>* notices = nullptr);

// Writes `records` to a file of several channels (.csv, .mat, .h5, .xlsx),
// whole or not at all; false with the reason in `why`.
bool WriteChannelsFile(std::span<const SlotView> records, const std::filesystem::path& path,
                       std::string* why);

}  // namespace tavril
