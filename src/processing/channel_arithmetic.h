#pragma once

#include "model/channel_record.h"

namespace tavril {

enum class MathOperation { kSum, kDifference, kProduct, kQuotient, kRectangle, kMidpoint };

enum class MathResult {
  kOk,
  kRatesDiffer,   // A and B are not sampled at the same rate
  kNoMemory,      // the result's samples could not be taken
  kBadOperation,  // a combination asked for an integration
};

// Every operation first gives `result` A's device and rate, gain 1 and its new
// count, and replaces its samples with a zero-filled array; only then are the
// operands read, through their records. So an operand that is also `result`
// reads as all zeros with gain 1. An operand is read only as far as its
// samples reach: past the end of its array (or with no array at all, whatever
// its count says) it reads as 0.0. Each operand sample is multiplied by its
// record's gain before use. On success the statistics of `result` are
// recomputed. kNoMemory leaves `result` with its new fields and no samples.

// result = A op B for the first min(count A, count B) samples; the rest of A's
// count stays 0.0. kRatesDiffer (rates not exactly equal) changes nothing;
// kBadOperation (an integration) leaves the new fields and zeros without
// statistics.
MathResult CombineChannels(const ChannelRecord& a, const ChannelRecord& b, ChannelRecord& result,
                           MathOperation op);

// One strip area per sample, gain * sample / rate, not accumulated; count as A.
MathResult IntegrateRectangle(const ChannelRecord& a, ChannelRecord& result);

// One strip area between each two neighbouring samples, count A's count - 1
// (a single sample gives an empty result). An operand with count 0 has no
// result count: it is refused with kNoMemory and `result` gets count 0.
MathResult IntegrateMidpoint(const ChannelRecord& a, ChannelRecord& result);

}  // namespace tavril
