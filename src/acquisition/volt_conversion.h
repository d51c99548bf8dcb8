#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "model/volt_scale.h"

namespace tavril {

// Turns readings into volts with one scale, gain adjustment and offset. With
// `useTable`, a table over the converter's readings gives the same doubles
// as VoltScale::Volts without a division per reading, for converters of up to
// kMaxTableBits bits (2 MiB of table).
class VoltConverter {
 public:
  static constexpr int kMaxTableBits = 18;

  VoltConverter(const VoltScale& scale, double gainAdjust, double offset, bool useTable);

  double operator()(BoardReading reading) const {
    // Below the lowest reading, the difference wraps far beyond the table.
    const auto index = static_cast<std::size_t>(std::int64_t{reading} - scale_.lowestReading);
    if (index < table_.size()) return table_[index];
    return scale_.Volts(reading, gainAdjust_, offset_);
  }

 private:
  VoltScale scale_;
  double gainAdjust_;
  double offset_;
  std::vector<double> table_;
};

// Demultiplexes scans of `channels` readings into one column per channel
// (the i-th reading of each scan into columns[i]) and converts them; each
// column takes as many scans as its size.
void ConvertScans(std::span<const BoardReading> readings, std::size_t channels,
                  const VoltConverter& convert, std::span<const std::span<double>> columns);

}  // namespace tavril
