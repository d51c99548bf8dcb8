#include "model/sine_fit.h"

#include <cmath>
#include <numbers>

namespace tavril {

std::optional<SineFit> FitSine(std::span<const double> volts, double firstSeconds,
                               double intervalSeconds, double hz) {
  const std::size_t n = volts.size();
  if (n < 3) return std::nullopt;
  // Normal equations of the columns 1, cos, sin.
  double sc = 0, ss = 0, scc = 0, sss = 0, scs = 0;
  double sy = 0, syc = 0, sys = 0;
  const double startCycles = hz * firstSeconds;
  const double stepCycles = hz * intervalSeconds;
  for (std::size_t k = 0; k < n; ++k) {
    // Whole cycles dropped before the angle keeps its precision over long runs.
    double cycles = startCycles + stepCycles * static_cast<double>(k);
    cycles -= std::floor(cycles);
    const double angle = 2.0 * std::numbers::pi * cycles;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double y = volts[k];
    sc += c;
    ss += s;
    scc += c * c;
    sss += s * s;
    scs += c * s;
    sy += y;
    syc += y * c;
    sys += y * s;
  }
  const double m[3][3] = {{static_cast<double>(n), sc, ss}, {sc, scc, scs}, {ss, scs, sss}};
  const double r[3] = {sy, syc, sys};
  const auto det3 = [](const double a[3][3]) {
    return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
           a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
           a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  };
  const double det = det3(m);
  const double scale = static_cast<double>(n) * static_cast<double>(n) * static_cast<double>(n);
  if (!(std::abs(det) > 1e-9 * scale)) return std::nullopt;
  double unknowns[3];
  for (int column = 0; column < 3; ++column) {
    double replaced[3][3];
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) replaced[i][j] = j == column ? r[i] : m[i][j];
    }
    unknowns[column] = det3(replaced) / det;
  }
  return SineFit{unknowns[0], unknowns[1], unknowns[2]};
}

}  // namespace tavril
