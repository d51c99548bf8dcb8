#include "acquisition/frequency_response_text.h"

#include <algorithm>
#include <cmath>

#include "text/number_text.h"

namespace tavril {

std::string FrequencyResponseCsvRow(const FrequencyPoint& point) {
  std::string row;
  AppendShortestDecimals(row, point.hz);
  row += ',';
  AppendShortestDecimals(row, point.gainDb);
  row += ',';
  AppendShortestDecimals(row, point.phaseDegrees);
  return row + '\n';
}

std::string FrequencyResponseCsv(std::span<const FrequencyPoint> points) {
  std::string text(kFrequencyResponseCsvHeader);
  for (const FrequencyPoint& point : points) text += FrequencyResponseCsvRow(point);
  return text;
}

std::string FrequencyPointText(const FrequencyPoint& point) {
  // Five significant digits of frequency, at most three decimals.
  const int decimals =
      std::clamp(4 - static_cast<int>(std::floor(std::log10(std::max(point.hz, 1e-3)))), 0, 3);
  std::string text = FormatFixed(point.hz, decimals) + " Hz : gain " +
                     FormatFixed(point.gainDb, 3) + " dB, phase " +
                     FormatFixed(point.phaseDegrees, 2) + "°";
  if (point.clipped) text += " (écrêtée)";
  return text;
}

}  // namespace tavril
