#include <filesystem>
#include <stop_token>

#include "acquisition/acquisition_settings.h"
#include "acquisition/comedi/default_boards.h"
#include "acquisition/frequency_response.h"
#include "acquisition/frequency_sweep_plan.h"
#include "board_session.h"
#include "config/config_file.h"
#include "model/spare_samples.h"
#include "text/text_encoding.h"

namespace tavril::python {

MessageAnswer CollectingUser::ShowMessage(const MessageBoxRequest& box) {
  std::string_view text = box.text;
  // A question's last paragraph asks what to do: Python has stopped already.
  if (box.buttons != MessageButtons::kOk) {
    const std::size_t last = text.rfind("\n\n");
    if (last != std::string_view::npos) text = text.substr(0, last);
  }
  std::string line;
  for (const char c : text) {
    if (c != '\r') line += c == '\n' ? ' ' : c;
  }
  const std::lock_guard lock(mutex_);
  lines_.push_back(line);
  switch (box.buttons) {
    case MessageButtons::kOk:
      return MessageAnswer::kOk;
    case MessageButtons::kOkCancel:
      return MessageAnswer::kCancel;
    case MessageButtons::kYesNo:
      return MessageAnswer::kNo;
  }
  return MessageAnswer::kNo;
}

std::string CollectingUser::Text() const {
  const std::lock_guard lock(mutex_);
  std::string text;
  for (const std::string& line : lines_) text += (text.empty() ? "" : " ") + line;
  return text;
}

std::vector<std::string> CollectingUser::Lines() const {
  const std::lock_guard lock(mutex_);
  return lines_;
}

ChannelSelection SelectionOf(const std::vector<int>& channels) {
  std::string listed;
  for (const int c : channels) listed += (listed.empty() ? "" : ",") + std::to_string(c);
  bool valid = !channels.empty();
  if (channels.size() == 1) {
    valid = channels[0] >= 0 && channels[0] < kChannelCount;
  } else {
    for (std::size_t i = 0; i < channels.size(); ++i) valid = valid && channels[i] == int(i);
    valid = valid && channels.size() <= kChannelCount;
  }
  if (!valid) RaiseError("Voies non valides : " + listed + " (une voie de 0 à 7, ou 0 à N)");
  ChannelSelection selected{};
  for (const int c : channels) selected[c] = true;
  return selected;
}

void ConfigureInputs(BoardSession& session) {
  CollectingUser user;
  if (!ConfigureBoard(*session.boards, user, session.config.device, session.config.inputMode,
                      session.config.polar))
    RaiseError(user.Text());
}

RunOutputs::RunOutputs(Board& board, const std::vector<GeneratedOutput>& waves)
    : board_(board), player_(board) {
  if (waves.empty()) return;
  const GeneratedOutputsPlan plan = PlanGeneratedOutputs(board, waves);
  if (!plan.refusal.empty()) {
    RaiseError(plan.refusedOutput
                   ? "Sortie " + std::to_string(*plan.refusedOutput) + " : " + plan.refusal
                   : plan.refusal);
  }
  const py::object warn = py::module_::import("warnings").attr("warn");
  for (const GeneratedOutputsPlan::Warning& warning : plan.warnings)
    warn("Sortie " + std::to_string(warning.output) + " : " + warning.text);
  const DaqStatus status = player_.Start(plan.played, plan.updateRate, true);
  if (status != kDaqNoError) RaiseError(board.StatusMessage(status));
  playing_ = true;
}

RunOutputs::~RunOutputs() {
  Stop();
}

std::string RunOutputs::Stop() {
  if (!playing_) return {};
  playing_ = false;
  const DaqStatus status = player_.Stop();
  if (status == kDaqNoError) return {};
  return "les sorties se sont arrêtées pendant la mesure : " + board_.StatusMessage(status);
}

namespace {

BoardHandle OpenBoard(std::optional<int> device, const std::optional<std::string>& folder) {
  auto session = std::make_shared<BoardSession>();
  session->config = DefaultBoardConfig();
  std::error_code error;
  const std::filesystem::path directory =
      folder ? std::filesystem::path(*folder) : std::filesystem::current_path(error);
  if (!error) ReadConfigFile(session->config, directory);
  if (device) session->config.device = static_cast<std::int16_t>(*device);
  session->boards = MakeDefaultBoards();
  return session;
}

std::vector<RecordHandle> Acquire(BoardSession& session, const std::vector<int>& channels,
                                  std::uint32_t count, double rate, std::int16_t gain,
                                  double scanRate, const std::string& title,
                                  const std::vector<GeneratedOutput>& generate) {
  const ChannelSelection selected = SelectionOf(channels);
  ConfigureInputs(session);
  ChannelTable table{};
  PrepareRecords(table, selected, {rate, count, gain, Utf8ToWindows1252(title), scanRate},
                 session.config.device);
  CollectingUser user;
  const std::optional<AcquisitionPlan> plan =
      PlanAcquisition(table, selected, scanRate, session.config);
  if (!plan) RaiseError("Aucune voie choisie");
  Board& board = session.board();
  RunOutputs outputs(board, generate);
  SpareSamples buffers;
  AcquisitionResult result;
  std::stop_source stop;
  RunInterruptibly([&] { result = RunAcquisition(*plan, board, user, buffers, stop.get_token()); },
                   [&] {
                     outputs.Halt();
                     stop.request_stop();
                   });
  // What was read while the outputs failed answers another stimulus.
  if (const std::string failure = outputs.Stop(); !failure.empty()) RaiseError(failure);
  const std::size_t told = user.Lines().size();
  if (!FinishAcquisition(*plan, result, table, buffers, user)) RaiseError(user.Text());
  const py::object warn = py::module_::import("warnings").attr("warn");
  const std::vector<std::string> lines = user.Lines();
  for (std::size_t i = told; i < lines.size(); ++i) warn(lines[i]);
  std::vector<RecordHandle> records;
  for (int c = 0; c < kChannelCount; ++c) {
    if (selected[c]) records.push_back(MakeRecord(std::move(table[c]), c));
  }
  return records;
}

py::dict Bode(BoardSession& session, int output, int stimulus, int response, double start,
              double stop, int points, double amplitude) {
  ConfigureInputs(session);
  SweepSettings settings;
  settings.outputs = {output};
  settings.stimulus = stimulus;
  settings.response = response;
  settings.fromHz = start;
  settings.toHz = stop;
  settings.points = points;
  settings.amplitude = amplitude;
  Board& board = session.board();
  if (const std::string refusal = SweepRefusal(board, settings); !refusal.empty())
    RaiseError(refusal);
  std::stop_source stopping;
  SweepResult result;
  RunInterruptibly([&] { result = RunFrequencySweep(board, settings, stopping.get_token()); },
                   [&] { stopping.request_stop(); });
  if (result.end == SweepEnd::kRefused || result.end == SweepEnd::kFailed)
    RaiseError(result.message + " Les sorties sont à 0 V.");
  const std::size_t n = result.points.size();
  py::array_t<double> hz(n), gain(n), phase(n);
  py::array_t<bool> clipped(n);
  for (std::size_t i = 0; i < n; ++i) {
    hz.mutable_data()[i] = result.points[i].hz;
    gain.mutable_data()[i] = result.points[i].gainDb;
    phase.mutable_data()[i] = result.points[i].phaseDegrees;
    clipped.mutable_data()[i] = result.points[i].clipped;
  }
  py::dict out;
  out["frequency"] = hz;
  out["gain_db"] = gain;
  out["phase_deg"] = phase;
  out["clipped"] = clipped;
  return out;
}

}  // namespace

void BindBoards(py::module_& m) {
  py::class_<BoardSession, BoardHandle> board(m, "Board", R"(A board, by device number.

Board() is the device TAVRIL.INI names in the current folder (or in
`config_folder`), its defaults (device 1, the simulated board) without one;
Board(device=2) another. Inputs are set as TAVRIL.INI says before each run.)");
  board
      .def(py::init(&OpenBoard), py::arg("device") = py::none(),
           py::arg("config_folder") = py::none())
      .def_property_readonly(
          "device", [](const BoardSession& s) { return s.config.device; }, "The device number.")
      .def_property_readonly(
          "description",
          [](const BoardSession& s) { return s.boards->DescribeDevice(s.config.device); },
          "What serves the device, in French, as tavril-cli says it.")
      .def("acquire", &Acquire, py::arg("channels"), py::arg("count") = 1000,
           py::arg("rate") = 100000.0, py::arg("gain") = 1, py::arg("scan_rate") = 0.0,
           py::arg("title") = "", py::arg("generate") = std::vector<GeneratedOutput>{},
           R"(Acquires `count` samples of each channel as the acquisition panel and
`tavril-cli acquire` do: channels is one channel ([3]) or 0 to N
(range(4)); rate: conversions per second shared by the channels, as the
panel's rate (each channel's records at rate / N), unless scan_rate gives
the scans per second; gain: a gain code. generate: waves
(tavril.Sine...) the outputs play during it, started with the input, at
0 V after it. Returns a list of Records, slot = channel. The GIL is
released while the board reads; Ctrl+C stops it, outputs at 0 V, and
raises KeyboardInterrupt.)")
      .def(
          "zero_outputs",
          [](BoardSession& s) {
            const DaqStatus status = s.board().ZeroOutputs();
            if (status != kDaqNoError)
              RaiseError("les sorties n'ont pas été mises à 0 V : " +
                         s.board().StatusMessage(status));
          },
          "Puts every analog output of the board at 0 V.");
  BindStream(m, board);
  BindRecord(board);
  m.def("bode", &Bode, py::arg("board"), py::arg("output"), py::arg("stimulus"),
        py::arg("response"), py::arg("start"), py::arg("stop"), py::arg("points"),
        py::arg("amplitude") = 1.0,
        R"(The frequency response of a circuit, as `tavril-cli bode` measures it:
`output` plays a sine of `amplitude` V peak at `points` frequencies spread
logarithmically from `start` to `stop` Hz; input `stimulus` reads it where
it enters the circuit, `response` where it leaves it. Returns a dict of
numpy arrays: frequency (Hz), gain_db, phase_deg (in (-180, 180]) and
clipped. Outputs at 0 V after every point and at the end; Ctrl+C stops
it and raises KeyboardInterrupt.)");
}

}  // namespace tavril::python
