#include <cmath>

#include "bindings.h"
#include "text/text_encoding.h"

namespace tavril::python {
namespace {

// A title given in Python, as the record keeps it (Windows-1252).
std::string TitleBytes(const std::string& utf8) {
  std::string bytes = Utf8ToWindows1252(utf8);
  if (bytes.size() > kMaxTitleBytes) {
    RaiseError("Le titre dépasse " + std::to_string(kMaxTitleBytes) + " octets");
  }
  return bytes;
}

RecordHandle NewRecord(py::array_t<double, py::array::c_style | py::array::forcecast> samples,
                       double rate, const std::string& title, std::optional<int> slot,
                       std::int16_t device, std::int16_t chan, std::int16_t gain) {
  if (samples.ndim() != 1) RaiseError("Les échantillons doivent former un tableau à une dimension");
  if (slot && (*slot < 0 || *slot >= kChannelCount)) {
    RaiseError("Le canal " + std::to_string(*slot) + " n'existe pas (canaux 0 à 7)");
  }
  ChannelRecord record;
  record.rate = rate;
  record.title = TitleBytes(title);
  record.device = device;
  record.chan = chan;
  record.gain = gain;
  std::vector<double> volts(samples.data(), samples.data() + samples.size());
  record.TakeSamples(volts);
  return MakeRecord(std::move(record), slot);
}

// The record's samples as a read-only array over its own memory, which the
// array's base (the Python record) keeps alive.
py::array Samples(py::object self) {
  const ChannelRecord& record = self.cast<Record&>().record;
  const std::span<const double> samples = record.samples();
  static const double kNone = 0.0;
  py::array_t<double> array({samples.size()}, {sizeof(double)},
                            samples.empty() ? &kNone : samples.data(), self);
  array.attr("setflags")(py::arg("write") = false);
  return array;
}

py::array_t<double> Times(const Record& self) {
  const ChannelRecord& record = self.record;
  py::array_t<double> times(static_cast<py::ssize_t>(record.sampleCount()));
  double* out = times.mutable_data();
  for (std::uint64_t i = 0; i < record.sampleCount(); ++i)
    out[i] = static_cast<double>(i) / record.rate;
  return times;
}

py::dict Statistics(const Record& self) {
  const ChannelStatistics& statistics = self.record.statistics();
  py::dict out;
  out["maxIndex"] = statistics.maxIndex;
  out["maxValue"] = statistics.maxValue;
  out["minIndex"] = statistics.minIndex;
  out["minValue"] = statistics.minValue;
  out["mean"] = statistics.mean;
  return out;
}

std::string Describe(const Record& self) {
  std::string text = "<tavril.Record '" + Windows1252ToUtf8(self.record.title) + "'";
  if (self.slot) text += ", canal " + std::to_string(*self.slot);
  text += ", " + std::to_string(self.record.sampleCount()) + " échantillons à " +
          py::str(py::float_(self.record.rate)).cast<std::string>() + " éch./s>";
  return text;
}

}  // namespace

RecordHandle MakeRecord(ChannelRecord record, std::optional<int> slot) {
  auto handle = std::make_shared<Record>();
  handle->record = std::move(record);
  handle->slot = slot;
  return handle;
}

py::object DateTimeOf(std::chrono::system_clock::time_point time) {
  const py::module_ datetime = py::module_::import("datetime");
  const py::object utc = datetime.attr("timezone").attr("utc");
  const auto microseconds =
      std::chrono::floor<std::chrono::microseconds>(time.time_since_epoch()).count();
  return datetime.attr("datetime")(1970, 1, 1, py::arg("tzinfo") = utc) +
         datetime.attr("timedelta")(py::arg("microseconds") = microseconds);
}

std::int64_t NanosecondsOf(std::chrono::system_clock::time_point time) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

py::array_t<double> CopiedVolts(const std::vector<double>& volts) {
  py::array_t<double> out(static_cast<py::ssize_t>(volts.size()));
  std::copy(volts.begin(), volts.end(), out.mutable_data());
  return out;
}

void BindRecords(py::module_& m) {
  py::class_<Record, RecordHandle>(m, "Record", R"(One channel's record: its volts and settings.

A record comes from tavril.read, tavril.read_channels or an acquisition, or
is made from samples: Record(samples, rate, title="", slot=None, device=0,
chan=0, gain=1). Its samples never change once made.)")
      .def(py::init(&NewRecord), py::arg("samples"), py::arg("rate"), py::arg("title") = "",
           py::arg("slot") = py::none(), py::arg("device") = 0, py::arg("chan") = 0,
           py::arg("gain") = 1, "A record of `samples` (volts) taken at `rate` samples per second.")
      .def_property_readonly("samples", &Samples,
                             "The volts, a read-only numpy float64 array sharing the record's "
                             "memory (no copy); it keeps the record alive.")
      .def_property_readonly("times", &Times, "Each sample's time in seconds (i / rate), a copy.")
      .def_property(
          "rate", [](const Record& r) { return r.record.rate; },
          [](Record& r, double rate) { r.record.rate = rate; }, "Samples per second.")
      .def_property(
          "title", [](const Record& r) { return Windows1252ToUtf8(r.record.title); },
          [](Record& r, const std::string& title) { r.record.title = TitleBytes(title); },
          "The title (at most 255 bytes in Windows-1252).")
      .def_property(
          "slot", [](const Record& r) { return r.slot; },
          [](Record& r, std::optional<int> slot) { r.slot = slot; },
          "The channel's slot (0 to 7) in a file of several channels, or None.")
      .def_property(
          "device", [](const Record& r) { return r.record.device; },
          [](Record& r, std::int16_t v) { r.record.device = v; }, "The board's device number.")
      .def_property(
          "chan", [](const Record& r) { return r.record.chan; },
          [](Record& r, std::int16_t v) { r.record.chan = v; }, "The board's input channel.")
      .def_property(
          "gain", [](const Record& r) { return r.record.gain; },
          [](Record& r, std::int16_t v) { r.record.gain = v; },
          "The gain code (-1 for 0.5, 1, 2, 5, 10, 20, 50, 100).")
      .def_property_readonly("statistics", &Statistics,
                             "maxIndex, maxValue, minIndex, minValue and mean, as the information "
                             "strip shows them, keyed as tavril-cli info --json (a dict).")
      .def_property_readonly(
          "acquired_at",
          [](const Record& r) -> py::object {
            return r.record.acquiredAt ? DateTimeOf(*r.record.acquiredAt) : py::none();
          },
          "When the board gave the first sample: a datetime in UTC (microseconds), or None.")
      .def_property_readonly(
          "acquired_at_ns",
          [](const Record& r) -> std::optional<std::int64_t> {
            if (!r.record.acquiredAt) return std::nullopt;
            return NanosecondsOf(*r.record.acquiredAt);
          },
          "The same time in nanoseconds since 1970-01-01 UTC, exactly, or None.")
      .def("__len__", [](const Record& r) { return r.record.sampleCount(); })
      .def("__repr__", &Describe);
}

}  // namespace tavril::python
