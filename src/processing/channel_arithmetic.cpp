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
  return index < record.sampleCount() ? record.sample(index) : 0.0;
}

// Drops the result's samples first, then makes a zero-filled array of
// `count` samples for it; false when memory cannot hold them, the result then
// holding no samples.
bool ZerosInPlaceOf(ChannelRecord& result, std::uint32_t count, std::vector<double>& out) {
  result.ReleaseSamples();
  return AllocateZeroed(out, count);
}

// The result holds `out`, with the count the operation gives it.
void Finish(ChannelRecord& result, std::vector<double>& out, std::uint32_t count) {
  result.TakeSamples(out);
  result.SetCount(count);
}

}  // namespace

MathResult CombineChannels(const ChannelRecord& a, const ChannelRecord& b, ChannelRecord& result,
                           MathOperation op) {
  if (a.rate != b.rate) return MathResult::kRatesDiffer;
  // Taken before `result` changes: it may be `b`, whose count is about to move.
  const std::uint32_t computed = std::min(a.count(), b.count());
  const std::uint32_t count = a.count();

  result.SetCount(count);
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  std::vector<double> out;
  if (!ZerosInPlaceOf(result, count, out)) return MathResult::kNoMemory;
  if (!TakesSecondOperand(op)) {
    // The zeros, with the statistics left as they were.
    const ChannelStatistics kept = result.statistics();
    result.TakeSamples(out, kept);
    result.SetCount(count);
    return MathResult::kBadOperation;
  }

  // From here an operand that is `result` reads as zeros with gain 1.
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
  Finish(result, out, count);
  return MathResult::kOk;
}

MathResult IntegrateRectangle(const ChannelRecord& a, ChannelRecord& result) {
  const std::uint32_t count = a.count();
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  result.SetCount(count);
  std::vector<double> out;
  if (!ZerosInPlaceOf(result, count, out)) return MathResult::kNoMemory;

  const double interval = 1.0 / a.rate;  // seconds per sample
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = (static_cast<double>(a.gain) * SampleAt(a, i)) * interval;
  }
  Finish(result, out, count);
  return MathResult::kOk;
}

MathResult IntegrateMidpoint(const ChannelRecord& a, ChannelRecord& result) {
  const bool empty = a.count() == 0;
  // No strip lies between fewer than two samples; an empty operand has no
  // count to give, so its result is left empty and refused below.
  const std::uint32_t count = empty ? 0 : a.count() - 1;
  result.device = a.device;
  result.gain = 1;
  result.rate = a.rate;
  result.SetCount(count);
  if (empty) {
    result.ReleaseSamples();
    return MathResult::kNoMemory;
  }
  std::vector<double> out;
  if (!ZerosInPlaceOf(result, count, out)) return MathResult::kNoMemory;

  const double interval = 1.0 / a.rate;
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = ((SampleAt(a, i) + SampleAt(a, i + 1)) / 2.0) * static_cast<double>(a.gain) * interval;
  }
  Finish(result, out, count);
  return MathResult::kOk;
}

}  // namespace tavril
