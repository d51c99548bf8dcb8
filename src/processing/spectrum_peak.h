#pragma once

#include <cstddef>
#include <optional>
#include <span>

#include "processing/spectrum.h"

namespace tavril {

// The highest peak of the bins `dbv` (bin k at k * binHz) above the window's
// main lobe around 0 Hz, read between the bins: the sine whose response
// through the window (WindowResponse) best matches, in the least-squares
// sense, the magnitudes of the bins around the highest one gives the
// frequency and the amplitude. Blocks of `length` samples transformed over
// `transformLength` points. None when the bins stop before the main lobe's end.
std::optional<SpectrumPeak> ReadSpectrumPeak(std::span<const double> dbv, double binHz,
                                             SpectrumWindow window, std::size_t length,
                                             std::size_t transformLength);

}  // namespace tavril
