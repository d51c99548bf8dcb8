#include "acquisition/volt_conversion.h"

#include <algorithm>

namespace tavril {

VoltConverter::VoltConverter(const VoltScale& scale, double gainAdjust, double offset,
                             bool useTable)
    : scale_(scale), gainAdjust_(gainAdjust), offset_(offset) {
  const std::int64_t readings =
      std::int64_t{scale.highestReading} - std::int64_t{scale.lowestReading} + 1;
  if (useTable && readings >= 1 && readings <= (std::int64_t{1} << kMaxTableBits)) {
    table_.resize(static_cast<std::size_t>(readings));
    for (std::size_t i = 0; i < table_.size(); ++i) {
      table_[i] =
          scale.Volts(scale.lowestReading + static_cast<BoardReading>(i), gainAdjust, offset);
    }
  }
}

// A few thousand scans at a time, so that each piece of the readings is read
// from cache by every channel.
void ConvertScans(std::span<const BoardReading> readings, std::size_t channels,
                  const VoltConverter& convert, std::span<const std::span<double>> columns) {
  constexpr std::size_t kScansPerPiece = 2048;
  std::size_t longest = 0;
  for (const std::span<double>& column : columns) longest = std::max(longest, column.size());
  for (std::size_t first = 0; first < longest; first += kScansPerPiece) {
    for (std::size_t j = 0; j < columns.size(); ++j) {
      const std::span<double>& column = columns[j];
      const std::size_t end = std::min(column.size(), first + kScansPerPiece);
      const BoardReading* in = readings.data() + first * channels + j;
      for (std::size_t s = first; s < end; ++s, in += channels) column[s] = convert(*in);
    }
  }
}

}  // namespace tavril
