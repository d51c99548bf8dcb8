#include "bode_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <ostream>
#include <stop_token>
#include <thread>

#include "acquire_command.h"
#include "acquisition/acquisition_engine.h"
#include "acquisition/comedi/default_boards.h"
#include "acquisition/frequency_response_text.h"
#include "cli_files.h"
#include "console_user.h"
#include "stop_signals.h"
#include "text/number_text.h"

namespace tavril::cli {
namespace {

constexpr std::size_t kColumnWidth = 16;

// Right-aligned in the column, counting characters rather than UTF-8 bytes.
std::string Column(const std::string& text) {
  std::size_t characters = 0;
  for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return std::string(kColumnWidth > characters ? kColumnWidth - characters : 1, ' ') + text;
}

// Five significant digits, at most six decimals.
std::string FrequencyText(double hz) {
  const int decimals = std::clamp(4 - static_cast<int>(std::floor(std::log10(hz))), 0, 6);
  return FormatFixed(hz, decimals);
}

}  // namespace

SweepSettings BodeSettings(const BodeRequest& request) {
  SweepSettings settings;
  settings.outputs = {request.output};
  settings.stimulus = request.stimulus;
  settings.response = request.response;
  settings.fromHz = request.fromHz;
  settings.toHz = request.toHz;
  settings.points = request.points;
  settings.amplitude = request.amplitude;
  return settings;
}

std::string BodeTableHeading() {
  return Column("Fréquence (Hz)") + Column("Gain (dB)") + Column("Phase (°)") + '\n';
}

std::string BodeTableRow(const FrequencyPoint& point) {
  std::string row = Column(FrequencyText(point.hz)) + Column(FormatFixed(point.gainDb, 3)) +
                    Column(FormatFixed(point.phaseDegrees, 2));
  if (point.clipped) row += "  (écrêtée)";
  return row + '\n';
}

std::string BodeCsvRow(const FrequencyPoint& point) {
  return FrequencyResponseCsvRow(point);
}

int RunBode(const CommandLine& command, std::ostream& out, std::ostream& err) {
  const BodeRequest& request = command.bode;
  const BoardConfig config = ConfigOfThisDirectory();
  std::unique_ptr<Boards> boards = MakeDefaultBoards();
  ConsoleUser user(err);
  // The table says which board measured; the CSV holds the points alone.
  std::ostream& about = request.csv ? err : out;
  about << "Périphérique " << config.device << " : " << boards->DescribeDevice(config.device)
        << '\n';
  about.flush();
  if (!ConfigureBoard(*boards, user, config.device, config.inputMode, config.polar)) return 1;
  Board& board = boards->For(config.device);
  const SweepSettings settings = BodeSettings(request);
  if (const std::string refusal = SweepRefusal(board, settings); !refusal.empty()) {
    ReportError(err, refusal);
    return 1;
  }
  about << "Sortie " << request.output << " : sinus de " << ShortestText(request.amplitude)
        << " V crête ; stimulation lue sur l'entrée " << request.stimulus
        << ", réponse sur l'entrée " << request.response << '\n';
  out << (request.csv ? std::string(kFrequencyResponseCsvHeader) : BodeTableHeading());
  out.flush();

  // Ctrl+C or SIGTERM stops the sweep between two reads of the board.
  const StopSignals signals;
  std::stop_source stop;
  std::jthread watcher([&signals, &stop](const std::stop_token& done) {
    while (!done.stop_requested() && !signals.Caught()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (signals.Caught()) stop.request_stop();
  });
  const SweepResult result = RunFrequencySweep(
      board, settings, stop.get_token(),
      [&](const FrequencyPoint& point, std::size_t, std::size_t) {
        out << (request.csv ? BodeCsvRow(point) : BodeTableRow(point));
        out.flush();
        if (point.clipped && request.csv) {
          err << "tavril-cli: attention : à " << ShortestText(point.hz)
              << " Hz, une entrée atteint le bout de sa gamme au gain le plus faible\n";
        }
      });
  watcher.request_stop();
  watcher.join();
  switch (result.end) {
    case SweepEnd::kFinished:
      return 0;
    case SweepEnd::kCancelled:
      ReportError(err, "Interrompu : les sorties ont été mises à 0 V.");
      return 1;
    default:
      ReportError(err, result.message + " Les sorties sont à 0 V.");
      return 1;
  }
}

}  // namespace tavril::cli
