#include "processing/streamed_wave_measurements.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "processing/measurement_table.h"
#include "processing/wave_measurements.h"
#include "support/board_signal.h"

namespace tavril {
namespace {

constexpr double kRate = 100000.0;
constexpr double kTwoPi = 6.283185307179586;

std::vector<double> Wave(std::size_t count, const std::function<double(double)>& at) {
  std::vector<double> samples(count);
  for (std::size_t i = 0; i < count; ++i) samples[i] = at(static_cast<double>(i));
  return samples;
}

// A square wave of `period` samples, high a third of the time, with edges of
// `edge` samples from -1 to 1.
double Square(double i, double period, double edge) {
  const double p = std::fmod(i + 0.37 * period, period);
  return -1 + 2 * (std::clamp(p / edge, 0.0, 1.0) - std::clamp((p - period / 3) / edge, 0.0, 1.0));
}

// Reads `samples`, checking that no read goes past them or past one block.
class Reader {
 public:
  Reader(const std::vector<double>& samples, std::size_t block)
      : samples_(samples), block_(block) {}
  SampleRangeReader Get() {
    return [this](std::uint64_t first, std::span<double> out) {
      EXPECT_LE(out.size(), block_);
      EXPECT_LE(first + out.size(), samples_.size());
      std::copy_n(samples_.begin() + static_cast<std::ptrdiff_t>(first), out.size(), out.begin());
      read += out.size();
      return true;
    };
  }
  std::uint64_t read = 0;

 private:
  const std::vector<double>& samples_;
  std::size_t block_;
};

void ExpectSame(const WaveMeasurements& a, const WaveMeasurements& b) {
  EXPECT_EQ(a.count, b.count);
  for (const MeasurementColumn& column : kMeasurementColumns)
    EXPECT_EQ(a.*column.value, b.*column.value) << column.key;
}

TEST(StreamedWaveMeasurements, GiveTheInMemoryResultsToTheBitForAnyBlockSize) {
  std::mt19937_64 random(5);
  std::normal_distribution<double> noise(0, 0.05);
  const std::vector<double> noisy =
      Wave(30000, [&](double i) { return Square(i, 997, 9) + noise(random); });
  std::vector<double> holed = Wave(3000, [](double i) { return std::sin(kTwoPi * i / 100); });
  holed[1700] = std::numeric_limits<double>::quiet_NaN();
  const struct {
    const char* name;
    std::vector<double> samples;
  } signals[] = {
      {"sine on an offset",
       Wave(20000, [](double i) { return 1.5 + 4 * std::sin(kTwoPi * i / 333.3); })},
      {"square with noise", noisy},
      // Edges whose band and 10-90 % stretches span several blocks of 4096.
      {"slow sine", Wave(150000, [](double i) { return std::sin(kTwoPi * i / 60000); })},
      {"slow square", Wave(100000, [](double i) { return Square(i, 40000, 12000); })},
      {"triangle", testing::BoardSignal(2, 5000, kRate)},
      {"flat", std::vector<double>(5000, -1.25)},
      {"one step", Wave(9000, [](double i) { return i < 4000 ? 0.0 : 1.0; })},
      {"a NaN", holed},
      {"one sample", {2.5}},
      {"nothing", {}},
  };
  for (const auto& [name, samples] : signals) {
    const WaveMeasurements whole = MeasureWave(samples, kRate);
    for (const std::size_t block : {1, 7, 4096}) {
      SCOPED_TRACE(::testing::Message() << name << ", blocks of " << block);
      Reader reader(samples, block);
      const auto gathered =
          MeasureWaveStreamed(reader.Get(), samples.size(), kRate, nullptr, block);
      ASSERT_TRUE(gathered.has_value());
      ExpectSame(*gathered, whole);
      // Looking back reads a stretch again at most a few times.
      EXPECT_LE(reader.read, 4 * samples.size() + 8);
      if (!whole.mean) continue;
      const WaveLevels levels{*whole.minimum, *whole.maximum, *whole.mean,
                              *whole.rms,     *whole.acRms,   true};
      const auto given = MeasureWaveStreamed(reader.Get(), samples.size(), kRate, &levels, block);
      ASSERT_TRUE(given.has_value());
      ExpectSame(*given, whole);
    }
  }
}

TEST(StreamedWaveMeasurements, AFailedReadGivesNoMeasurement) {
  const std::vector<double> samples = Wave(50000, [](double i) { return Square(i, 20000, 5000); });
  const WaveLevels levels{-1, 1, -1.0 / 3, 0, 0, true};
  // Reads fail from a point on, or when they look back before one.
  const struct {
    const char* name;
    const WaveLevels* levels;
    std::function<bool(std::uint64_t)> fails;
  } cases[] = {
      {"gathering the levels", nullptr, [](std::uint64_t first) { return first >= 30000; }},
      {"forward", &levels, [](std::uint64_t first) { return first >= 30000; }},
      {"looking back", &levels,
       [](std::uint64_t first) { return first < 20000 && first % 4096 != 0; }},
  };
  for (const auto& [name, given, fails] : cases) {
    SCOPED_TRACE(name);
    Reader reader(samples, 4096);
    const SampleRangeReader read = [&](std::uint64_t first, std::span<double> out) {
      return !fails(first) && reader.Get()(first, out);
    };
    EXPECT_TRUE(MeasureWaveStreamed(reader.Get(), samples.size(), kRate, given, 4096).has_value());
    EXPECT_FALSE(MeasureWaveStreamed(read, samples.size(), kRate, given, 4096).has_value());
  }
}

TEST(StreamedWaveMeasurements, CountsPastFourBillionSamples) {
  // A square wave of 4096 samples with edges of 16, computed from the index.
  // Every forward block starts a period, so once a buffer holds a block the
  // reader leaves it be, and the measurement's own pass is what is timed.
  constexpr std::uint64_t kPeriod = 4096;
  constexpr std::size_t kBlock = 1 << 16;
  const std::uint64_t count = (std::uint64_t{1} << 32) + 3 * kPeriod + 100;
  const double* filled = nullptr;
  const SampleRangeReader read = [&](std::uint64_t first, std::span<double> out) {
    if (out.data() == filled && out.size() == kBlock && first % kPeriod == 0) return true;
    for (std::size_t j = 0; j < out.size(); ++j)
      out[j] = Square(static_cast<double>((first + j) % kPeriod), kPeriod, 16);
    filled = out.size() == kBlock && first % kPeriod == 0 ? out.data() : nullptr;
    return true;
  };
  const WaveLevels levels{-1, 1, -1.0 / 3, 0, 0, true};
  const auto m = MeasureWaveStreamed(read, count, kRate, &levels, kBlock);
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->count, count);
  EXPECT_NEAR(*m->frequency, kRate / kPeriod, 1e-9);
  EXPECT_NEAR(*m->dutyCycle, 1.0 / 3, 1e-9);
  EXPECT_NEAR(*m->riseTime * kRate, 0.8 * 16, 1e-6);
}

}  // namespace
}  // namespace tavril
