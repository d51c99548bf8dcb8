#include "acquisition/rate_refusal.h"

#include "acquisition/daq_status.h"
#include "text/rate_text.h"

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
