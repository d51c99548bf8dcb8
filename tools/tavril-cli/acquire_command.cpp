#include "acquire_command.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "acquisition/acquisition_engine.h"
#include "acquisition/acquisition_settings.h"
#include "acquisition/comedi/default_boards.h"
#include "cli_files.h"
#include "config/config_file.h"
#include "console_user.h"
#include "generated_outputs.h"
#include "model/messages.h"
#include "stop_signals.h"
#include "text/text_encoding.h"

namespace tavril::cli {
namespace {

std::string OutputPath(const std::string& prefix, int channel) {
  return prefix + std::to_string(channel) + ".tvr";
}

}  // namespace

BoardConfig ConfigOfThisDirectory() {
  BoardConfig config = DefaultBoardConfig();
  std::error_code error;
  const std::filesystem::path directory = std::filesystem::current_path(error);
  if (!error) ReadConfigFile(config, directory);
  return config;
}

int RunZeroOutputs(std::ostream& out, std::ostream& err) {
  const BoardConfig config = ConfigOfThisDirectory();
  std::unique_ptr<Boards> boards = MakeDefaultBoards();
  out << "Périphérique " << config.device << " : " << boards->DescribeDevice(config.device) << '\n';
  Board& board = boards->For(config.device);
  const DaqStatus status = board.ZeroOutputs();
  if (status != kDaqNoError) {
    ReportError(err, "les sorties n'ont pas été mises à 0 V : " + board.StatusMessage(status));
    return 1;
  }
  out << "Chaque sortie analogique est à 0 V.\n";
  return 0;
}

int RunAcquire(const CommandLine& command, std::ostream& out, std::ostream& err) {
  const AcquireRequest& request = command.acquire;
  const int first = request.firstChannel == request.lastChannel ? request.firstChannel : 0;

  std::vector<int> channels;
  for (int channel = first; channel <= request.lastChannel; ++channel) {
    channels.push_back(channel);
    if (!MayReplace(OutputPath(request.outputPrefix, channel), command.force, err)) return 1;
  }

  ChannelTable table{};
  const BoardConfig config = ConfigOfThisDirectory();
  std::unique_ptr<Boards> boards = MakeDefaultBoards();
  ConsoleUser user(err);
  out << "Périphérique " << config.device << " : " << boards->DescribeDevice(config.device) << '\n';
  if (!ConfigureBoard(*boards, user, config.device, config.inputMode, config.polar)) return 1;

  // The records get the request's values before the acquisition, as the panel's.
  ChannelSelection selected{};
  for (const int channel : channels) selected[channel] = true;
  PrepareRecords(table, selected,
                 {request.rate, request.count, request.gain, Utf8ToWindows1252(request.title),
                  request.scanRate},
                 config.device);
  const std::unique_ptr<GeneratedOutputs> outputs =
      GeneratedOutputs::Start(boards->For(config.device), command.generate, out, err);
  if (!outputs) return 1;
  // While outputs play, Ctrl+C or SIGTERM puts them at 0 V at once rather
  // than leaving a real board driving them; the acquisition, bounded by its
  // time-out, ends as it would.
  std::optional<StopSignals> signals;
  std::jthread watcher;
  if (!command.generate.empty()) {
    signals.emplace();
    watcher = std::jthread([&outputs, &signals](const std::stop_token& done) {
      while (!done.stop_requested() && !signals->Caught()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      if (signals->Caught()) outputs->Halt();
    });
  }
  SpareSamples buffers;
  const bool acquired =
      AcquireChannels({*boards, user, config, buffers}, table, selected, request.scanRate);
  if (watcher.joinable()) {
    watcher.request_stop();
    watcher.join();
  }
  if (signals && signals->Caught()) {
    outputs->Stop(err);
    ReportError(err, "Interrompu : les sorties ont été mises à 0 V ; aucun fichier n'est écrit.");
    return 1;
  }
  // What was read while the outputs failed answers another stimulus: no file.
  if (!outputs->Stop(err) || !acquired) return 1;

  for (const int channel : channels) {
    const std::string path = OutputPath(request.outputPrefix, channel);
    if (!WriteRecord(path, table[channel], err)) return 1;
    out << "Canal " << channel << " : " << path << '\n';
  }
  return 0;
}

}  // namespace tavril::cli
