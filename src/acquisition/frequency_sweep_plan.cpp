#include "acquisition/frequency_sweep_plan.h"

#include <algorithm>
#include <cmath>

#include "acquisition/gain_codes.h"
#include "text/number_text.h"

namespace tavril {
namespace {

constexpr std::size_t kMaxPeriodUpdates = 100000;
constexpr double kMinUpdatesPerPeriod = 10.0;
constexpr double kMinScansPerPeriod = 4.0;
constexpr double kScansPerPeriod = 64.0;
// 2 - φ: scans fall a golden fraction of an update further each time.
constexpr double kGoldenFraction = 0.3819660112501051;
constexpr int kMaxPoints = 10000;
constexpr std::int16_t kGainCodes[] = {-1, 1, 2, 5, 10, 20, 50, 100};

std::string Hz(double hz) {
  return ShortestText(hz) + " Hz";
}

int PointCount(const SweepSettings& settings) {
  if (settings.pointsPerDecade > 0.0 && settings.toHz > settings.fromHz) {
    const double decades = std::log10(settings.toHz / settings.fromHz);
    return static_cast<int>(std::ceil(settings.pointsPerDecade * decades - 1e-9)) + 1;
  }
  return settings.points;
}

}  // namespace

std::vector<double> SweepFrequencies(const SweepSettings& settings) {
  const int count = PointCount(settings);
  std::vector<double> frequencies;
  if (count < 1) return frequencies;
  if (count == 1 || settings.toHz == settings.fromHz) return {settings.fromHz};
  for (int i = 0; i < count; ++i) {
    const double x = static_cast<double>(i) / (count - 1);
    frequencies.push_back(settings.spacing == FrequencySpacing::kLogarithmic
                              ? settings.fromHz * std::pow(settings.toHz / settings.fromHz, x)
                              : settings.fromHz + (settings.toHz - settings.fromHz) * x);
  }
  frequencies.back() = settings.toHz;
  return frequencies;
}

SweepPoint PlanSweepPoint(const SweepSettings& settings, double hz, double maxUpdateRate) {
  SweepPoint point;
  point.hz = hz;
  point.periodUpdates = std::clamp<std::size_t>(
      static_cast<std::size_t>(std::floor(maxUpdateRate / hz)), 1, kMaxPeriodUpdates);
  point.updateRate = static_cast<double>(point.periodUpdates) * hz;
  const double wanted = std::min(settings.conversionRate / 2.0, hz * kScansPerPeriod);
  const double whole = std::max(0.0, std::ceil(point.updateRate / wanted - kGoldenFraction));
  point.scanRate = point.updateRate / (whole + kGoldenFraction);
  const double settling = std::max(settings.settlingPeriods / hz, settings.minSettlingSeconds);
  point.settlingScans = static_cast<std::uint64_t>(std::ceil(settling * point.scanRate));
  const double periods =
      std::ceil(std::max(settings.measuringPeriods, settings.minMeasuringSeconds * hz) - 1e-9);
  point.measuringScans = static_cast<std::uint64_t>(std::llround(periods * point.scanRate / hz));
  return point;
}

std::vector<InputRange> InputRanges(Board& board, int channel) {
  std::vector<InputRange> ranges;
  for (const std::int16_t gain : kGainCodes) {
    ReadingConversion conversion;
    if (board.ScaleFor(channel, gain, conversion.scale) != kDaqNoError) continue;
    const double volts = std::min(std::abs(conversion.Volts(conversion.scale.lowestReading)),
                                  std::abs(conversion.Volts(conversion.scale.highestReading)));
    if (volts > 0.0) ranges.push_back({gain, volts});
  }
  std::sort(ranges.begin(), ranges.end(),
            [](const InputRange& a, const InputRange& b) { return a.volts > b.volts; });
  return ranges;
}

const InputRange* NarrowestHolding(const std::vector<InputRange>& ranges, double volts) {
  const InputRange* chosen = nullptr;
  for (const InputRange& range : ranges) {
    if (range.volts >= volts) chosen = &range;
  }
  return chosen;
}

double SweepUpdateRate(Board& board, const SweepSettings& settings) {
  double rate = 0.0;
  for (const OutputDescription& output : board.Outputs()) {
    if (std::find(settings.outputs.begin(), settings.outputs.end(), output.channel) ==
        settings.outputs.end())
      continue;
    rate = rate == 0.0 ? output.maxUpdateRate : std::min(rate, output.maxUpdateRate);
  }
  return rate;
}

std::string SweepRefusal(Board& board, const SweepSettings& settings) {
  const std::vector<OutputDescription> outputs = board.Outputs();
  if (outputs.empty()) return "Cette carte n'a pas de sortie analogique.";
  if (settings.outputs.empty()) return "Aucune sortie ne joue le sinus.";
  double highVolts = 0.0;
  for (const int wanted : settings.outputs) {
    const auto found =
        std::find_if(outputs.begin(), outputs.end(),
                     [&](const OutputDescription& d) { return d.channel == wanted; });
    if (found == outputs.end() || found->ranges.empty()) {
      return "La carte n'a pas de sortie " + std::to_string(wanted) + " (sorties 0 à " +
             std::to_string(outputs.size() - 1) + ").";
    }
    const OutputRange& range = found->ranges.front();
    const double reach = std::min(-range.lowVolts, range.highVolts);
    highVolts = highVolts == 0.0 ? reach : std::min(highVolts, reach);
  }
  if (settings.stimulus == settings.response) {
    return "La stimulation et la réponse doivent être lues sur deux entrées différentes (ici " +
           std::to_string(settings.stimulus) + " et " + std::to_string(settings.response) + ").";
  }
  for (const int input : {settings.stimulus, settings.response}) {
    if (InputRanges(board, input).empty()) {
      return "L'entrée " + std::to_string(input) +
             " ne mesure pas un sinus centré sur 0 V : la carte n'a pas cette entrée, ou ses "
             "entrées sont unipolaires.";
    }
  }
  if (!(settings.fromHz > 0.0 && std::isfinite(settings.toHz) &&
        settings.toHz >= settings.fromHz)) {
    return "Les fréquences doivent être positives, la première au plus égale à la dernière.";
  }
  const int count = PointCount(settings);
  if (count < 1 || count > kMaxPoints || (count < 2 && settings.toHz != settings.fromHz)) {
    return "Le balayage compte de 2 à " + std::to_string(kMaxPoints) + " points.";
  }
  if (!(settings.settlingPeriods >= 0.0 && settings.measuringPeriods >= 1.0 &&
        settings.minSettlingSeconds >= 0.0 && settings.minMeasuringSeconds >= 0.0)) {
    return "Il faut au moins une période mesurée, et une attente positive ou nulle.";
  }
  if (!(settings.amplitude > 0.0 && settings.amplitude <= highVolts)) {
    return "L'amplitude de " + ShortestText(settings.amplitude) +
           " V n'est pas de celles que la sortie joue (plus de 0 V, au plus " +
           ShortestText(highVolts) + " V).";
  }
  const std::vector<InputRange> stimulusRanges = InputRanges(board, settings.stimulus);
  if (NarrowestHolding(stimulusRanges, settings.amplitude * kStimulusHeadroom) == nullptr) {
    return "L'amplitude de " + ShortestText(settings.amplitude) + " V dépasse ce que l'entrée " +
           std::to_string(settings.stimulus) + " mesure (±" +
           ShortestText(stimulusRanges.front().volts) + " V au plus, avec une marge de 5 %).";
  }
  const double updateRate = SweepUpdateRate(board, settings);
  const double outputTop = updateRate / kMinUpdatesPerPeriod;
  if (settings.toHz > outputTop) {
    return "La fréquence de " + Hz(settings.toHz) + " dépasse ce que la sortie joue : au plus " +
           Hz(outputTop) + " (" + ShortestText(kMinUpdatesPerPeriod) +
           " mises à jour par période à " + ShortestText(updateRate) +
           " mises à jour par seconde).";
  }
  const double inputTop = settings.conversionRate / 2.0 / kMinScansPerPeriod;
  if (!(settings.toHz <= inputTop)) {
    return "La fréquence de " + Hz(settings.toHz) +
           " dépasse ce que les entrées mesurent : au plus " + Hz(inputTop) + " (" +
           ShortestText(kMinScansPerPeriod) + " mesures par période de chaque entrée à " +
           ShortestText(settings.conversionRate) + " conversions par seconde).";
  }
  return {};
}

}  // namespace tavril
