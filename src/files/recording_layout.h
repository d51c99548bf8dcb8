#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/hdf5_layout.h"

// Recordings (*.h5), format "TAVRIL recording", version 2: the board's codes
// as they came, with what turns them into volts, and an overview.
//
// File attributes (on /): creator, format = "TAVRIL recording",
// format_version = 2 (as in files/hdf5_file.h).
// Group /channels, one dataset per channel recorded, channel_<slot>:
//   The dataset: the board's codes, one-dimensional, in the smallest of
//   int16 and int32 (little-endian) that holds every code of the board's
//   range; chunks of kRecordingChunkBytes, no filter, length unlimited. Its
//   length may exceed `count` in a file whose writer was killed: the samples
//   past `count` were not flushed, and are not read.
//   Attributes, as in a file of channels (slot, title, device, chan, gain,
//   rate, unit, time_unit, sample_interval, acquired_at, max_value,
//   min_value, mean), except:
//     count               uint64   samples recorded, up to the last flush
//     max_index, min_index uint64
//     code_origin         float64  o
//     volts_coefficients  float64[1 to 4]  c, lowest order first:
//                         volts = c[0] + u (c[1] + u (c[2] + u c[3])), u = code - o
//   so that numpy gives the program's volts to the bit:
//     d = f['channels/channel_0']
//     volts = numpy.polynomial.polynomial.polyval(d[:d.attrs['count']] - d.attrs['code_origin'],
//                                                 d.attrs['volts_coefficients'])
// Group /overview, one group per channel, channel_<slot>, with the
// attributes block_samples (int32, 512) and factor (int32, 8), and datasets
// level_0, level_1...: float64, N rows of 4 (minimum, maximum, sum, sum of
// squares of the volts), row i of level_k spanning samples
// [i B F^k, (i + 1) B F^k) with B = block_samples and F = factor. Only
// complete nodes are written; a level exists once it has one. Rows past
// count / (B F^k) are ignored.
namespace tavril::recording_layout {

inline constexpr int kFormatVersion = hdf5_layout::kRecordingVersion;
inline constexpr const char* kFormat = hdf5_layout::kRecordingFormat;
// Chunks of 256 KiB: a recording's last chunk takes its whole room on disk,
// whatever it holds, and these keep that small beside a minute of samples.
inline constexpr std::size_t kRecordingChunkBytes = std::size_t{1} << 18;
inline constexpr std::size_t kOverviewColumns = 4;

// Rows of an overview level per chunk: 64 KiB for level 0, an eighth of that
// for each level above, down to 2 KiB, each level's last chunk being as
// wasteful as the samples'.
constexpr std::size_t OverviewChunkRows(std::size_t level) {
  return level >= 2 ? 64 : std::size_t{2048} >> (3 * level);
}

inline std::string ChannelPath(int slot) {
  return "channels/channel_" + std::to_string(slot);
}
inline std::string OverviewPath(int slot) {
  return "overview/channel_" + std::to_string(slot);
}
inline std::string LevelName(std::size_t level) {
  return "level_" + std::to_string(level);
}

}  // namespace tavril::recording_layout
