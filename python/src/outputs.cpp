#include "acquisition/generated_outputs.h"
#include "bindings.h"

namespace tavril::python {
namespace {

GeneratedOutput Wave(int output, WaveShape shape, double frequency, double amplitude,
                     double offset) {
  return {output, shape, frequency, amplitude, offset};
}

const char* ShapeWord(WaveShape shape) {
  switch (shape) {
    case WaveShape::kSine:
      return "Sine";
    case WaveShape::kSquare:
      return "Square";
    case WaveShape::kTriangle:
      return "Triangle";
    case WaveShape::kRisingSawtooth:
      return "Sawtooth";
    case WaveShape::kDc:
      return "Dc";
    default:
      return "Noise";
  }
}

}  // namespace

void BindOutputs(py::module_& m) {
  py::class_<GeneratedOutput>(m, "Wave",
                              R"(What one analog output plays during a run (acquire, record):
made by tavril.Sine, Square, Triangle, Sawtooth, Dc or Noise.)")
      .def_readonly("output", &GeneratedOutput::output, "The board's output number.")
      .def_readonly("frequency", &GeneratedOutput::frequency, "Hz.")
      .def_readonly("amplitude", &GeneratedOutput::amplitude, "Volts, peak.")
      .def_readonly("offset", &GeneratedOutput::offset, "Volts.")
      .def("__repr__", [](const GeneratedOutput& w) {
        return "tavril." + std::string(ShapeWord(w.shape)) + "(output=" + std::to_string(w.output) +
               ", frequency=" + py::str(py::float_(w.frequency)).cast<std::string>() +
               ", amplitude=" + py::str(py::float_(w.amplitude)).cast<std::string>() +
               ", offset=" + py::str(py::float_(w.offset)).cast<std::string>() + ")";
      });
  const auto periodic = [&m](const char* name, WaveShape shape, const char* doc) {
    m.def(
        name,
        [shape](int output, double frequency, double amplitude, double offset) {
          return Wave(output, shape, frequency, amplitude, offset);
        },
        py::arg("output"), py::arg("frequency"), py::arg("amplitude"), py::arg("offset") = 0.0,
        doc);
  };
  periodic("Sine", WaveShape::kSine, "A sine of `frequency` Hz, `amplitude` V peak, on `output`.");
  periodic("Square", WaveShape::kSquare, "A square wave on `output`.");
  periodic("Triangle", WaveShape::kTriangle, "A triangle wave on `output`.");
  periodic("Sawtooth", WaveShape::kRisingSawtooth, "A rising sawtooth on `output`.");
  m.def(
      "Dc", [](int output, double volts) { return Wave(output, WaveShape::kDc, 0, 0, volts); },
      py::arg("output"), py::arg("volts"), "A steady level of `volts` on `output`.");
  m.def(
      "Noise",
      [](int output, double amplitude, double offset) {
        return Wave(output, WaveShape::kUniformNoise, 0, amplitude, offset);
      },
      py::arg("output"), py::arg("amplitude"), py::arg("offset") = 0.0,
      "Uniform noise within ±`amplitude` V around `offset` on `output`.");
}

}  // namespace tavril::python
