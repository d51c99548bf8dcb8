#pragma once

#include <cstddef>
#include <string>

namespace tavril {

// Why a board refuses a rate (badIntervalError), its limit said: the status's
// own sentence, then `limit` ("au plus 1250000 conversions par seconde").
std::string RateRefusal(const std::string& limit);

// The limit a conversion rate at most `maxConversions` a second puts on a
// scan of `channels`.
std::string ConversionLimit(double maxConversions, std::size_t channels);

// A scan rate whose scans need more conversions than the sample rate gives.
std::string ScanRateBeyondSampleRate(double sampleRate, double scanRate, std::size_t channels);

}  // namespace tavril
