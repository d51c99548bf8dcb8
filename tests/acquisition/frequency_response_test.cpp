#include "acquisition/frequency_response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <iostream>
#include <numbers>

#include "acquisition/boards.h"
#include "acquisition/simulated_board.h"

namespace tavril {
namespace {

constexpr double kPi = std::numbers::pi;

// The test circuit: H(s) = w0² / (s² + (w0/Q) s + w0²), f0 = 1 kHz, Q = 2.
std::complex<double> Circuit(double hz) {
  const double w0 = 2 * kPi * 1000.0;
  const std::complex<double> s(0, 2 * kPi * hz);
  return w0 * w0 / (s * s + (w0 / 2.0) * s + w0 * w0);
}

TEST(FrequencySweep, MatchesTheAnalyticResponseAtEveryPoint) {
  struct Case {
    std::vector<int> outputs;
    int stimulus, response;
    double amplitude, fromHz, toHz;
    int points;
    std::int16_t lastGain;  // autoranging: the gain the last response was read at
  };
  const Case cases[] = {
      {{1}, 6, 7, 1.0, 10, 10000, 30, 100},  // the test circuit, down to -40 dB
      // At the resonance 3 V give 6 V, which clip at the stimulus's gain.
      {{1}, 6, 7, 3.0, 1000, 1000, 1, -1},
      // The direct path, across the delay between the two inputs' conversions.
      {{0, 1}, 5, 6, 1.0, 10, 20000, 7, 2},
  };
  for (const Case& c : cases) {
    InstantStreamClock clock;
    SimulatedBoard board(clock);
    SweepSettings settings;
    settings.outputs = c.outputs;
    settings.stimulus = c.stimulus;
    settings.response = c.response;
    settings.amplitude = c.amplitude;
    settings.fromHz = c.fromHz;
    settings.toHz = c.toHz;
    settings.points = c.points;
    const SweepResult result = RunFrequencySweep(board, settings);
    ASSERT_EQ(result.end, SweepEnd::kFinished) << result.message;
    ASSERT_EQ(result.points.size(), static_cast<std::size_t>(c.points));
    double worstDb = 0, worstDegrees = 0;
    for (const FrequencyPoint& point : result.points) {
      SCOPED_TRACE(point.hz);
      const std::complex<double> h = c.response == 7 ? Circuit(point.hz) : 1.0;
      const double db = point.gainDb - 20 * std::log10(std::abs(h));
      const double degrees = point.phaseDegrees - std::arg(h) * 180 / kPi;
      EXPECT_NEAR(db, 0.0, 0.1);
      EXPECT_NEAR(degrees, 0.0, 1.0);
      EXPECT_FALSE(point.clipped);
      worstDb = std::max(worstDb, std::abs(db));
      worstDegrees = std::max(worstDegrees, std::abs(degrees));
    }
    std::cout << "Input " << c.response << ", " << c.points << " points: at worst " << worstDb
              << " dB, " << worstDegrees << " degrees\n";
    EXPECT_EQ(result.points.back().responseGain, c.lastGain);
  }
}

TEST(FrequencySweep, RefusesWhatCannotBeSwept) {
  struct Case {
    int stimulus;
    double toHz;
    double amplitude;
    const char* refusal;
  };
  const Case cases[] = {
      {7, 10000, 1,
       "La stimulation et la réponse doivent être lues sur deux entrées différentes (ici 7 et 7)."},
      {6, 30000, 1,
       "La fréquence de 30000 Hz dépasse ce que les entrées mesurent : au plus 25000 Hz (4 mesures "
       "par période de chaque entrée à 200000 conversions par seconde)."},
      {6, 10000, 9.8,
       "L'amplitude de 9.8 V dépasse ce que l'entrée 6 mesure (±9.9951171875 V au plus, avec une "
       "marge de 5 %)."},
  };
  for (const Case& c : cases) {
    SimulatedBoard board;
    SweepSettings settings;
    settings.stimulus = c.stimulus;
    settings.toHz = c.toHz;
    settings.amplitude = c.amplitude;
    const SweepResult result = RunFrequencySweep(board, settings);
    EXPECT_EQ(result.end, SweepEnd::kRefused);
    EXPECT_EQ(result.message, c.refusal);
  }
  Boards boards;
  EXPECT_EQ(SweepRefusal(boards.For(9), SweepSettings{}),
            "Cette carte n'a pas de sortie analogique.");
}

// The simulated board, whose output calls are watched and whose input start
// may fail from a given call on.
class WatchedBoard : public SimulatedBoard {
 public:
  using SimulatedBoard::SimulatedBoard;
  DaqStatus Start(const AcquisitionRequest& request) override {
    if (++starts == failingStart) return kBadChanError;
    return SimulatedBoard::Start(request);
  }
  DaqStatus StartOutput(const OutputRequest& request) override {
    outputRunning = true;
    return SimulatedBoard::StartOutput(request);
  }
  DaqStatus StopOutput() override {
    outputRunning = false;
    return SimulatedBoard::StopOutput();
  }
  int starts = 0;
  int failingStart = 0;
  bool outputRunning = false;
};

TEST(FrequencySweep, OutputsEndAtZeroWhenStoppedOrFailed) {
  for (const bool fail : {false, true}) {
    InstantStreamClock clock;
    WatchedBoard board(clock);
    if (fail) board.failingStart = 3;
    std::stop_source stop;
    std::size_t seen = 0;
    const SweepResult result =
        RunFrequencySweep(board, SweepSettings{}, stop.get_token(),
                          [&](const FrequencyPoint&, std::size_t done, std::size_t count) {
                            seen = done;
                            EXPECT_EQ(count, 30u);
                            if (done == 2 && !fail) stop.request_stop();
                          });
    EXPECT_EQ(result.end, fail ? SweepEnd::kFailed : SweepEnd::kCancelled);
    EXPECT_EQ(result.points.size(), 2u);
    EXPECT_EQ(seen, 2u);
    EXPECT_FALSE(board.outputRunning);
    if (fail) {
      EXPECT_EQ(result.message.rfind("À 16.", 0), 0u) << result.message;
    }
  }
}

}  // namespace
}  // namespace tavril
