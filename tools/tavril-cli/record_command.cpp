#include "record_command.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "acquire_command.h"
#include "acquisition/acquisition_settings.h"
#include "acquisition/comedi/default_boards.h"
#include "acquisition/recording_run.h"
#include "acquisition/simulated_board.h"
#include "acquisition/stream_clock.h"
#include "cli_files.h"
#include "console_user.h"
#include "files/disk_space.h"
#include "files/hdf5_recording.h"
#include "generated_outputs.h"
#include "record_progress.h"
#include "stop_signals.h"
#include "text/number_text.h"
#include "text/size_text.h"

namespace tavril::cli {
namespace {

// Samples per channel the run keeps for a display; the command shows none.
constexpr std::uint32_t kWindow = 1024;
constexpr auto kPoll = std::chrono::milliseconds(20);
constexpr auto kProgressInterval = std::chrono::milliseconds(500);

// The run's trigger: a sweep mode when the user gave one, else a rolling display.
RunTrigger TriggerOf(const RecordRequest& request) {
  if (!request.trigger) return {};
  return {SweepMode::kNormal, request.trigger->channel, request.trigger->level,
          request.trigger->edge};
}

// The progress line, rewritten in place on a terminal.
class ProgressLine {
 public:
  ProgressLine(std::ostream& err, std::filesystem::path path)
      : err_(err), path_(std::move(path)), shown_(::isatty(STDERR_FILENO) == 1) {}

  void Show(const ContinuousSnapshot& run) {
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || now - last_ < kProgressInterval || run.rateUsed == 0.0) return;
    last_ = now;
    const double seconds = static_cast<double>(run.samplesRecorded) / run.rateUsed;
    std::string text =
        ProgressText(seconds, run.samplesRecorded, run.bytesRecorded, FreeDiskBytes(path_));
    const std::size_t length = text.size();
    // Spaces wipe what a longer line before left.
    text.resize(std::max(length, width_), ' ');
    width_ = length;
    err_ << '\r' << text << std::flush;
  }

  void Clear() {
    if (shown_ && width_ > 0) err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
    width_ = 0;
  }

 private:
  std::ostream& err_;
  std::filesystem::path path_;
  bool shown_;
  std::size_t width_ = 0;
  std::chrono::steady_clock::time_point last_;
};

// One line: the file, its channels, the samples per channel, their time, the size.
void PrintSummary(std::ostream& out, const std::string& path, std::size_t channels,
                  std::uint64_t samples, double rate) {
  std::error_code error;
  const std::uintmax_t bytes = std::filesystem::file_size(path, error);
  out << path << " : " << channels << " voie(s), " << samples << " échantillons par voie, "
      << FormatFixed(static_cast<double>(samples) / rate, 3) << " s à " << ShortestText(rate)
      << " échantillons/s, " << SizeText(error ? 0 : bytes) << '\n';
}

}  // namespace

int RunRecord(const CommandLine& command, std::ostream& out, std::ostream& err) {
  const RecordRequest& request = command.record;
  if (!MayReplace(request.output, command.force, err)) return 1;
  const int first = request.firstChannel == request.lastChannel ? request.firstChannel : 0;
  ChannelSelection selected{};
  for (int channel = first; channel <= request.lastChannel; ++channel) selected[channel] = true;

  const BoardConfig config = ConfigOfThisDirectory();
  // Unpaced, the simulated board and the run share a clock that is always
  // where the run waits: the same readings, never a wait.
  InstantStreamClock instant;
  StreamClock& clock = request.unpaced ? static_cast<StreamClock&>(instant) : SteadyClock();
  std::unique_ptr<Boards> boards = MakeDefaultBoards({.simulatedClock = &clock});
  ConsoleUser user(err);
  out << "Périphérique " << config.device << " : " << boards->DescribeDevice(config.device) << '\n';
  if (request.unpaced && dynamic_cast<SimulatedBoard*>(&boards->For(config.device)) == nullptr) {
    ReportError(err,
                "L'option --unpaced ne vaut que pour la carte simulée : une vraie carte donne "
                "ses mesures à son propre rythme.");
    return 1;
  }
  if (!ConfigureBoard(*boards, user, config.device, config.inputMode, config.polar)) return 1;

  ChannelTable table{};
  PrepareRecords(table, selected, {request.rate, 3, request.gain, "", request.scanRate},
                 config.device);
  const std::optional<AcquisitionPlan> plan =
      PlanAcquisition(table, selected, request.scanRate, config);
  if (!plan) return 1;
  Board& board = boards->For(config.device);
  std::unique_ptr<Hdf5Recording> recording;  // outlives the run that writes to it
  RecordingRun run(clock);
  const TriggerProblem problem =
      run.Configure(board, {*plan, kWindow, TriggerOf(request), request.durationSeconds});
  // The file keeps every sample all the same: a warning, not a refusal.
  if (problem.unreachable) {
    err << "tavril-cli: attention : " << *problem.unreachable
        << " Aucun balayage ne se déclenchera ; le fichier garde chaque échantillon.\n";
  }
  const double rateAsked = run.RateAsked();
  const std::unique_ptr<GeneratedOutputs> outputs =
      GeneratedOutputs::Start(board, command.generate, out, err);
  if (!outputs) return 1;

  std::vector<RecordingChannel> recorded;
  const auto startedAt = std::chrono::system_clock::now();
  for (const int chan : plan->request.channels) {
    recorded.push_back({chan, "", config.device, static_cast<std::int16_t>(chan), request.gain,
                        rateAsked, startedAt});
  }
  std::string why;
  recording = Hdf5Recording::Create(request.output, recorded, &why);
  if (!recording) {
    ReportError(err, why);
    return 1;
  }
  const StopSignals signals;
  if (!run.Start(recording.get())) {
    ReportError(err, "L'enregistrement continu n'a pas pu démarrer");
    return 1;
  }

  ProgressLine progress(err, request.output);
  ContinuousSnapshot snapshot;
  for (;;) {
    std::this_thread::sleep_for(kPoll);
    const std::optional<double> rateUsed = run.Watch(snapshot);
    if (!snapshot.running || signals.Caught() || outputs->Failed()) break;
    if (rateUsed) {
      err << "Cadence réelle de la carte : " << ShortestText(*rateUsed)
          << " échantillons/s par voie (" << ShortestText(rateAsked) << " demandés)\n";
    }
    progress.Show(snapshot);
  }
  run.Stop();
  run.Watch(snapshot);
  progress.Clear();
  const bool outputsHeld = outputs->Stop(err);

  const ContinuousOutcome outcome = snapshot.outcome.value_or(ContinuousOutcome{});
  const bool closed = recording->Close(&why);
  const std::uint64_t kept = recording->SamplesPerChannel();
  if (!recording->InPlace()) {
    // The board refused to start: any file there stays as it was.
    ReportError(err, outcome.message);
    return 1;
  }
  if (outcome.end == ContinuousEnd::kStoppedByUser && !closed) ReportError(err, why);
  if (outcome.end != ContinuousEnd::kStoppedByUser) {
    // The sink's own message already says what the file keeps.
    ReportError(err, outcome.end == ContinuousEnd::kSinkError
                         ? outcome.message
                         : outcome.message + " Le fichier garde les " + std::to_string(kept) +
                               " échantillons par voie enregistrés.");
  }
  PrintSummary(out, request.output, plan->request.channels.size(), kept,
               snapshot.rateUsed > 0.0 ? snapshot.rateUsed : rateAsked);
  return outcome.end == ContinuousEnd::kStoppedByUser && closed && outputsHeld ? 0 : 1;
}

}  // namespace tavril::cli
