#include <cmath>

#include "bindings.h"
#include "processing/measurement_table.h"
#include "processing/spectrum.h"
#include "processing/spectrum_text.h"
#include "text/text_encoding.h"

namespace tavril::python {
namespace {

MeasuredStretch StretchOf(const std::optional<std::pair<double, double>>& between) {
  if (!between) return MeasuredStretch::WholeRecord();
  if (between->first > between->second)
    RaiseError("L'intervalle between va de T1 à T2 : T1 ne peut dépasser T2");
  return MeasuredStretch::BetweenTimes(between->first, between->second);
}

// The Mesures values of `record`, keyed as tavril-cli measure --json.
py::dict Measure(const Record& self, const std::optional<std::pair<double, double>>& between) {
  const MeasuredStretch stretch = StretchOf(between);
  MeasurementRow row;
  {
    py::gil_scoped_release released;
    row = MeasureChannel(self.record, self.slot.value_or(0), false, stretch, &Windows1252ToUtf8);
  }
  py::dict out;
  if (self.slot) out["slot"] = *self.slot;
  out["title"] = row.title;
  out["count"] = row.values.count;
  if (row.range) {
    out["first"] = row.range->first;
    out["last"] = row.range->last;
  }
  for (const MeasurementColumn& column : kMeasurementColumns) {
    const std::optional<double> value = row.values.*column.value;
    out[py::str(std::string(column.key))] = value ? py::object(py::float_(*value)) : py::none();
  }
  return out;
}

py::tuple Spectrum(const Record& self, const std::string& windowName, int blocks,
                   std::size_t blockSize, const std::optional<std::pair<double, double>>& between) {
  const std::optional<SpectrumWindow> window = SpectrumWindowFromWord(windowName);
  if (!window) RaiseError("Fenêtre inconnue : " + windowName + " (rectangulaire, hann, flattop)");
  if (blocks < 1) RaiseError("Nombre de blocs non valide : " + std::to_string(blocks));
  if (blockSize < kMinBlock || blockSize > (std::size_t{1} << 20) ||
      (blockSize & (blockSize - 1)) != 0) {
    RaiseError("Taille de bloc non valide : " + std::to_string(blockSize) +
               " (une puissance de 2 de 16 à 1048576)");
  }
  const ChannelRecord& record = self.record;
  const double rate = record.rate;
  if (!(rate > 0) || !std::isfinite(rate))
    RaiseError("L'enregistrement n'a pas de fréquence d'échantillonnage valide");
  const std::optional<SampleRange> range =
      SamplesOf(StretchOf(between), record.sampleCount(), rate);
  const std::size_t samples = range ? range->last - range->first + 1 : 0;
  if (samples < kMinBlock) RaiseError("Trop peu d'échantillons pour un spectre (au moins 16)");
  tavril::Spectrum spectrum;
  {
    py::gil_scoped_release released;
    spectrum = ComputeSpectrum(record.samples().subspan(range->first, samples), rate, *window,
                               blockSize, blocks);
  }
  if (spectrum.dbv.empty()) RaiseError("L'enregistrement contient des échantillons non finis");
  py::array_t<double> frequencies(static_cast<py::ssize_t>(spectrum.dbv.size()));
  for (std::size_t k = 0; k < spectrum.dbv.size(); ++k)
    frequencies.mutable_data()[k] = static_cast<double>(k) * spectrum.binHz;
  return py::make_tuple(frequencies, CopiedVolts(spectrum.dbv));
}

}  // namespace

void BindAnalysis(py::module_& m) {
  m.def("measure", &Measure, py::arg("record"), py::arg("between") = py::none(),
        R"(The Mesures window's values of a record, whole or between=(t1, t2) seconds
(samples ceil(t1 rate) to floor(t2 rate)): a dict with the keys of
`tavril-cli measure --json` (slot, title, count, first, last, minimum,
maximum, peakToPeak, mean, rms, acRms, frequency, period, dutyCycle (0 to
1), riseTime, fallTime), in volts, hertz and seconds, None where the record
defines none.)");
  m.def("spectrum", &Spectrum, py::arg("record"), py::arg("window") = "hann",
        py::arg("blocks") = 16, py::arg("block_size") = 65536, py::arg("between") = py::none(),
        R"(The record's spectrum as `tavril-cli spectrum` computes it: (frequencies
in Hz, amplitudes in dBV), two numpy arrays. window: "hann", "rectangulaire"
or "flattop"; blocks of at most block_size points (a power of two from 16
to 1048576), averaged, at least `blocks` of them where the record allows.)");
}

}  // namespace tavril::python
