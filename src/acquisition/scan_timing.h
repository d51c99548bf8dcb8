#pragma once

#include <cstddef>
#include <cstdint>

#include "acquisition/board.h"

namespace tavril {

// When the readings of a scanned acquisition are converted, in seconds from
// its start: scan after scan at the scan interval, and within a scan one
// conversion after another at the sample rate. Finite acquisitions and
// streams place their readings by this one formula.
struct ScanTiming {
  std::size_t channels = 1;
  double sampleRate = 1.0;      // conversions per second
  double scansPerSecond = 1.0;  // the request's scan rate, or scans back to back
  double scanInterval = 1.0;    // seconds from one scan's start to the next

  // For a request whose rates the board accepted.
  static ScanTiming For(const AcquisitionRequest& request) {
    ScanTiming timing;
    timing.channels = request.channels.size();
    timing.sampleRate = request.sampleRate;
    const double backToBack = static_cast<double>(timing.channels) / request.sampleRate;
    timing.scanInterval = request.scanRate > 0.0 ? 1.0 / request.scanRate : backToBack;
    timing.scansPerSecond =
        request.scanRate > 0.0 ? request.scanRate : request.sampleRate / timing.channels;
    return timing;
  }

  double PositionSeconds(std::size_t position) const {
    return static_cast<double>(position) / sampleRate;
  }
  double Seconds(std::uint64_t scan, std::size_t position) const {
    return PositionSeconds(position) + static_cast<double>(scan) * scanInterval;
  }
  // Reading n of the acquisition, counting every channel's.
  double ReadingSeconds(std::uint64_t reading) const {
    return Seconds(reading / channels, static_cast<std::size_t>(reading % channels));
  }
};

}  // namespace tavril
