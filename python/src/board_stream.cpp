#include <Python.h>

#include <algorithm>
#include <condition_variable>
#include <deque>

#include "acquisition/acquisition_settings.h"
#include "acquisition/daq_status.h"
#include "acquisition/recording_run.h"
#include "board_session.h"
#include "model/sample_sink.h"
#include "run_settings.h"

namespace tavril::python {
namespace {

constexpr auto kSignalCheck = std::chrono::milliseconds(20);

// Hands each block of the run to Python through a bounded queue, copied as
// (channels x scans) volts. A full queue means Python reads too slowly: the
// run then ends with the board's overrun message, never skipping a block.
class QueueSink final : public SampleSink {
 public:
  explicit QueueSink(std::size_t capacity) : capacity_(capacity) {}
  // Row r of each block takes the run's column order[r].
  void SetOrder(std::vector<std::size_t> order) { order_ = std::move(order); }

  bool Append(const SampleBlock& block, std::string* why) override {
    const std::size_t scans = block.Scans();
    std::vector<double> volts(block.volts.size() * scans);
    for (std::size_t r = 0; r < block.volts.size(); ++r) {
      const std::span<const double> column = block.volts[order_[r]];
      std::copy(column.begin(), column.end(), volts.begin() + r * scans);
    }
    const std::lock_guard lock(mutex_);
    if (queue_.size() >= capacity_) {
      *why = DaqStatusMessage(kOverWriteError);
      return false;
    }
    queue_.push_back(std::move(volts));
    samples_ += scans;
    arrived_.notify_all();
    return true;
  }
  bool Started(double samplesPerSecond, const ReadingConversion&, std::string*) override {
    rate_ = samplesPerSecond;
    return true;
  }
  bool Flush(std::string*) override { return true; }
  std::uint64_t SamplesPerChannel() const override {
    const std::lock_guard lock(mutex_);
    return samples_;
  }
  std::uint64_t BytesOnDisk() const override { return 0; }

  // The next block, waiting at most `wait` for one.
  std::optional<std::vector<double>> Take(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, wait, [&] { return !queue_.empty(); });
    if (queue_.empty()) return std::nullopt;
    std::vector<double> block = std::move(queue_.front());
    queue_.pop_front();
    return block;
  }

 private:
  const std::size_t capacity_;
  std::vector<std::size_t> order_;
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<std::vector<double>> queue_;
  std::uint64_t samples_ = 0;
  double rate_ = 0.0;
};

// One continuous run read from Python, block after block.
class Stream {
 public:
  Stream(BoardHandle board, const RunRequest& request, std::size_t queueBlocks)
      : board_(std::move(board)), request_(request), sink_(queueBlocks) {}
  ~Stream() { End(); }

  void Start() {
    if (started_) return;
    ConfigureInputs(*board_);
    const ConfiguredRun configured = ConfigureRun(*board_, run_, request_);
    channels_ = configured.channels.size();
    // Rows in ascending channel order, whatever order the board scans them in.
    std::vector<std::size_t> order(channels_);
    for (std::size_t i = 0; i < channels_; ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return configured.channels[a] < configured.channels[b];
    });
    for (const std::size_t i : order) chans_.push_back(configured.channels[i]);
    sink_.SetOrder(std::move(order));
    outputs_ = std::make_unique<RunOutputs>(board_->board(), request_.generate);
    if (!run_.Start(&sink_)) RaiseError("L'acquisition continue n'a pas pu démarrer");
    started_ = true;
  }

  py::array_t<double> Next() {
    Start();
    for (;;) {
      std::optional<std::vector<double>> block;
      bool ended = false;
      {
        py::gil_scoped_release released;
        block = sink_.Take(kSignalCheck);
        if (!block) {
          run_.Watch(snapshot_);
          ended = !snapshot_.running || (outputs_ && outputs_->Failed());
          if (ended) block = sink_.Take(std::chrono::milliseconds(0));
        }
      }
      if (block) return Array(std::move(*block));
      if (ended) Finish();
      if (PyErr_CheckSignals() != 0) {
        End();
        throw py::error_already_set();
      }
    }
  }

  // The run's rate, once the board has started.
  double Rate() {
    run_.Watch(snapshot_);
    return snapshot_.rateUsed;
  }
  std::uint64_t Samples() { return sink_.SamplesPerChannel(); }
  const std::vector<int>& Channels() const { return chans_; }

  // Stops the run, outputs at 0 V.
  void End() {
    if (!started_ || ended_) return;
    ended_ = true;
    py::gil_scoped_release released;
    run_.Stop();
    run_.Watch(snapshot_);
    if (outputs_) outputs_->Stop();
  }

 private:
  py::array_t<double> Array(std::vector<double> volts) {
    auto* owned = new std::vector<double>(std::move(volts));
    const py::capsule free(owned, [](void* p) { delete static_cast<std::vector<double>*>(p); });
    const std::size_t scans = channels_ == 0 ? 0 : owned->size() / channels_;
    return py::array_t<double>({channels_, scans}, {scans * sizeof(double), sizeof(double)},
                               owned->data(), free);
  }

  // The run has ended by itself: its end, or why it failed.
  [[noreturn]] void Finish() {
    const std::string failure = outputs_ ? outputs_->Stop() : std::string();
    End();
    const ContinuousOutcome outcome = snapshot_.outcome.value_or(ContinuousOutcome{});
    if (outcome.end != ContinuousEnd::kStoppedByUser) RaiseError(outcome.message);
    if (!failure.empty()) RaiseError(failure);
    throw py::stop_iteration();
  }

  BoardHandle board_;
  RunRequest request_;
  QueueSink sink_;
  RecordingRun run_;
  std::unique_ptr<RunOutputs> outputs_;
  ContinuousSnapshot snapshot_;
  std::size_t channels_ = 0;
  std::vector<int> chans_;
  bool started_ = false;
  bool ended_ = false;
};

}  // namespace

void BindStream(py::module_& m, py::class_<BoardSession, BoardHandle>& board) {
  py::class_<Stream>(m, "Stream", R"(A continuous run of a board, read block by block.

Made by Board.stream. Iterating gives each block of about 10 ms as a
(channels x scans) numpy array of volts, in order, none dropped; the run
ends after `duration` seconds, or when left (`with`), or on Ctrl+C
(KeyboardInterrupt, outputs at 0 V). Blocks wait in a bounded queue: a
consumer too slow for the board ends the run with the board's overrun
message (tavril.Error) once the blocks before are read.)")
      .def("__enter__",
           [](Stream& s) -> Stream& {
             s.Start();
             return s;
           })
      .def("__exit__", [](Stream& s, const py::args&) { s.End(); })
      .def("__iter__", [](Stream& s) -> Stream& { return s; })
      .def("__next__", &Stream::Next)
      .def("stop", &Stream::End, "Stops the run; the outputs go to 0 V.")
      .def_property_readonly("rate", &Stream::Rate,
                             "Scans per second the board really runs at (0 before it starts).")
      .def_property_readonly("channels", &Stream::Channels, "The board's channels, row by row.")
      .def_property_readonly("samples", &Stream::Samples,
                             "Samples per channel handed over so far.");
  board.def(
      "stream",
      [](BoardHandle self, const std::vector<int>& channels, double rate, std::int16_t gain,
         double scanRate, double duration, const py::object& trigger,
         const std::vector<GeneratedOutput>& generate, std::size_t queueBlocks) {
        RunRequest request{channels, rate, gain, scanRate, duration, TriggerOf(trigger), generate};
        return std::make_unique<Stream>(std::move(self), request,
                                        std::max<std::size_t>(queueBlocks, 1));
      },
      py::arg("channels"), py::arg("rate"), py::arg("gain") = 1, py::arg("scan_rate") = 0.0,
      py::arg("duration") = 0.0, py::arg("trigger") = py::none(),
      py::arg("generate") = std::vector<GeneratedOutput>{}, py::arg("queue_blocks") = 400,
      R"(A continuous run of `channels` (one, or 0 to N) at `rate` conversions per
second shared by the channels (the board's full rate, 1250000 for the
simulated board, gives 156250 scans a second of 8 channels) or scan_rate
scans per second: a Stream to iterate over, best in a `with` block.
duration: seconds of samples, then the run ends (0: until stopped).
trigger: None, or (channel, level[, "rising"|"falling"]), checked as the
continuous window checks it. generate: waves the outputs play. queue_blocks:
blocks (about 10 ms each) that may wait before the run is overrun.)");
}

}  // namespace tavril::python
