#include "display/recording_envelope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "files/hdf5_file.h"
#include "files/hdf5_recording.h"
#include "files/overview_file.h"
#include "support/record_checks.h"
#include "support/recording_codes.h"
#include "support/temp_dir.h"

namespace tavril {
namespace {

using testing::TempDir;

const RecordingChannel kChannels[] = {{0, "bruit", 0, 0, 1, 1000.0, {}},
                                      {3, "dents", 0, 3, 1, 1000.0, {}}};

// A 12-bit board through a polynomial of the code: `curve` bends it, enough
// to turn back within the codes when large.
ReadingConversion Conversion(double curve) {
  ReadingConversion conversion;
  VoltScale& scale = conversion.scale;
  scale.form = VoltScale::Form::kPolynomial;
  scale.lowestReading = -2048;
  scale.highestReading = 2047;
  scale.zeroCode = 2048;
  scale.coefficients[0] = -10.02;
  scale.coefficients[1] = 20.0 / 4095;
  scale.coefficients[2] = curve;
  scale.order = 2;
  conversion.gainAdjust = 1.01;
  return conversion;
}

// A slow sine with noise and rare spikes on channel 0, a sawtooth on channel 1.
BoardReading Code(std::uint64_t i, std::size_t channel) {
  if (channel == 1) return static_cast<BoardReading>((i * 37) % 4096) - 2048;
  const std::uint64_t hash = (i * 2654435761u) >> 7;
  const double sine = 1500.0 * std::sin(static_cast<double>(i) * 0.0013);
  const int spike = hash % 9973 == 0 ? 500 : hash % 9967 == 0 ? -500 : 0;
  return static_cast<BoardReading>(
      std::clamp(static_cast<int>(sine) + static_cast<int>(hash % 201) - 100 + spike, -2048, 2047));
}

// Appends scans [from, from + count) in uneven pieces, then flushes.
void Record(Hdf5Recording& recording, const ReadingConversion& conversion, std::uint64_t from,
            std::uint64_t count) {
  ASSERT_TRUE(testing::AppendCodesUnevenly(recording, conversion, 2, from, count, &Code));
}

// Random views over [0, count], some at the very end, their columns of
// every width from none or one sample to many nodes.
std::vector<std::vector<std::uint64_t>> Views(std::uint64_t count, int number) {
  std::mt19937_64 random(number);
  std::vector<std::vector<std::uint64_t>> views;
  for (int v = 0; v < number; ++v) {
    const std::uint64_t length = std::min(count, std::uint64_t{1} << (random() % 21));
    const std::uint64_t first = v % 4 == 0 ? count - length : random() % (count - length + 1);
    const std::size_t columns = 1 + random() % 300;
    std::vector<std::uint64_t> bounds;
    for (std::size_t c = 0; c <= columns; ++c)
      bounds.push_back(v % 2 == 0 ? first + length * c / columns : first + random() % (length + 1));
    std::sort(bounds.begin(), bounds.end());
    bounds.front() = first, bounds.back() = first + length;
    views.push_back(bounds);
  }
  return views;
}

// Checks the columns between `bounds` against a scan of their volts.
void ExpectExact(RecordingReader& reader, RecordingEnvelope& envelope, std::size_t channel,
                 std::span<const std::uint64_t> bounds) {
  std::vector<ValueExtent> got(bounds.size() - 1);
  ASSERT_TRUE(envelope.Extents(bounds, got)) << envelope.LastFailure();
  std::vector<double> volts;
  for (std::size_t c = 0; c < got.size(); ++c) {
    volts.resize(bounds[c + 1] - bounds[c]);
    ASSERT_TRUE(reader.ReadVolts(channel, bounds[c], volts, nullptr));
    ValueExtent want;
    for (const double volt : volts) Widen(want, {volt, volt});
    ASSERT_EQ(got[c].minimum, want.minimum) << bounds[c] << " " << bounds[c + 1];
    ASSERT_EQ(got[c].maximum, want.maximum) << bounds[c] << " " << bounds[c + 1];
  }
}

void ExpectExactViews(RecordingReader& reader, std::size_t channel, EnvelopeLimits limits,
                      int views) {
  RecordingEnvelope envelope(reader, channel, limits);
  for (const std::vector<std::uint64_t>& bounds :
       Views(reader.Channels()[channel].sampleCount, views))
    ExpectExact(reader, envelope, channel, bounds);
}

// Held levels from the blocks to a few nodes, views read whole or not, a
// coarser level held first and the finer one read over several calls.
const EnvelopeLimits kLimits[] = {
    {}, {1 << 18, 0, 1 << 13, 1 << 14}, {16, 0, 16, 16}, {100, 5000, 100, 100}, {200, 0, 8, 50}};

TEST(RecordingEnvelope, GivesTheExactExtentsOfAnyColumnsOfARecording) {
  for (const double curve : {0.0, 1e-8, -3e-4}) {  // a line, a curve, a curve that turns back
    TempDir dir;
    const std::uint64_t count = 700'000 + 123;  // a last block and chunk partial
    const ReadingConversion conversion = Conversion(curve);
    auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
    ASSERT_TRUE(recording && recording->Started(1000.0, conversion, nullptr));
    Record(*recording, conversion, 0, count);
    ASSERT_TRUE(recording->Close(nullptr));
    std::string why;
    const auto reader = RecordingReader::Open(dir / "rec.h5", &why);
    ASSERT_TRUE(reader) << why;
    for (const EnvelopeLimits& limits : kLimits) {
      for (std::size_t channel = 0; channel < 2; ++channel) {
        SCOPED_TRACE(::testing::Message() << curve << " " << limits.heldNodes << " " << channel);
        ExpectExactViews(*reader, channel, limits, 40);
      }
    }
  }
}

TEST(RecordingEnvelope, FollowsARecordingStillBeingWritten) {
  TempDir dir;
  const ReadingConversion conversion = Conversion(1e-8);
  auto recording = Hdf5Recording::Create(dir / "rec.h5", kChannels, nullptr);
  ASSERT_TRUE(recording && recording->Started(1000.0, conversion, nullptr));
  Record(*recording, conversion, 0, 3000);
  std::string why;
  const auto reader = RecordingReader::Open(dir / "rec.h5", &why);
  ASSERT_TRUE(reader) << why;
  // One envelope kept while the file grows, its level held chosen anew.
  RecordingEnvelope envelope(*reader, 0, {64, 0, 8, 16});
  const std::uint64_t before[] = {0, 3000};
  ExpectExact(*reader, envelope, 0, before);
  for (const std::uint64_t more : {1000, 300'000, 500'000}) {
    Record(*recording, conversion, reader->Channels()[0].sampleCount, more);
    ASSERT_TRUE(reader->Refresh(&why)) << why;
    const std::uint64_t count = reader->Channels()[0].sampleCount;
    const std::uint64_t bounds[] = {0, 2999, 3001, count - 700, count - 1, count};
    ExpectExact(*reader, envelope, 0, bounds);
  }
  ASSERT_TRUE(recording->Close(nullptr));
}

TEST(RecordingEnvelope, GivesTheExactExtentsOfAFileOfVoltsWithOrWithoutAnOverview) {
  TempDir dir;
  std::vector<double> samples;
  for (int i = 0; i < 200'000; ++i)
    samples.push_back(i % 1000 == 7 ? NAN : std::sin(i * 0.001) + (i * 7919 % 101) * 1e-3);
  ChannelRecord record;
  testing::SetSamples(record, samples);
  record.rate = 1000.0;
  const auto path = dir / "voies.h5";
  ASSERT_TRUE(WriteHdf5File(std::vector<SlotView>{{2, &record}}, path, nullptr));
  std::string why;
  for (const bool overview : {false, true}) {
    const auto going = [](std::uint64_t, std::uint64_t) { return true; };
    if (overview) {
      ASSERT_EQ(BuildOverviewFile(path, going, &why), OverviewBuild::kBuilt) << why;
    }
    const auto reader = RecordingReader::Open(path, &why);
    ASSERT_TRUE(reader) << why;
    ASSERT_EQ(reader->HasOverview(), overview);
    ExpectExactViews(*reader, 0, {8, 1000}, 20);
  }
  // Columns out of order are refused; past the samples, they hold none.
  const auto reader = RecordingReader::Open(path, &why);
  RecordingEnvelope envelope(*reader, 0);
  std::vector<ValueExtent> out(2);
  const std::uint64_t backwards[] = {0, 50, 40}, past[] = {199'990, 200'000, 200'100};
  EXPECT_FALSE(envelope.Extents(backwards, out));
  EXPECT_EQ(envelope.LastFailure(), "les colonnes demandées ne se suivent pas");
  ASSERT_TRUE(envelope.Extents(past, out));
  EXPECT_TRUE(out[0].HoldsSamples() && !out[1].HoldsSamples());
}

}  // namespace
}  // namespace tavril
