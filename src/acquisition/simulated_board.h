#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "acquisition/board_driver.h"

namespace tavril {

// A 12-bit multifunction board with 16 analog inputs, each carrying its own
// deterministic test signal, for working without hardware. It answers at once
// (it never sleeps through the acquisition time) and refuses what a real board
// of its kind refuses, with the matching status.
class SimulatedBoard : public BoardDriver {
 public:
  static constexpr int kChannelCount = 16;
  static constexpr double kMaxConversionRate = 1'250'000.0;  // conversions per second
  static constexpr double kSecondsPerTick = 0.055;

  // The device number this board answers to.
  explicit SimulatedBoard(std::int16_t device = 1);

  DaqStatus Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) override;
  DaqStatus DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain, std::int16_t* buffer,
                   std::uint32_t count, double sampleRate) override;
  DaqStatus SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                    std::int16_t* buffer, std::uint32_t count, double sampleRate, double scanRate,
                    std::int16_t* scanOrder) override;
  DaqStatus SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                       std::int16_t numMuxBoards) override;
  DaqStatus DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain, double gainAdjust,
                       double offset, std::uint32_t count, const std::int16_t* readings,
                       double* volts) override;
  DaqStatus AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                         std::int16_t inputRange, std::int16_t polarity,
                         std::int16_t driveAIS) override;

  // The signal of `chan` at `seconds` after the start of an acquisition, in
  // volts, before the converter (no range limit, no quantisation); 0 for a
  // channel the board does not have. Acquisitions read these values.
  static double SignalVolts(int chan, double seconds);

 private:
  // Whether an acquisition lasting `seconds` outlasts the configured time-out.
  bool TimesOut(double seconds) const;

  std::int16_t device_;
  std::int32_t timeoutTicks_ = -1;
  std::int16_t inputMode_ = 1;  // RSE; kept for the record, the inputs read the same in every mode
  std::int16_t polarity_ = 0;   // 0 bipolar, 1 unipolar
  // SCAN_Demux's copy of the scan, kept between calls so that repeated
  // acquisitions do not pay for fresh pages each time.
  std::unique_ptr<std::int16_t[]> demuxScratch_;
  std::size_t demuxScratchSize_ = 0;
};

}  // namespace tavril
