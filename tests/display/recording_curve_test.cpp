#include "display/recording_curve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "files/hdf5_recording.h"
#include "support/recording_codes.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

// Stretches of a ramp of one code per sample, whose columns have their
// extremes at their very edges, between stretches of noise and spikes.
BoardReading Code(std::uint64_t i) {
  if (i / 70000 % 2 == 0) return static_cast<BoardReading>(i % 4000) - 2000;
  const auto noise = static_cast<std::int64_t>((i * 2654435761u) % 97);
  return static_cast<BoardReading>(noise - (i % 5000 < 7 ? 1500 : 0));
}

std::unique_ptr<RecordingReader> WriteRecording(const std::filesystem::path& path,
                                                std::uint64_t count) {
  const RecordingChannel channel{0, "scie", 0, 0, 1, 1000.0, {}};
  auto recording = Hdf5Recording::Create(path, {&channel, 1}, nullptr);
  const ReadingConversion conversion = testing::TwelveBitConversion();
  EXPECT_TRUE(recording && recording->Started(1000.0, conversion, nullptr));
  EXPECT_TRUE(testing::AppendCodes(*recording, conversion, 1, 0, count,
                                   [](std::uint64_t i, std::size_t) { return Code(i); }));
  EXPECT_TRUE(recording->Close(nullptr));
  return RecordingReader::Open(path, nullptr, CheckPlace::kInProcess);
}

// Every view, whatever its zoom, draws each column from its own samples: as a
// curve of records when they are few, or as a run from the row of the
// largest to the row of the smallest, found here by scanning them all.
TEST(RecordingCurve, DrawsEachColumnFromExactlyItsSamplesAtEveryZoom) {
  testing::TempDir dir;
  const std::uint64_t count = 3 * (std::uint64_t{1} << 17) + 777;  // the last block partial
  const auto reader = WriteRecording(dir.path() / "rec.h5", count);
  ASSERT_TRUE(reader);
  std::vector<double> volts(count);
  ASSERT_TRUE(reader->ReadVolts(0, 0, volts, nullptr));
  SamplePyramid pyramid;
  BuildSamplePyramid(pyramid, volts);

  RecordingCurve curve(*reader, 0);
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> zoom(std::log(2e-6), std::log(4.0));
  constexpr std::int32_t kFirst = -2;
  constexpr std::int32_t kLast = 401;
  CurveStrokes strokes;
  for (int view = 0; view < 60; ++view) {
    GraphScale scale;
    scale.pixelsPerSample = std::exp(zoom(random));
    scale.pixelsPerVolt = view % 2 == 0 ? 40.0 : 4000.0;
    // Around block edges, near the end, or anywhere.
    const std::uint64_t edge = (random() % (count / 512 + 1)) * 512;
    scale.scrollOffset = static_cast<std::int64_t>(
        view % 3 == 0 ? edge - std::min<std::uint64_t>(edge, random() % 3)
                      : (view % 3 == 1 ? count - 1 - random() % 2000 : random() % count));
    ASSERT_TRUE(curve.Compute(scale, kFirst, kLast, strokes)) << curve.LastFailure();

    const std::uint64_t first = FirstSampleOfColumn(scale, count, kFirst);
    const std::uint64_t end = FirstSampleOfColumn(scale, count, kLast + 1);
    if (end - first <= kMostSamplesDrawnOneByOne) {
      CurveStrokes expected;
      ComputeCurveStrokes(scale, volts, pyramid, kFirst, kLast, expected);
      EXPECT_EQ(strokes.runs, expected.runs) << "view " << view;
      EXPECT_EQ(strokes.lines, expected.lines) << "view " << view;
      continue;
    }
    // The samples behind each column, by the column SampleToPixel gives each.
    std::vector<ColumnRun> expected;
    for (std::uint64_t j = 0; j < count; ++j) {
      const PixelPoint point = SampleToPixel(scale, static_cast<double>(j), volts[j]);
      if (point.x < kFirst || point.x > kLast) continue;
      if (expected.empty() || expected.back().x != point.x) {
        expected.push_back({point.x, point.y, point.y});
      } else {
        expected.back().top = std::min(expected.back().top, point.y);
        expected.back().bottom = std::max(expected.back().bottom, point.y);
      }
    }
    EXPECT_EQ(strokes.runs, expected) << "view " << view;
  }
}

}  // namespace
}  // namespace tavril
