#include "acquisition/rate_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "acquisition/daq_status.h"

namespace tavril {

std::string RateText(double value) {
  if (!std::isfinite(value)) return "?";
  constexpr int kSignificant = 6;
  const int magnitude =
      value == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::abs(value))));
  const int decimals = std::clamp(kSignificant - 1 - magnitude, 0, 9);
  char text[64];
  const auto [end, error] =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return "?";
  std::string out(text, end);
  if (out.find('.') != std::string::npos) {
    out.erase(out.find_last_not_of('0') + 1);
    if (out.back() == '.') out.pop_back();
  }
  return out;
}

}  // namespace tavril

namespace tavril {
namespace {

std::string Channels(std::size_t channels) {
  return std::to_string(channels) + (channels > 1 ? " voies" : " voie");
}

}  // namespace

std::string RateRefusal(const std::string& limit) {
  std::string text(DaqStatusExplanation(kBadIntervalError));
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text + " : " + limit + ".";
}

std::string ConversionLimit(double maxConversions, std::size_t channels) {
  std::string text = "au plus " + RateText(maxConversions) + " conversions par seconde en tout";
  if (channels <= 1) return text;
  return text + ", soit " + RateText(maxConversions / static_cast<double>(channels)) +
         " échantillons par seconde et par voie avec " + Channels(channels);
}

std::string ScanRateBeyondSampleRate(double sampleRate, double scanRate, std::size_t channels) {
  const auto n = static_cast<double>(channels);
  return RateRefusal(Channels(channels) + " à " + RateText(scanRate) +
                     " balayages par seconde font " + RateText(scanRate * n) +
                     " conversions par seconde, plus que les " + RateText(sampleRate) +
                     " demandées ; au plus " + RateText(sampleRate / n) + " balayages par seconde");
}

}  // namespace tavril
