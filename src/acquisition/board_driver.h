#pragma once

#include <cstdint>

#include "acquisition/daq_status.h"
#include "acquisition/gain_codes.h"

namespace tavril {

// The operations the program asks of an analog-input board, with the board
// driver's argument types. Every call returns a status that the caller hands
// unexamined to NIDAQErrorHandler. Counts are in readings; rates in readings
// (conversions) per second.
class BoardDriver {
 public:
  virtual ~BoardDriver() = default;

  // Time-out of the acquisitions that follow, in ticks of 55 ms; -1 waits for ever.
  virtual DaqStatus Timeout_Config(std::int16_t device, std::int32_t timeoutTicks) = 0;

  // Acquires `count` readings of one channel into `buffer`; returns once they are all in.
  virtual DaqStatus DAQ_Op(std::int16_t device, std::int16_t chan, std::int16_t gain,
                           std::int16_t* buffer, std::uint32_t count, double sampleRate) = 0;

  // Scans channels numChans - 1 down to 0, `count` readings in all (a
  // multiple of numChans), interleaved in scan order. scanRate is in scans per
  // second; 0 converts the channels back to back. scanOrder (8 entries)
  // receives the channels in the order they were converted.
  virtual DaqStatus SCAN_Op(std::int16_t device, std::int16_t numChans, std::int16_t gain,
                            std::int16_t* buffer, std::uint32_t count, double sampleRate,
                            double scanRate, std::int16_t* scanOrder) = 0;

  // Rearranges a scan buffer in place into numChans consecutive blocks; block
  // i holds the i-th channel of the scan order (channel numChans - 1 - i).
  virtual DaqStatus SCAN_Demux(std::int16_t* buffer, std::uint32_t count, std::int16_t numChans,
                               std::int16_t numMuxBoards) = 0;

  // volts = (reading - offset) / maxReading * maxVolt / (gain * gainAdjust),
  // with the range of the board's configured polarity; offset is in readings.
  virtual DaqStatus DAQ_VScale(std::int16_t device, std::int16_t chan, std::int16_t gain,
                               double gainAdjust, double offset, std::uint32_t count,
                               const std::int16_t* readings, double* volts) = 0;

  // chan -1 configures all channels. inputMode 0 DIFF, 1 RSE, 2 NRSE;
  // polarity 0 bipolar, 1 unipolar; inputRange 0 and driveAIS 0 take the
  // board's defaults.
  virtual DaqStatus AI_Configure(std::int16_t device, std::int16_t chan, std::int16_t inputMode,
                                 std::int16_t inputRange, std::int16_t polarity,
                                 std::int16_t driveAIS) = 0;
};

}  // namespace tavril
