#include "acquisition/wave_generator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace tavril {
namespace {

constexpr double kRate = 1'000'000.0;

WaveSettings Wave(WaveShape shape, double hz, double amplitude, double offset = 0.0) {
  WaveSettings settings;
  settings.shape = shape;
  settings.frequency = hz;
  settings.amplitude = amplitude;
  settings.offset = offset;
  return settings;
}

// Eight updates a period, so that every value is known exactly.
TEST(WaveGenerator, EachShapeAtEighthsOfItsPeriod) {
  const double s = std::sqrt(0.5);
  struct Case {
    WaveShape shape;
    double phase;
    std::vector<double> units;
  };
  const Case cases[] = {
      {WaveShape::kSine, 0.0, {0, s, 1, s, 0, -s, -1, -s}},
      {WaveShape::kSine, 90.0, {1, s, 0, -s, -1, -s, 0, s}},
      {WaveShape::kSquare, 0.0, {1, 1, -1, -1, -1, -1, -1, -1}},  // a duty of a quarter
      {WaveShape::kTriangle, 0.0, {-1, -0.5, 0, 0.5, 1, 0.5, 0, -0.5}},
      {WaveShape::kRisingSawtooth, 0.0, {-1, -0.75, -0.5, -0.25, 0, 0.25, 0.5, 0.75}},
      {WaveShape::kFallingSawtooth, 0.0, {1, 0.75, 0.5, 0.25, 0, -0.25, -0.5, -0.75}},
      {WaveShape::kArbitrary, 0.0, {0, 0.5, 1, 0.5, 0, -0.5, -1, -0.5}},
  };
  for (const Case& c : cases) {
    WaveSettings settings = Wave(c.shape, kRate / 8, 2.0, 0.5);
    settings.phaseDegrees = c.phase;
    settings.duty = 0.25;
    settings.arbitrary = {0, 1, 0, -1};
    WaveGenerator generator(settings, kRate);
    std::vector<double> volts(16);
    generator.Fill(std::span(volts).first(5));
    generator.Fill(std::span(volts).subspan(5));  // pieces continue one another
    for (std::size_t k = 0; k < volts.size(); ++k) {
      EXPECT_NEAR(volts[k], 0.5 + 2.0 * c.units[k % 8], 1e-12)
          << "shape " << static_cast<int>(c.shape) << " update " << k;
    }
  }
  EXPECT_EQ(WaveGenerator(Wave(WaveShape::kDc, 50.0, 3.0, -1.25), kRate).At(12345), -1.25);
}

// A record of 4 samples at 1000 a second, played at 4000 updates a second:
// each sample at its own time, straight lines between, and again.
TEST(WaveGenerator, PlaysARecordAtItsOwnTimes) {
  const std::vector<double> record = {0.0, 2.0, -2.0, 1.0};
  const WaveGenerator generator(RecordWave(record, 1000.0), 4000.0);
  const double expected[] = {0,  0.5,   1,    1.5,  2, 1,    0,   -1,
                             -2, -1.25, -0.5, 0.25, 1, 0.75, 0.5, 0.25};
  for (std::uint64_t k = 0; k < 40; ++k) EXPECT_NEAR(generator.At(k), expected[k % 16], 1e-12) << k;
}

// The phase comes from the update's number: an hour at a million updates a
// second ends on the phase it should, to a millionth of a period.
TEST(WaveGenerator, KeepsItsFrequencyOverAnHour) {
  const double hz = 1000.123;
  WaveGenerator generator(Wave(WaveShape::kRisingSawtooth, hz, 1.0), kRate);
  for (const std::uint64_t k :
       {std::uint64_t{0}, std::uint64_t{999'999'937}, std::uint64_t{3'600'000'000}}) {
    const long double cycles = static_cast<long double>(hz) * k / 1'000'000.0L;
    const double expected = static_cast<double>(cycles - std::floor(cycles));
    EXPECT_NEAR(generator.Cycles(k) - std::floor(generator.Cycles(k)), expected, 1e-6) << k;
  }
}

TEST(WaveGenerator, SweepsPassTheirFrequenciesAtTheirTimes) {
  for (const auto law : {FrequencySweep::Law::kLinear, FrequencySweep::Law::kLogarithmic}) {
    WaveSettings settings = Wave(WaveShape::kSine, 0.0, 1.0);
    settings.sweep = FrequencySweep{law, 100.0, 10000.0, 2.0};
    const WaveGenerator generator(settings, kRate);
    // The frequency at t is the cycles' slope there.
    const auto hzAt = [&](double seconds) {
      const auto k = static_cast<std::uint64_t>(seconds * kRate);
      return (generator.Cycles(k + 1000) - generator.Cycles(k)) * kRate / 1000.0;
    };
    const bool linear = law == FrequencySweep::Law::kLinear;
    EXPECT_NEAR(hzAt(0.0), 100.0, 5.0);
    EXPECT_NEAR(hzAt(1.0), linear ? 5050.0 : 1000.0, 5.0);
    EXPECT_NEAR(hzAt(2.5), 10000.0, 1e-6);  // held at its stop once the sweep is over
  }
}

TEST(WaveGenerator, NoisesHaveTheirSpreadAndNeverRepeat) {
  for (const auto shape : {WaveShape::kUniformNoise, WaveShape::kGaussianNoise}) {
    WaveSettings settings = Wave(shape, 0.0, 2.0, 1.0);
    WaveGenerator generator(settings, kRate);
    std::vector<double> volts(1 << 20);
    generator.Fill(volts);
    double sum = 0.0, squares = 0.0;
    for (const double v : volts) {
      sum += v - 1.0;
      squares += (v - 1.0) * (v - 1.0);
      if (shape == WaveShape::kUniformNoise) {
        ASSERT_LE(std::abs(v - 1.0), 2.0);
      }
    }
    const double n = static_cast<double>(volts.size());
    EXPECT_NEAR(sum / n, 0.0, 0.01);
    EXPECT_NEAR(std::sqrt(squares / n),
                shape == WaveShape::kUniformNoise ? 2.0 / std::sqrt(3.0) : 2.0, 0.01);
    // Another seed, and the same updates much later, give other values.
    settings.noiseSeed = 2;
    const WaveGenerator other(settings, kRate);
    int same = 0;
    for (std::uint64_t k = 0; k < 1000; ++k) {
      same += other.At(k) == volts[k];
      same += generator.At(k + (std::uint64_t{1} << 40)) == volts[k];
    }
    EXPECT_EQ(same, 0);
  }
}

TEST(WaveRefusal, SaysWhatAnOutputCannotPlay) {
  struct Case {
    WaveSettings settings;
    const char* refusal;  // a part of it; empty when played
    bool warned;
  };
  const Case cases[] = {
      {Wave(WaveShape::kSine, 1000.0, 9.0, 1.5), "hors de la plage", false},
      {Wave(WaveShape::kSine, 1000.0, 9.0, -0.5), "", false},
      {Wave(WaveShape::kDc, 0.0, 99.0, 10.5), "hors de la plage", false},
      {Wave(WaveShape::kSquare, 500000.0, 1.0), "la moitié de la cadence", false},
      {Wave(WaveShape::kTriangle, 200000.0, 1.0), "", true},
      {Wave(WaveShape::kGaussianNoise, 0.0, 5.0), "", true},
      {Wave(WaveShape::kArbitrary, 10.0, 1.0), "aucun échantillon", false},
  };
  for (const Case& c : cases) {
    std::string warning;
    const std::string why = WaveRefusal(c.settings, -10.0, 10.0, kRate, &warning);
    if (*c.refusal == '\0') {
      EXPECT_EQ(why, "") << static_cast<int>(c.settings.shape);
    } else {
      EXPECT_NE(why.find(c.refusal), std::string::npos) << "« " << why << " »";
    }
    EXPECT_EQ(!warning.empty(), c.warned) << warning;
  }
}

}  // namespace
}  // namespace tavril
