#pragma once

#include "app/channel_record.h"

namespace tavril {

enum MathOperation : int {
  kOpSum = 2,
  kOpDifference = 3,
  kOpProduct = 4,
  kOpQuotient = 5,
  kOpRectangle = 6,
  kOpMidpoint = 7,
};

enum MathResult : int {
  kMathOk = 0,
  kMathRatesDiffer = -1,
  kMathNoMemory = -2,
  kMathBadOperation = -3,
};

// Every operation first gives `result` A's device and rate, gain 1 and its new
// count, and replaces its samples with a zero-filled array; only then are the
// operands read, through their records. So an operand that is also `result`
// reads as all zeros with gain 1. An operand is read only as far as its
// samples reach: past the end of its array (or with no array at all, whatever
// its count says) it reads as 0.0. Each operand sample is multiplied by its
// record's gain before use. On success the statistics of `result` are
// recomputed. kMathNoMemory leaves `result` with its new fields and no samples.

// result = A op B for the first min(count A, count B) samples; the rest of A's
// count stays 0.0. kMathRatesDiffer (rates not exactly equal) changes nothing;
// kMathBadOperation (op outside 2 to 5) leaves the new fields and zeros without
// statistics. Returns a MathResult.
int CombineChannels(const ChannelRecord& a, const ChannelRecord& b, ChannelRecord& result, int op);

// One strip area per sample, gain * sample / rate, not accumulated; count as A.
int IntegrateRectangle(const ChannelRecord& a, ChannelRecord& result);

// One strip area between each two neighbouring samples, count A's count - 1
// (a single sample gives an empty result). An operand with count 0 has no
// result count: it is refused with kMathNoMemory and `result` gets count 0.
int IntegrateMidpoint(const ChannelRecord& a, ChannelRecord& result);

}  // namespace tavril
