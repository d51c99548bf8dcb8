#pragma once

#include <cstdint>

namespace tavril {

// The gain codes of this board family and the factor each stands for: -1 is
// x0.5, the others their own value. False for a code no board takes.
inline bool GainFactor(std::int16_t gain, double* factor) {
  switch (gain) {
    case -1:
      *factor = 0.5;
      return true;
    case 1:
    case 2:
    case 5:
    case 10:
    case 20:
    case 50:
    case 100:
      *factor = gain;
      return true;
    default:
      return false;
  }
}

}  // namespace tavril
