#include "acquisition/acquisition_engine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <system_error>
#include <thread>

#include "acquisition/error_handler.h"
#include "acquisition/volt_conversion.h"
#include "model/allocation.h"
#include "model/messages.h"
#include "text/rate_text.h"

namespace tavril {
namespace {

// Boards need at least three readings per channel.
std::uint32_t EffectiveCount(std::uint32_t requested) {
  return std::max<std::uint32_t>(requested, 3);
}

// Memory a vector needs beyond what it holds to take `count` values.
template <class T>
std::size_t NewBytes(const std::vector<T>& values, std::uint64_t count) {
  return count > values.capacity() ? static_cast<std::size_t>(count) * sizeof(T) : 0;
}

// Large acquisitions use the second core for the statistics: each record's
// is its own sequential sum, so the results are those of one core.
constexpr std::size_t kParallelWorkThreshold = std::size_t{1} << 20;

void ComputeAllStatistics(const AcquisitionPlan& plan, const SpareSamples& buffers,
                          std::size_t filled, AcquisitionResult& result) {
  std::size_t samples = 0;
  for (std::size_t i = 0; i < filled; ++i) samples += buffers.samples[plan.records[i]].size();
  const auto compute = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const int k = plan.records[i];
      result.statistics[k] = ComputeStatistics(buffers.samples[k]);
    }
  };
  std::size_t half = filled;
  std::jthread other;
  if (filled >= 2 && samples >= kParallelWorkThreshold) {
    half = filled / 2;
    try {
      other = std::jthread([&compute, half, filled] { compute(half, filled); });
    } catch (const std::system_error&) {
      half = filled;
    }
  }
  compute(0, half);
}

}  // namespace

std::optional<AcquisitionPlan> PlanAcquisition(const ChannelTable& table,
                                               const ChannelSelection& selected, double scanRate,
                                               const BoardConfig& config) {
  int count = 0;
  int last = -1;
  for (int j = 0; j < kChannelCount; ++j) {
    if (!selected[j]) continue;
    ++count;
    last = j;
  }
  if (count == 0) return std::nullopt;

  AcquisitionPlan plan;
  plan.scan = count >= 2;
  // A scan takes device, chan, gain, count and rate from record 0.
  const ChannelRecord& source = plan.scan ? table[0] : table[last];
  plan.device = source.device;
  plan.readingsPerChannel = EffectiveCount(source.count());
  plan.scaleChannel = source.chan;
  plan.request.gain = source.gain;
  plan.request.sampleRate = source.rate;
  plan.request.scans = plan.readingsPerChannel;
  if (plan.scan) {
    // Channels N down to 0, as the board driver's scans convert them.
    plan.request.scanRate = scanRate;
    for (int k = last; k >= 0; --k) {
      plan.request.channels.push_back(k);
      plan.records.push_back(k);
    }
  } else {
    plan.request.channels = {source.chan};
    plan.records = {last};
  }
  for (const int k : plan.records) {
    plan.keep.push_back(std::min(plan.readingsPerChannel, table[k].count()));
  }
  plan.timeoutTicks = config.timeOut;
  plan.gainAdjust = config.gainAdjust;
  plan.offset = config.offset;
  return plan;
}

AcquisitionResult RunAcquisition(const AcquisitionPlan& plan, Board& board, UserInteraction& ui,
                                 SpareSamples& buffers, std::stop_token stop) {
  AcquisitionResult result;
  const auto stopped = [&](AcquisitionOutcome outcome) {
    result.outcome = outcome;
    return result;
  };
  const auto abandoned = [&](DaqStatus status, std::string_view label) {
    return AskAfterBoardError(ui, board, status, label) == BoardErrorChoice::kAbandon;
  };
  const std::size_t channels = plan.request.channels.size();
  const std::uint32_t m = plan.readingsPerChannel;
  const std::uint64_t total = std::uint64_t{m} * channels;
  // The board driver counts readings in 32 bits.
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    return stopped(AcquisitionOutcome::kNoSampleMemory);
  }
  // Every buffer of the acquisition is held at once: each fitting alone is
  // not enough.
  std::size_t sampleBytes = 0;
  for (std::size_t i = 0; i < channels; ++i) {
    sampleBytes += NewBytes(buffers.samples[plan.records[i]], plan.keep[i]);
  }
  if (!FitTogether({NewBytes(buffers.readings, total), sampleBytes})) {
    return stopped(AcquisitionOutcome::kNoSampleMemory);
  }
  // A board that refuses a call writes nothing; when the user goes on
  // anyway, the readings must be zeros, never what the memory held before.
  if (!AllocateZeroed(buffers.readings, total)) {
    return stopped(AcquisitionOutcome::kNoReadingMemory);
  }

  if (abandoned(board.SetTimeout(plan.timeoutTicks), "Timeout_Config")) {
    return stopped(AcquisitionOutcome::kAbandoned);
  }
  DaqStatus status = board.Start(plan.request);
  if (status == kDaqNoError) {
    result.rateUsed = board.RateUsed();
    const std::stop_callback stopBoard(stop, [&board] { board.Stop(); });
    status = board.Read(buffers.readings).status;
  }
  board.Stop();
  if (stop.stop_requested()) return stopped(AcquisitionOutcome::kAbandoned);
  if (abandoned(status, plan.scan ? "SCAN_Op" : "DAQ_Op")) {
    return stopped(AcquisitionOutcome::kAbandoned);
  }
  VoltScale scale;
  status = board.ScaleFor(plan.scaleChannel, plan.request.gain, scale);
  if (status == kDaqNoError && !(std::isfinite(plan.gainAdjust) && plan.gainAdjust != 0.0)) {
    status = kInvalidValueError;
  }
  const bool scaled = status == kDaqNoError;
  // One conversion for all readings, with one channel's scale.
  if (abandoned(status, "DAQ_VScale")) return stopped(AcquisitionOutcome::kAbandoned);
  board.SetTimeout(-1);

  // The records' samples, from the first channel of the scan on: a failure
  // leaves the records before it with their new samples.
  std::vector<std::span<double>> columns;
  for (std::size_t i = 0; i < channels; ++i) {
    const int k = plan.records[i];
    if (!AllocateZeroed(buffers.samples[k], plan.keep[i])) {
      result.outcome = AcquisitionOutcome::kNoSampleMemory;
      break;
    }
    columns.emplace_back(buffers.samples[k]);
  }
  if (scaled) {
    // Small acquisitions are converted faster without the table.
    constexpr std::uint64_t kTableMinReadings = std::uint64_t{1} << 16;
    const VoltConverter convert(scale, plan.gainAdjust, plan.offset, total >= kTableMinReadings);
    ConvertScans(buffers.readings, channels, convert, columns);
  }
  ComputeAllStatistics(plan, buffers, columns.size(), result);
  for (std::size_t i = 0; i < columns.size(); ++i) result.filled[plan.records[i]] = true;
  return result;
}

bool FinishAcquisition(const AcquisitionPlan& plan, const AcquisitionResult& result,
                       ChannelTable& table, SpareSamples& buffers, UserInteraction& ui) {
  const bool acquired = result.outcome == AcquisitionOutcome::kAcquired;
  const bool abandoned = result.outcome == AcquisitionOutcome::kAbandoned;
  const auto now = std::chrono::system_clock::now();
  double asked = 0.0;
  for (const int k : plan.records) {
    ChannelRecord& record = table[k];
    if (abandoned || !result.filled[k]) {
      record.ReleaseSamples();
      continue;
    }
    std::vector<double>& fresh = buffers.samples[k];
    const std::size_t taken = fresh.size();
    // The record keeps no more memory than its samples need...
    if (fresh.capacity() / 2 > taken) {
      if (taken == 0) {
        fresh = std::vector<double>();
      } else {
        fresh.shrink_to_fit();
      }
    }
    // The count asked stays: a scan reads no more than its first record asks.
    const std::uint32_t countAsked = record.count();
    record.TakeSamples(fresh, result.statistics[k]);
    record.SetCount(countAsked);
    record.acquiredAt = now;
    // ...and what it held before waits for the next acquisition, unless it is
    // much larger than what is acquired now.
    if (fresh.capacity() / 2 > taken) fresh = std::vector<double>();
    if (acquired && plan.scan) {
      record.rate = plan.request.scanRate > 0.0
                        ? plan.request.scanRate
                        : record.rate / static_cast<double>(plan.records.size());
    }
    asked = record.rate;
    // A board clock rounds the rate asked to its ticks: the records keep the
    // one the readings were really taken at.
    if (acquired && result.rateUsed > 0.0) record.rate = result.rateUsed;
  }
  if (acquired && result.rateUsed > 0.0 &&
      std::abs(result.rateUsed - asked) > 1e-9 * std::abs(asked)) {
    ui.ShowMessage({"La carte a acquis " + RateText(result.rateUsed) +
                        " échantillons par seconde et par voie, au lieu des " + RateText(asked) +
                        " demandés : les voies gardent la cadence réelle.",
                    messages::kAcquisitionCaption, MessageIcon::kInformation, MessageButtons::kOk});
  }
  if (result.outcome == AcquisitionOutcome::kNoSampleMemory ||
      result.outcome == AcquisitionOutcome::kNoReadingMemory) {
    ui.ShowMessage({messages::kAllocationError, messages::kErreurBang, MessageIcon::kError,
                    MessageButtons::kOk});
  }
  return acquired;
}

bool AcquireChannels(const AcquisitionContext& context, ChannelTable& table,
                     const ChannelSelection& selected, double scanRate) {
  const std::optional<AcquisitionPlan> plan =
      PlanAcquisition(table, selected, scanRate, context.config);
  if (!plan) {
    context.ui.ShowMessage({messages::kNoChannelSelected, messages::kErreurBang,
                            MessageIcon::kError, MessageButtons::kOk});
    return false;
  }
  const AcquisitionResult result =
      RunAcquisition(*plan, context.boards.For(plan->device), context.ui, context.buffers);
  return FinishAcquisition(*plan, result, table, context.buffers, context.ui);
}

bool ConfigureBoard(Boards& boards, UserInteraction& ui, std::int16_t device,
                    std::int16_t inputMode, std::int16_t polarity) {
  Board& board = boards.For(device);
  const InputSettingsOrStatus settings = InputSettingsFromCodes(inputMode, polarity);
  // A missing board answers before the codes are looked at, as the driver does.
  DaqStatus status = boards.HasBoard(device) ? settings.status : kDeviceNotFoundError;
  if (status == kDaqNoError) status = board.Configure(settings.settings);
  return AskAfterBoardError(ui, board, status, "AI_Configure") == BoardErrorChoice::kGoOn;
}

}  // namespace tavril
