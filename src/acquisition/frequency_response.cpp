#include "acquisition/frequency_response.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <numbers>
#include <optional>

#include "acquisition/scan_timing.h"
#include "model/sine_fit.h"
#include "model/volt_scale.h"
#include "text/number_text.h"

namespace tavril {
namespace {

// A response below this share of its range is read again at a higher gain.
constexpr double kResponseHeadroom = 1.5;
constexpr int kMaxReadings = 4;        // per point, the first included
constexpr double kReadSeconds = 0.05;  // a stop is seen between reads this long
// A stimulus below this share of the amplitude played is not there at all.
constexpr double kLeastStimulus = 0.01;

// What one run of the sine gave an input.
struct InputReading {
  std::optional<SineFit> fit;
  bool clipped = false;
};

enum class RunEnd { kRead, kStopped, kFailed };

// Ends the input and the output run, whatever way the reading ends.
class RunGuard {
 public:
  explicit RunGuard(Board& board) : board_(board) {}
  ~RunGuard() {
    board_.Stop();
    board_.StopOutput();
  }
  RunGuard(const RunGuard&) = delete;
  RunGuard& operator=(const RunGuard&) = delete;

 private:
  Board& board_;
};

class PointReader {
 public:
  PointReader(Board& board, const SweepSettings& settings, std::stop_token stop)
      : board_(board), settings_(settings), stop_(std::move(stop)) {}

  // Plays the point's sine from rest and reads `channels` at `gain`.
  RunEnd Read(const SweepPoint& point, const std::vector<int>& channels, std::int16_t gain,
              std::vector<InputReading>& readings, std::string& why);

 private:
  Board& board_;
  const SweepSettings& settings_;
  std::stop_token stop_;
};

RunEnd PointReader::Read(const SweepPoint& point, const std::vector<int>& channels,
                         std::int16_t gain, std::vector<InputReading>& readings, std::string& why) {
  OutputRequest output;
  output.channels = settings_.outputs;
  output.updateRate = point.updateRate;
  output.mode = OutputMode::kRegenerated;
  output.startWithInput = true;
  for (std::size_t k = 0; k < point.periodUpdates; ++k) {
    const double angle =
        2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(point.periodUpdates);
    output.volts.insert(output.volts.end(), settings_.outputs.size(),
                        settings_.amplitude * std::sin(angle));
  }
  RunGuard guard(board_);
  DaqStatus status = board_.StartOutput(output);
  if (status != kDaqNoError) {
    why = "la sortie n'a pas démarré : " + board_.StatusMessage(status);
    return RunEnd::kFailed;
  }
  AcquisitionRequest request{channels, gain, settings_.conversionRate, point.scanRate, 0};
  const std::uint64_t scans = point.settlingScans + point.measuringScans;
  status = board_.Start(request);
  if (status == kBadCountError) {
    // A board that cannot stream reads the same scans as a finite acquisition.
    request.scans = scans;
    status = board_.Start(request);
  }
  if (status != kDaqNoError) {
    why = "l'acquisition n'a pas démarré : " + board_.StatusMessage(status);
    return RunEnd::kFailed;
  }
  ScanTiming timing = ScanTiming::For(request);
  if (board_.RateUsed() > 0.0) timing.scanInterval = 1.0 / board_.RateUsed();

  const std::size_t width = channels.size();
  std::vector<VoltScale> scales(width);
  for (std::size_t j = 0; j < width; ++j) board_.ScaleFor(channels[j], gain, scales[j]);
  std::vector<std::vector<double>> volts(width);
  readings.assign(width, {});
  const std::uint64_t perRead =
      std::max<std::uint64_t>(1, static_cast<std::uint64_t>(kReadSeconds * point.scanRate));
  std::vector<BoardReading> buffer;
  for (std::uint64_t scan = 0; scan < scans;) {
    if (stop_.stop_requested()) return RunEnd::kStopped;
    const std::uint64_t count = std::min(perRead, scans - scan);
    buffer.resize(static_cast<std::size_t>(count) * width);
    const ReadResult result = board_.Read(buffer);
    if (result.status != kDaqNoError || result.count != buffer.size()) {
      why = "la lecture des entrées a échoué : " + board_.StatusMessage(result.status);
      return RunEnd::kFailed;
    }
    for (std::uint64_t i = 0; i < count; ++i) {
      if (scan + i < point.settlingScans) continue;
      for (std::size_t j = 0; j < width; ++j) {
        const BoardReading reading = buffer[static_cast<std::size_t>(i) * width + j];
        readings[j].clipped = readings[j].clipped || reading <= scales[j].lowestReading ||
                              reading >= scales[j].highestReading;
        volts[j].push_back(scales[j].Volts(reading, 1.0, 0.0));
      }
    }
    scan += count;
  }
  for (std::size_t j = 0; j < width; ++j) {
    const double first = timing.Seconds(point.settlingScans, j);
    readings[j].fit = FitSine(volts[j], first, timing.scanInterval, point.hz);
    if (!readings[j].fit) {
      why = "le sinus de l'entrée " + std::to_string(channels[j]) + " ne se dégage pas des mesures";
      return RunEnd::kFailed;
    }
  }
  return RunEnd::kRead;
}

double WrappedDegrees(double radians) {
  double degrees = radians * 180.0 / std::numbers::pi;
  if (degrees <= -180.0) degrees += 360.0;
  if (degrees > 180.0) degrees -= 360.0;
  return degrees;
}

// The gain the response is read at next, or none when the present one suits it.
std::optional<std::int16_t> BetterGain(const std::vector<InputRange>& ranges, std::int16_t present,
                                       const InputReading& response) {
  const auto at = std::find_if(ranges.begin(), ranges.end(),
                               [&](const InputRange& r) { return r.gain == present; });
  if (response.clipped) {
    if (at == ranges.begin() || at == ranges.end()) return std::nullopt;
    return std::prev(at)->gain;
  }
  const SineFit& fit = *response.fit;
  const InputRange* suits =
      NarrowestHolding(ranges, (std::abs(fit.offset) + fit.Amplitude()) * kResponseHeadroom);
  if (suits == nullptr || at == ranges.end() || suits->volts >= at->volts) return std::nullopt;
  return suits->gain;
}

}  // namespace

SweepResult RunFrequencySweep(Board& board, const SweepSettings& settings, std::stop_token stop,
                              const SweepProgress& progress) {
  SweepResult result;
  result.message = SweepRefusal(board, settings);
  if (!result.message.empty()) {
    board.StopOutput();
    result.end = SweepEnd::kRefused;
    return result;
  }
  const double updateRate = SweepUpdateRate(board, settings);
  const std::vector<InputRange> responseRanges = InputRanges(board, settings.response);
  const std::int16_t stimulusGain = NarrowestHolding(InputRanges(board, settings.stimulus),
                                                     settings.amplitude * kStimulusHeadroom)
                                        ->gain;
  const std::vector<double> frequencies = SweepFrequencies(settings);
  PointReader reader(board, settings, stop);
  for (const double hz : frequencies) {
    const SweepPoint point = PlanSweepPoint(settings, hz, updateRate);
    std::vector<InputReading> both;
    std::string why;
    RunEnd end =
        reader.Read(point, {settings.stimulus, settings.response}, stimulusGain, both, why);
    InputReading response = end == RunEnd::kRead ? both[1] : InputReading{};
    std::int16_t responseGain = stimulusGain;
    for (int round = 1; end == RunEnd::kRead && round < kMaxReadings; ++round) {
      const std::optional<std::int16_t> better = BetterGain(responseRanges, responseGain, response);
      if (!better) break;
      responseGain = *better;
      std::vector<InputReading> alone;
      end = reader.Read(point, {settings.response}, responseGain, alone, why);
      if (end == RunEnd::kRead) response = alone[0];
    }
    if (end != RunEnd::kRead) {
      result.end = end == RunEnd::kStopped ? SweepEnd::kCancelled : SweepEnd::kFailed;
      if (end == RunEnd::kFailed) result.message = "À " + ShortestText(hz) + " Hz, " + why + ".";
      return result;
    }
    const InputReading& stimulus = both[0];
    if (stimulus.fit->Amplitude() < kLeastStimulus * settings.amplitude) {
      result.end = SweepEnd::kFailed;
      result.message = "À " + ShortestText(hz) + " Hz, l'entrée " +
                       std::to_string(settings.stimulus) +
                       " ne reçoit pas le sinus de la sortie : vérifiez le câblage.";
      return result;
    }
    const std::complex<double> ratio = response.fit->Phasor() / stimulus.fit->Phasor();
    FrequencyPoint measured;
    measured.hz = hz;
    measured.gainDb = 20.0 * std::log10(std::abs(ratio));
    measured.phaseDegrees = WrappedDegrees(std::arg(ratio));
    measured.stimulusVolts = stimulus.fit->Amplitude();
    measured.responseVolts = response.fit->Amplitude();
    measured.responseGain = responseGain;
    measured.clipped = stimulus.clipped || response.clipped;
    result.points.push_back(measured);
    if (progress) progress(measured, result.points.size(), frequencies.size());
  }
  return result;
}

}  // namespace tavril
