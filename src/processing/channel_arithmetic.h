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

// result = A op B sample by sample, each operand sample multiplied by its
// record's gain first. `result` may be `a` or `b`: it is cleared to zeros with
// gain 1 before any operand is read. Returns a MathResult.
int CombineChannels(const ChannelRecord& a, const ChannelRecord& b, ChannelRecord& result, int op);

// One strip area per sample: gain * sample / rate.
int IntegrateRectangle(const ChannelRecord& a, ChannelRecord& result);

// One strip area between each two neighbouring samples.
int IntegrateMidpoint(const ChannelRecord& a, ChannelRecord& result);

}  // namespace tavril
