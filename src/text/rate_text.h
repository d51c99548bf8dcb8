#pragma once

#include <string>

namespace tavril {

// A rate or a duration for a message, locale-free, to six significant
// digits without trailing zeros: 416666.666 gives "416667", 1.192093 gives
// "1.19209", 100000.0 gives "100000".
std::string RateText(double value);

}  // namespace tavril
