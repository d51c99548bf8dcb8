#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "files/channel_set.h"

namespace tavril {

// MATLAB files (.mat) of several channels. Variables:
// - `channels`: a 1xN struct array, one element per record in slot order,
//   with fields slot, device, chan, gain, rate, count (double scalars),
//   title (char row: the title's characters), unit ('V') and acquired (char:
//   when the record was acquired, ISO 8601 in UTC to the nanosecond, as
//   '2026-12-07T12:45:36.123456789Z'; '' when unknown);
// - `t<slot>` and `y<slot>` for each record: column vectors of doubles, the
//   times i / rate in seconds and the samples in volts. Channels of different
//   rates or lengths each have their own pair; a record without samples has
//   0x1 vectors, its count staying in `channels`.
// Version 5, uncompressed; version 7.3 (HDF5) when a vector exceeds 2 GB,
// which version 5 cannot hold. A version 7.3 file is begun only when the disk
// has room for it: HDF5 1.10 keeps a file whose writes failed half closed and
// crashes when the program ends (an I/O error or a quota part-way still can).

// Writes `records` whole or not at all; false with the reason in French in
// `why` (when given) on failure, the previous file then intact. Slots are 0
// to 7, each at most once.
bool WriteMatFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why);

// Reads a file as WriteMatFile writes it, or as MATLAB or Octave save it again
// uncompressed (save -v6 or -v7.3), into `records` in slot order, statistics
// computed. False with the reason in French in `why` (when given) for any
// other or damaged file, or samples that memory cannot hold; `records` is
// then untouched.
bool ReadMatFile(const std::filesystem::path& path, ChannelSet& records, std::string* why);

// What ReadMatFile has the helper program read first (files/isolated_check.h),
// matio and libhdf5 under it for version 7.3 crashing on some damaged files:
// the whole file, keeping nothing.
bool CheckMatFile(const std::filesystem::path& path, std::string& why);

namespace mat_detail {
// Vectors of more than this many bytes need version 7.3.
inline constexpr std::uint64_t kMat5MaxVariableBytes = (std::uint64_t{1} << 31) - 256;
// As WriteMatFile, with another limit, so that tests reach version 7.3.
bool WriteMatFile(std::span<const SlotView> records, const std::filesystem::path& path,
                  std::string* why, std::uint64_t mat5MaxVariableBytes);
}  // namespace mat_detail

}  // namespace tavril
