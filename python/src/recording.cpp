#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

#include "acquisition/recording_run.h"
#include "board_session.h"
#include "files/channel_formats.h"
#include "files/hdf5_recording.h"
#include "files/recording_reader.h"
#include "model/messages.h"
#include "processing/measurement_table.h"
#include "run_settings.h"
#include "text/text_encoding.h"

namespace tavril::python {
namespace {

constexpr auto kPoll = std::chrono::milliseconds(20);

std::string PathText(const py::object& path) {
  return py::str(py::module_::import("os").attr("fspath")(path)).cast<std::string>();
}

// Board.record: every sample of a continuous run into one HDF5 recording,
// as tavril-cli record writes it.
py::dict RecordRun(BoardHandle session, const py::object& file, const RunRequest& request,
                   bool overwrite) {
  const std::string path = PathText(file);
  std::error_code ignored;
  if (!overwrite && std::filesystem::symlink_status(path, ignored).type() !=
                        std::filesystem::file_type::not_found) {
    RaiseError("Le fichier existe déjà : " + path + " (overwrite=True pour le remplacer)");
  }
  ConfigureInputs(*session);
  RecordingRun run;
  const ConfiguredRun configured = ConfigureRun(*session, run, request);
  RunOutputs outputs(session->board(), request.generate);
  std::vector<RecordingChannel> recorded;
  const auto startedAt = std::chrono::system_clock::now();
  for (const int chan : configured.channels) {
    recorded.push_back({chan, "", session->config.device, static_cast<std::int16_t>(chan),
                        request.gain, configured.rateAsked, startedAt});
  }
  std::string why;
  std::unique_ptr<Hdf5Recording> recording = Hdf5Recording::Create(path, recorded, &why);
  if (!recording) RaiseError(why);
  if (!run.Start(recording.get())) RaiseError("L'enregistrement continu n'a pas pu démarrer");

  std::atomic<bool> interrupted = false;
  ContinuousSnapshot snapshot;
  bool closed = false;
  std::string outputFailure;
  // The run is watched, stopped and its file closed on one thread; Ctrl+C
  // only asks it to stop, so that the file keeps everything written.
  RunInterruptibly(
      [&] {
        for (;;) {
          std::this_thread::sleep_for(kPoll);
          run.Watch(snapshot);
          if (!snapshot.running || interrupted || outputs.Failed()) break;
        }
        run.Stop();
        run.Watch(snapshot);
        outputFailure = outputs.Stop();
        closed = recording->Close(&why);
      },
      [&] {
        outputs.Halt();
        interrupted = true;
      });
  const ContinuousOutcome outcome = snapshot.outcome.value_or(ContinuousOutcome{});
  const std::uint64_t kept = recording->SamplesPerChannel();
  // The board refused to start: any file there stays as it was.
  if (!recording->InPlace()) RaiseError(outcome.message);
  if (outcome.end == ContinuousEnd::kSinkError) RaiseError(outcome.message);
  if (outcome.end != ContinuousEnd::kStoppedByUser) {
    RaiseError(outcome.message + " Le fichier garde les " + std::to_string(kept) +
               " échantillons par voie enregistrés.");
  }
  if (!closed) RaiseError(why);
  if (!outputFailure.empty()) RaiseError(outputFailure);
  py::dict out;
  out["path"] = path;
  out["channels"] = configured.channels;
  out["samples"] = kept;
  out["rate"] = snapshot.rateUsed > 0.0 ? snapshot.rateUsed : configured.rateAsked;
  return out;
}

// A recording opened for reading by range; its reader is used by one
// thread at a time, the GIL released while it reads.
struct Recording {
  std::string path;
  std::unique_ptr<RecordingReader> reader;
  std::mutex reading;
};
using RecordingHandle = std::shared_ptr<Recording>;

// One channel of a recording: `index` in the reader's channels.
struct RecordedView {
  RecordingHandle recording;
  std::size_t index = 0;
  const RecordedChannel& channel() const { return recording->reader->Channels()[index]; }
};

RecordingHandle OpenRecording(const py::object& file) {
  auto recording = std::make_shared<Recording>();
  recording->path = PathText(file);
  std::string why;
  if (ChannelFormatOfFile(recording->path) != ChannelFormat::kHdf5) {
    RaiseError(messages::OpenError(recording->path) +
               " : seuls les fichiers HDF5 (.h5) se lisent par morceaux ; lisez les autres "
               "avec tavril.read_channels");
  }
  {
    py::gil_scoped_release released;
    recording->reader = RecordingReader::Open(recording->path, &why);
  }
  if (!recording->reader) RaiseError(messages::OpenError(recording->path) + " : " + why);
  return recording;
}

std::string SlotList(const Recording& recording) {
  std::string list;
  for (const RecordedChannel& c : recording.reader->Channels())
    list += (list.empty() ? "" : ", ") + std::to_string(c.settings.slot);
  return list;
}

RecordedView ChannelOf(const RecordingHandle& recording, int slot) {
  const auto channels = recording->reader->Channels();
  for (std::size_t i = 0; i < channels.size(); ++i) {
    if (channels[i].settings.slot == slot) return {recording, i};
  }
  RaiseError("Le canal " + std::to_string(slot) + " n'est pas dans le fichier (canaux : " +
             SlotList(*recording) + ") : " + recording->path);
}

// Samples [first, first + count) in volts.
py::array_t<double> ReadRange(const RecordedView& view, std::uint64_t first, std::uint64_t count) {
  py::array_t<double> volts(static_cast<py::ssize_t>(count));
  std::string why;
  bool read = true;
  if (count > 0) {
    double* out = volts.mutable_data();
    py::gil_scoped_release released;
    const std::lock_guard lock(view.recording->reading);
    read = view.recording->reader->ReadVolts(view.index, first, {out, count}, &why);
  }
  if (!read) RaiseError(messages::OpenError(view.recording->path) + " : " + why);
  return volts;
}

py::array_t<double> Slice(const RecordedView& view, const py::slice& slice) {
  py::ssize_t start = 0, stop = 0, step = 0, length = 0;
  if (!slice.compute(static_cast<py::ssize_t>(view.channel().sampleCount), &start, &stop, &step,
                     &length))
    throw py::error_already_set();
  if (step != 1) RaiseError("Un pas autre que 1 n'est pas pris en charge");
  return ReadRange(view, static_cast<std::uint64_t>(start), static_cast<std::uint64_t>(length));
}

// The samples [ceil(t0 rate), floor(t1 rate)] of the channel, clipped.
std::optional<SampleRange> RangeBetween(const RecordedView& view, double t0, double t1) {
  if (t0 > t1) RaiseError("L'intervalle va de T1 à T2 : T1 ne peut dépasser T2");
  return SamplesOf(MeasuredStretch::BetweenTimes(t0, t1), view.channel().sampleCount,
                   view.channel().settings.rate);
}

py::array_t<double> Between(const RecordedView& view, double t0, double t1) {
  const std::optional<SampleRange> range = RangeBetween(view, t0, t1);
  if (!range) return py::array_t<double>(0);
  return ReadRange(view, range->first, range->last - range->first + 1);
}

RecordHandle AsRecord(const RecordedView& view,
                      const std::optional<std::pair<double, double>>& between) {
  const RecordingChannel& settings = view.channel().settings;
  std::uint64_t first = 0;
  std::uint64_t count = view.channel().sampleCount;
  if (between) {
    const std::optional<SampleRange> range = RangeBetween(view, between->first, between->second);
    first = range ? range->first : 0;
    count = range ? range->last - range->first + 1 : 0;
  }
  const py::array_t<double> volts = ReadRange(view, first, count);
  ChannelRecord record;
  record.device = settings.device;
  record.chan = settings.chan;
  record.gain = settings.gain;
  record.rate = settings.rate;
  record.title = settings.title;
  record.acquiredAt = settings.acquiredAt;
  if (record.acquiredAt && first > 0 && settings.rate > 0) {
    record.acquiredAt =
        *record.acquiredAt +
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(static_cast<double>(first) / settings.rate));
  }
  std::vector<double> samples(volts.data(), volts.data() + count);
  record.TakeSamples(samples);
  return MakeRecord(std::move(record), settings.slot);
}

}  // namespace

void BindRecord(py::class_<BoardSession, BoardHandle>& board) {
  board.def(
      "record",
      [](BoardHandle self, const py::object& path, const std::vector<int>& channels, double rate,
         double duration, std::int16_t gain, double scanRate, const py::object& trigger,
         const std::vector<GeneratedOutput>& generate, bool overwrite) {
        return RecordRun(std::move(self), path,
                         {channels, rate, gain, scanRate, duration, TriggerOf(trigger), generate},
                         overwrite);
      },
      py::arg("path"), py::arg("channels"), py::arg("rate"), py::arg("duration") = 0.0,
      py::arg("gain") = 1, py::arg("scan_rate") = 0.0, py::arg("trigger") = py::none(),
      py::arg("generate") = std::vector<GeneratedOutput>{}, py::arg("overwrite") = false,
      R"(Records every sample of a continuous run of `channels` (one, or 0 to N)
at `rate` conversions per second shared by the channels (or scan_rate
scans per second) into one HDF5 recording, as
`tavril-cli record` does: for `duration` seconds (exactly that many
samples), or until Ctrl+C (0), which stops the run, keeps what was written
and raises KeyboardInterrupt. The file is flushed every second; an existing
one is replaced only with overwrite=True, once the board has started.
Returns {"path", "channels", "samples" (per channel), "rate"}.)");
}

void BindRecordings(py::module_& m) {
  py::class_<RecordedView>(m, "RecordedChannel", R"(One channel of a recording, read by range.

len(channel) samples; channel[i:j] reads samples i to j - 1 as numpy
volts; channel.between(t0, t1) the samples from ceil(t0 rate) to
floor(t1 rate); channel.record() a Record of all or part of it.)")
      .def("__len__", [](const RecordedView& v) { return v.channel().sampleCount; })
      .def("__getitem__", &Slice, py::arg("range"))
      .def("between", &Between, py::arg("t0"), py::arg("t1"),
           "The samples from t0 to t1 seconds as numpy volts.")
      .def("record", &AsRecord, py::arg("between") = py::none(),
           "The channel (or between=(t0, t1) of it) as a Record in memory.")
      .def_property_readonly("slot",
                             [](const RecordedView& v) { return v.channel().settings.slot; })
      .def_property_readonly(
          "rate", [](const RecordedView& v) { return v.channel().settings.rate; },
          "Samples per second.")
      .def_property_readonly(
          "title",
          [](const RecordedView& v) { return Windows1252ToUtf8(v.channel().settings.title); })
      .def_property_readonly("gain",
                             [](const RecordedView& v) { return v.channel().settings.gain; })
      .def_property_readonly("chan",
                             [](const RecordedView& v) { return v.channel().settings.chan; })
      .def_property_readonly("acquired_at", [](const RecordedView& v) -> py::object {
        const auto& at = v.channel().settings.acquiredAt;
        return at ? DateTimeOf(*at) : py::none();
      });
  py::class_<Recording, RecordingHandle>(
      m, "Recording", R"(A recording (or any HDF5 file of channels) of any length, read by range:
memory holds what is asked, never the whole file. Made by
tavril.open_recording.)")
      .def("channel", &ChannelOf, py::arg("slot"), "The channel of that slot.")
      .def_property_readonly(
          "slots",
          [](const Recording& r) {
            std::vector<int> slots;
            for (const RecordedChannel& c : r.reader->Channels()) slots.push_back(c.settings.slot);
            return slots;
          },
          "The slots of its channels, in order.")
      .def(
          "refresh",
          [](Recording& r) {
            std::string why;
            const std::lock_guard lock(r.reading);
            if (!r.reader->Refresh(&why)) RaiseError(messages::OpenError(r.path) + " : " + why);
          },
          "Reads the channels' counts again, for a file still being written.")
      .def_readonly("path", &Recording::path);
  m.def("open_recording", &OpenRecording, py::arg("path"),
        R"(Opens an HDF5 recording (tavril-cli record, Board.record, the continuous
window) or file of channels for reading by range; tavril.Error says why a
file is refused.)");
}

}  // namespace tavril::python
