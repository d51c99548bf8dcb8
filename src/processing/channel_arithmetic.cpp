#include "processing/channel_arithmetic.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "model/allocation.h"
#include "processing/math_operation.h"

namespace tavril {

namespace {

// An operand is read only as far as it holds samples: a record whose count
// promises more (or that holds none at all) reads as 0.0 beyond its array.
double SampleAt(const ChannelRecord& record, std::size_t index) {
  return index < record.samples.size() ? record.samples[index] : 0.0;
}

// Drops the old array first, then puts a zero-filled one of `count` samples in
// place. On failure the record is left holding no samples.
bool ReplaceWithZeros(ChannelRecord& record, std::uint32_t count) {
  record.samples = std::vector<double>();
  return AllocateZeroed(record.samples, count);
}

}  // namespace

MathResult CombineChannels(const ChannelRecord& a, const ChannelRecord& b, ChannelRecord& result,
                           MathOperation op) {
  if (a.rate != b.rate) return MathResult::kRatesDiffer;
  // Taken before `result` changes: it may be `b`, whose count is about to move.
  const std::uint32_t computed = std::min(a.count, b.count);

  result.count = a.count;
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  if (!ReplaceWithZeros(result, result.count)) return MathResult::kNoMemory;
  if (!TakesSecondOperand(op)) return MathResult::kBadOperation;

  // From here an operand that is `result` reads as zeros with gain 1.
  std::vector<double>& out = result.samples;
  for (std::size_t i = 0; i < computed; ++i) {
    const double p = static_cast<double>(a.gain) * SampleAt(a, i);
    const double q = static_cast<double>(b.gain) * SampleAt(b, i);
    switch (op) {
      case MathOperation::kSum:
        out[i] = p + q;
        break;
      case MathOperation::kDifference:
        out[i] = p - q;
        break;
      case MathOperation::kProduct:
        out[i] = p * q;
        break;
      default:
        out[i] = p / q;
        break;
    }
  }
  UpdateChannelStatistics(result);
  return MathResult::kOk;
}

MathResult IntegrateRectangle(const ChannelRecord& a, ChannelRecord& result) {
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  result.count = a.count;
  if (!ReplaceWithZeros(result, result.count)) return MathResult::kNoMemory;

  const double interval = 1.0 / a.rate;  // seconds per sample
  std::vector<double>& out = result.samples;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = (static_cast<double>(a.gain) * SampleAt(a, i)) * interval;
  }
  UpdateChannelStatistics(result);
  return MathResult::kOk;
}

MathResult IntegrateMidpoint(const ChannelRecord& a, ChannelRecord& result) {
  const bool empty = a.count == 0;
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  // No strip lies between fewer than two samples; an empty operand has no
  // count to give, so its result is left empty and refused below.
  result.count = empty ? 0 : a.count - 1;
  if (empty) {
    std::vector<double>().swap(result.samples);
    return MathResult::kNoMemory;
  }
  if (!ReplaceWithZeros(result, result.count)) return MathResult::kNoMemory;

  const double interval = 1.0 / a.rate;
  std::vector<double>& out = result.samples;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = ((SampleAt(a, i) + SampleAt(a, i + 1)) / 2.0) * static_cast<double>(a.gain) * interval;
  }
  UpdateChannelStatistics(result);
  return MathResult::kOk;
}

}  // namespace tavril
