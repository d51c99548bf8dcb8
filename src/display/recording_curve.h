#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "display/curve_raster.h"
#include "display/graph_scale.h"
#include "display/recording_envelope.h"
#include "display/sample_pyramid.h"
#include "files/recording_reader.h"

namespace tavril {

// Above this many samples across the columns drawn, a recorded curve is
// drawn from its columns' extents rather than from its samples.
inline constexpr std::uint64_t kMostSamplesDrawnOneByOne = std::uint64_t{1} << 16;

// The first sample whose column, under `scale`, is `x` or further right
// (`count` when none is): the bound between columns x - 1 and x. Samples are
// placed as SampleToPixel places them, so a column holds exactly the samples
// it is drawn from.
std::uint64_t FirstSampleOfColumn(const GraphScale& scale, std::uint64_t count, std::int32_t x);

// The strokes of one recorded channel, computed from its file at every
// repaint with memory set by the columns, never by the recording:
// - when the columns span few samples, those samples are read and drawn as
//   a curve of records is (curve_raster.h), pixel for pixel;
// - otherwise each column is a run from the row of its largest sample to the
//   row of its smallest (the envelope's exact extents), and two neighbouring
//   runs that do not touch are joined by a line from the one's nearer end to
//   the other's, where the samples went from one to the other.
class RecordingCurve {
 public:
  RecordingCurve(RecordingReader& reader, std::size_t channel)
      : reader_(reader), channel_(channel), envelope_(reader, channel) {}

  // Strokes of columns firstColumn..lastColumn, into `out` (cleared first);
  // false, with LastFailure(), when the file cannot be read.
  bool Compute(const GraphScale& scale, std::int32_t firstColumn, std::int32_t lastColumn,
               CurveStrokes& out);
  const std::string& LastFailure() const { return failure_; }

 private:
  bool FromSamples(const GraphScale& scale, std::uint64_t first, std::uint64_t end,
                   std::int32_t firstColumn, std::int32_t lastColumn, CurveStrokes& out);
  bool FromExtents(const GraphScale& scale, std::int32_t firstColumn, CurveStrokes& out);

  RecordingReader& reader_;
  std::size_t channel_;
  RecordingEnvelope envelope_;
  std::string failure_;
  // Kept from one repaint to the next, so that drawing takes no fresh memory.
  std::vector<std::uint64_t> bounds_;
  std::vector<ValueExtent> extents_;
  std::vector<double> samples_;
  SamplePyramid pyramid_;
};

}  // namespace tavril
