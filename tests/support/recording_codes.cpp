#include "support/recording_codes.h"

#include <algorithm>
#include <span>
#include <vector>

namespace tavril::testing {

ReadingConversion TwelveBitConversion() {
  ReadingConversion conversion;
  conversion.scale.lowestReading = -2048;
  conversion.scale.highestReading = 2047;
  conversion.scale.zeroCode = 2048;
  return conversion;
}

bool AppendCodesUnevenly(Hdf5Recording& recording, const ReadingConversion& conversion,
                         std::size_t channels, std::uint64_t from, std::uint64_t count,
                         const CodeOf& code) {
  for (std::uint64_t at = from, piece = 1; at < from + count; at += piece, piece = piece * 7 + 1) {
    piece = std::min(piece, from + count - at);
    if (!AppendCodes(recording, conversion, channels, at, piece, code, piece)) return false;
  }
  return recording.Flush(nullptr);
}

bool AppendCodes(Hdf5Recording& recording, const ReadingConversion& conversion,
                 std::size_t channels, std::uint64_t from, std::uint64_t count, const CodeOf& code,
                 std::uint64_t piece) {
  std::vector<BoardReading> readings;
  for (std::uint64_t at = from; at < from + count; at += piece) {
    const std::uint64_t scans = std::min(piece, from + count - at);
    readings.clear();
    for (std::uint64_t i = at; i < at + scans; ++i) {
      for (std::size_t c = 0; c < channels; ++c) readings.push_back(code(i, c));
    }
    const std::vector<double> volts(scans);
    const std::vector<std::span<const double>> columns(channels, volts);
    if (!recording.Append({columns, readings, &conversion}, nullptr)) return false;
  }
  return true;
}

}  // namespace tavril::testing
