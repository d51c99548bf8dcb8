#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace tavril {

// What an oscilloscope shows of a stretch of samples. A value that the
// samples do not define (no samples, a sample that is not finite, fewer than
// two periods, no edge) is empty: the window shows "—" for it.
struct WaveMeasurements {
  std::size_t count = 0;
  std::optional<double> minimum;     // V
  std::optional<double> maximum;     // V
  std::optional<double> peakToPeak;  // V
  std::optional<double> mean;        // V
  std::optional<double> rms;         // V
  std::optional<double> acRms;       // V, about the mean
  std::optional<double> frequency;   // Hz
  std::optional<double> period;      // s
  std::optional<double> dutyCycle;   // 0 to 1: time above halfway, over whole periods
  std::optional<double> riseTime;    // s, 10 % to 90 % of minimum to maximum, averaged
  std::optional<double> fallTime;    // s, 90 % to 10 %, averaged
};

// Measures `samples` taken at `rate` samples per second.
//
// Periods are found by a trigger with hysteresis around the mean: a rising
// edge is counted when the signal, having been below mean - h, goes above
// mean + h, and a falling edge the other way, with h a quarter of the
// smaller of (maximum - mean) and (mean - minimum). A DC offset moves the
// mean with the signal, and noise smaller than 2h cannot count an edge
// twice. Each edge's time is where a straight line fitted to its samples
// inside the band crosses the mean (between the two samples around it for
// an edge too steep to have samples there), which averages the noise out.
// The frequency is (edges - 1) / (time from the first rising edge to the
// last), so it improves with every period in the record. The duty cycle
// sums, over each fall between the first rising edge and the last, the time
// from the rise before it, both at halfway. MeasureWaveStreamed
// (streamed_wave_measurements.h) measures samples read by range the same way.
WaveMeasurements MeasureWave(std::span<const double> samples, double rate);

}  // namespace tavril
