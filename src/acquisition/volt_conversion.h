#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "acquisition/volt_scale.h"

namespace tavril {

// Turns readings into volts with one scale, gain adjustment and offset. With
// `useTable`, a table over the converter's readings gives the same doubles
// as VoltScale::Volts without a division per reading.
class VoltConverter {
 public:
  VoltConverter(const VoltScale& scale, double gainAdjust, double offset, bool useTable);

  double operator()(std::int16_t reading) const {
    const std::size_t index = static_cast<std::size_t>(reading - scale_.lowestReading);
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
void ConvertScans(std::span<const std::int16_t> readings, std::size_t channels,
                  const VoltConverter& convert, std::span<const std::span<double>> columns);

}  // namespace tavril
