#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "processing/spectrum.h"

namespace tavril {

// The window as a sum of cosines over a period of the block's length:
// w[n] = sum over j of (-1)^j terms[j] cos(2 pi j n / length).
std::span<const double> CosineSumTerms(SpectrumWindow window);

// The weights of a block of `length` samples.
std::vector<double> WindowWeights(SpectrumWindow window, std::size_t length);

// Bins (of a transform as long as the block) on either side of a sine that
// the window's main lobe covers.
std::size_t MainLobeBins(SpectrumWindow window);

// The magnitude of the window's transform `offset` bins away from a sine,
// relative to its magnitude on the sine's bin: what a bin reads of a sine
// that far from it. Bins are those of a transform of `transformLength`
// points, of which the block's `length` carry the window and the rest zeros.
double WindowResponse(SpectrumWindow window, std::size_t length, std::size_t transformLength,
                      double offset);

}  // namespace tavril
