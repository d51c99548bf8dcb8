#include "acquisition/acquisition_engine.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "acquisition/error_handler.h"
#include "app/allocation.h"

namespace tavril {
namespace {

// Boards need at least three readings per channel.
std::uint32_t EffectiveCount(std::uint32_t requested) {
  return std::max<std::uint32_t>(requested, 3);
}

bool Abandoned(const AcquisitionContext& context, DaqStatus status, const char* label) {
  return NIDAQErrorHandler(context.ui, status, label, 0) == kHandlerAbandon;
}

void ReleaseSamples(ChannelRecord& record) {
  record.samples = std::vector<double>();
}

// The record holds no samples from here on, but its memory waits for the new
// ones: refilling it costs no page faults. A failed acquisition releases it.
void SetAsideSamples(ChannelRecord& record) {
  record.samples.clear();
}

// A record left with much more memory than its samples gives the rest back.
void TrimMemory(ChannelRecord& record) {
  if (record.samples.capacity() / 2 > record.samples.size()) {
    if (record.samples.empty()) {
      ReleaseSamples(record);
    } else {
      record.samples.shrink_to_fit();
    }
  }
}

// Large acquisitions use the second core for work that needs no order.
constexpr std::size_t kParallelWorkThreshold = std::size_t{1} << 20;

// Zero-fills `values` (as every buffer starts) on another core, so that the
// machine maps its pages while the board works. Joins when destroyed.
std::jthread ZeroFillAside(double* values, std::size_t count) {
  if (count >= kParallelWorkThreshold) {
    try {
      return std::jthread([values, count] { std::fill_n(values, count, 0.0); });
    } catch (const std::system_error&) {
    }
  }
  std::fill_n(values, count, 0.0);
  return {};
}

// Each record's statistics are its own sequential computation, so records
// can be shared between two cores with the results of one.
void UpdateStatistics(const std::vector<ChannelRecord*>& records) {
  std::size_t samples = 0;
  for (const ChannelRecord* record : records) samples += record->samples.size();
  std::size_t half = records.size();
  std::jthread other;
  if (records.size() >= 2 && samples >= kParallelWorkThreshold) {
    half = records.size() / 2;
    try {
      other = std::jthread([&records, half] {
        for (std::size_t i = half; i < records.size(); ++i) UpdateChannelStatistics(*records[i]);
      });
    } catch (const std::system_error&) {
      half = records.size();
    }
  }
  for (std::size_t i = 0; i < half; ++i) UpdateChannelStatistics(*records[i]);
}

// Memory a record needs beyond what it holds to take `count` samples.
std::size_t NewSampleBytes(const ChannelRecord& record, std::size_t count) {
  return count > record.samples.capacity() ? count * sizeof(double) : 0;
}

// A record asked for fewer than three points keeps only the points it asked for.
void KeepRequestedCount(ChannelRecord& record) {
  if (record.samples.size() > record.count) {
    record.samples.resize(record.count);
    record.samples.shrink_to_fit();
  }
}

}  // namespace

int AcquireSingleChannel(const AcquisitionContext& context, ChannelRecord& record) {
  const std::uint32_t m = EffectiveCount(record.count);
  // Both buffers are held at once: each fitting alone is not enough.
  if (!FitTogether({NewSampleBytes(record, m), std::size_t{m} * sizeof(std::int16_t)})) {
    ReleaseSamples(record);
    return kSamplesMemoryFailed;
  }
  if (!AllocateZeroed(record.samples, m)) return kSamplesMemoryFailed;
  std::unique_ptr<std::int16_t[]> raw;
  if (!AllocateScratch(raw, m)) {
    // Zeros next to the statistics of the old samples would show a record
    // that was never acquired.
    ReleaseSamples(record);
    return kRawMemoryFailed;
  }
  std::fill_n(raw.get(), m, std::int16_t{0});  // see AcquireScan
  BoardDriver& board = context.board;
  const BoardConfig& config = context.config;
  if (Abandoned(context, board.Timeout_Config(record.device, config.timeOut), "Timeout_Config")) {
    return kAcquisitionAbandoned;
  }
  if (Abandoned(context,
                board.DAQ_Op(record.device, record.chan, record.gain, raw.get(), m, record.rate),
                "DAQ_Op")) {
    return kAcquisitionAbandoned;
  }
  if (Abandoned(context,
                board.DAQ_VScale(record.device, record.chan, record.gain, config.gainAdjust,
                                 config.offset, m, raw.get(), record.samples.data()),
                "DAQ_VScale")) {
    return kAcquisitionAbandoned;
  }
  board.Timeout_Config(record.device, -1);
  KeepRequestedCount(record);
  UpdateChannelStatistics(record);
  return kAcquired;
}

int AcquireScan(const AcquisitionContext& context, ChannelTable& table, std::int16_t lastChannel,
                double scanRate) {
  const ChannelRecord& first = table[0];
  const std::int16_t channels = static_cast<std::int16_t>(lastChannel + 1);
  const std::uint32_t m = EffectiveCount(first.count);
  const std::uint64_t total64 = static_cast<std::uint64_t>(channels) * m;
  if (total64 > std::numeric_limits<std::uint32_t>::max()) return kSamplesMemoryFailed;
  const auto total = static_cast<std::uint32_t>(total64);
  // The volts, the raw readings and the records' samples of one scan are
  // checked together, so that no count passes and then exhausts memory.
  std::size_t recordBytes = 0;
  for (int k = 0; k < channels; ++k) {
    recordBytes += NewSampleBytes(table[k], std::min(m, table[k].count));
  }
  if (!FitTogether({std::size_t{total} * sizeof(double), std::size_t{total} * sizeof(std::int16_t),
                    recordBytes})) {
    return kSamplesMemoryFailed;
  }

  std::unique_ptr<double[]> volts;
  if (!AllocateScratch(volts, total)) return kSamplesMemoryFailed;
  std::unique_ptr<std::int16_t[]> raw;
  if (!AllocateScratch(raw, total)) return kRawMemoryFailed;
  // A board that refuses a call writes nothing; when the user goes on anyway,
  // the readings must be zeros, never what the memory held before.
  std::fill_n(raw.get(), total, std::int16_t{0});
  std::jthread zeroFill = ZeroFillAside(volts.get(), total);

  BoardDriver& board = context.board;
  const BoardConfig& config = context.config;
  const std::int16_t device = first.device;
  if (Abandoned(context, board.Timeout_Config(device, config.timeOut), "Timeout_Config")) {
    return kAcquisitionAbandoned;
  }
  std::int16_t scanOrder[8] = {};
  if (Abandoned(context,
                board.SCAN_Op(device, channels, first.gain, raw.get(), total, first.rate, scanRate,
                              scanOrder),
                "SCAN_Op")) {
    return kAcquisitionAbandoned;
  }
  if (Abandoned(context, board.SCAN_Demux(raw.get(), total, channels, 0), "SCAN_Demux")) {
    return kAcquisitionAbandoned;
  }
  if (zeroFill.joinable()) zeroFill.join();
  // One conversion for all readings, with record 0's channel and gain.
  if (Abandoned(context,
                board.DAQ_VScale(device, first.chan, first.gain, config.gainAdjust, config.offset,
                                 total, raw.get(), volts.get()),
                "DAQ_VScale")) {
    return kAcquisitionAbandoned;
  }
  board.Timeout_Config(device, -1);
  raw.reset();

  // Block i holds channel N - i: records are filled from N down to 0.
  std::vector<ChannelRecord*> filled;
  int code = kAcquired;
  for (int i = 0; i < channels; ++i) {
    ChannelRecord& record = table[lastChannel - i];
    // A record asked for fewer than three points keeps only the points it asked for.
    const std::uint32_t kept = std::min(m, record.count);
    if (!AllocateCopy(record.samples, volts.get() + static_cast<std::size_t>(i) * m, kept)) {
      code = kSamplesMemoryFailed;
      break;
    }
    filled.push_back(&record);
  }
  UpdateStatistics(filled);
  return code;
}

int AcquireChannels(const AcquisitionContext& context, ChannelTable& table,
                    const std::array<std::int32_t, kChannelCount>& selected, double scanRate) {
  int selectedCount = 0;
  int last = -1;
  for (int j = 0; j < kChannelCount; ++j) {
    if (selected[j] != 1) continue;
    ++selectedCount;
    last = j;
    SetAsideSamples(table[j]);
  }
  if (selectedCount == 0) {
    context.ui.ShowMessage(
        {kNoChannelSelectedMessage, "ERREUR!", MessageIcon::kError, MessageButtons::kOk});
    return 0;
  }

  int code = kAcquired;
  if (selectedCount == 1) {
    code = AcquireSingleChannel(context, table[last]);
  } else {
    // A scan always covers channels 0 to N (the panel selects no other set).
    // With a scan rate, the board samples each channel once per scan; without
    // one, it scans as fast as the sample rate allows, which the channels share.
    const int scanned = last + 1;
    code = AcquireScan(context, table, static_cast<std::int16_t>(last), scanRate);
    if (code == kAcquired) {
      for (int i = 0; i < scanned; ++i) {
        table[i].rate = scanRate > 0.0 ? scanRate : table[i].rate / scanned;
      }
    }
  }

  for (int j = 0; j < kChannelCount; ++j) {
    if (selected[j] != 1) continue;
    // An abandoned acquisition leaves every selected record without samples.
    if (code == kAcquisitionAbandoned || !HoldsSamples(table[j])) {
      ReleaseSamples(table[j]);
    } else {
      TrimMemory(table[j]);
    }
  }
  if (code == kSamplesMemoryFailed || code == kRawMemoryFailed) {
    context.ui.ShowMessage(
        {kAllocationErrorMessage, "ERREUR!", MessageIcon::kError, MessageButtons::kOk});
  }
  return code == kAcquired ? 1 : 0;
}

int ConfigureBoard(BoardDriver& board, UserInteraction& ui, std::int16_t device, std::int16_t chan,
                   std::int16_t inputMode, std::int16_t polarity) {
  const DaqStatus status = board.AI_Configure(device, chan, inputMode, 0, polarity, 0);
  return NIDAQErrorHandler(ui, status, "AI_Configure", 0) == kHandlerAbandon ? 0 : 1;
}

}  // namespace tavril
