#pragma once

#include <span>
#include <string>
#include <string_view>

#include "acquisition/frequency_response.h"

// What a frequency response says in words and as CSV, the same in the
// Réponse en fréquence window and in tavril-cli bode. Numbers are written
// with a point, whatever the locale.

namespace tavril {

inline constexpr std::string_view kFrequencyResponseCsvHeader = "frequence_hz,gain_db,phase_deg\n";

// One point as a CSV line: the shortest plain decimals that read back exactly.
std::string FrequencyResponseCsvRow(const FrequencyPoint& point);
// The header, then every point.
std::string FrequencyResponseCsv(std::span<const FrequencyPoint> points);

// "1000 Hz : gain 6.021 dB, phase -90.00°", "(écrêtée)" after a clipped point.
std::string FrequencyPointText(const FrequencyPoint& point);

}  // namespace tavril
