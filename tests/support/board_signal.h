#pragma once

#include <cstddef>
#include <vector>

namespace tavril::testing {

// `count` readings of the simulated board's channel `chan` at `rate`, gain 1,
// in volts: its known shapes, as an acquisition gives them.
std::vector<double> BoardSignal(int chan, std::size_t count, double rate);

}  // namespace tavril::testing
