#pragma once

#include <cstdint>

namespace tavril {

// A board's raw reading, as boards hand them out and acquisitions keep them
// (two's complement on bipolar ranges): 32 bits hold every converter's codes,
// the 18 bits of NI M series boards among them.
using BoardReading = std::int32_t;

}  // namespace tavril
