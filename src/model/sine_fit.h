#pragma once

#include <complex>
#include <optional>
#include <span>

namespace tavril {

// The sine at a known frequency that fits samples best, by least squares:
// volts ≈ offset + cosine cos(2πft) + sine sin(2πft).
struct SineFit {
  double offset = 0.0;
  double cosine = 0.0;
  double sine = 0.0;

  double Amplitude() const { return std::abs(Phasor()); }
  // The fitted sine is Re(Phasor() e^{j2πft}): its amplitude and phase at t = 0.
  std::complex<double> Phasor() const { return {cosine, -sine}; }
};

// Fits the samples taken at firstSeconds + k intervalSeconds. None when fewer
// than three samples, or when their instants cannot tell the cosine, the sine
// and the offset apart (every sample on a zero of the sine, say).
std::optional<SineFit> FitSine(std::span<const double> volts, double firstSeconds,
                               double intervalSeconds, double hz);

}  // namespace tavril
