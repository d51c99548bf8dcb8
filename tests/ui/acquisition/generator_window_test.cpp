#include "ui/acquisition/generator_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>
#include <optional>
#include <thread>
#include <tuple>
#include <vector>

#include "acquisition/simulated_board.h"
#include "live_window.h"
#include "support/scripted_user.h"

namespace tavril {
namespace {

// Each shape takes the panel's fields that apply to it; the greyed ones
// leave the wave's defaults (1000 Hz, 1 V, 0°, 50 %, no sweep).
TEST(GeneratorFields, EachShapeTakesTheFieldsThatApplyToIt) {
  using Law = FrequencySweep::Law;
  struct Case {
    WaveShape shape;
    SweepChoice sweep;
    double frequency, amplitude, phase, duty;  // the wave's
    std::optional<Law> law;
  };
  const Case cases[] = {
      {WaveShape::kSine, SweepChoice::kNone, 250, 3, 45, 0.5, {}},
      {WaveShape::kSquare, SweepChoice::kNone, 250, 3, 45, 0.2, {}},
      {WaveShape::kTriangle, SweepChoice::kLinear, 1000, 3, 45, 0.5, Law::kLinear},
      {WaveShape::kFallingSawtooth, SweepChoice::kLogarithmic, 1000, 3, 45, 0.5, Law::kLogarithmic},
      {WaveShape::kDc, SweepChoice::kLinear, 1000, 1, 0, 0.5, {}},
      {WaveShape::kGaussianNoise, SweepChoice::kNone, 1000, 3, 0, 0.5, {}},
      {WaveShape::kArbitrary, SweepChoice::kLinear, 1000, 1, 45, 0.5, {}},  // as recorded
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ShapeName(c.shape));
    const OutputChoices choices{true, c.shape, 250, 3, -1.5, 45, 20, c.sweep, 20, 2000, 4, {}};
    const WaveSettings wave = WaveFromChoices(choices);
    EXPECT_EQ(std::tie(wave.shape, wave.frequency, wave.amplitude, wave.offset, wave.phaseDegrees,
                       wave.duty),
              std::make_tuple(c.shape, c.frequency, c.amplitude, -1.5, c.phase, c.duty));
    ASSERT_EQ(wave.sweep.has_value(), c.law.has_value());
    if (c.law) {
      EXPECT_EQ(
          std::tie(wave.sweep->law, wave.sweep->startHz, wave.sweep->stopHz, wave.sweep->seconds),
          std::make_tuple(*c.law, 20.0, 2000.0, 4.0));
    }
  }
}

// A window on device 1, the simulated board unless a test attaches another,
// output 0 active.
struct GeneratorRig {
  SessionModel model;
  GeneratorChoices choices;
  Boards boards;
  testing::ScriptedUser user;
  SimulatedBoard* board = nullptr;
  std::unique_ptr<GeneratorWindow> window;

  explicit GeneratorRig(
      std::unique_ptr<SimulatedBoard> attached = std::make_unique<SimulatedBoard>(),
      std::int16_t device = 1) {
    model.session().boardConfig.device = device;
    board = attached.get();  // on device 1
    boards.Attach(1, std::move(attached), "carte");
    window = std::make_unique<GeneratorWindow>(model, choices, boards, user, nullptr);
    if (auto* active = Field<QCheckBox>("active0")) active->setChecked(true);
  }
  template <typename T>
  T* Field(const char* name) const {
    return window->findChild<T*>(QString::fromUtf8(name));
  }
  void Set(const char* name, const char* text) const { Field<QLineEdit>(name)->setText(text); }
  void Click(const char* button) const { Field<QPushButton>(button)->click(); }
};

// What the output cannot play is refused, nothing started, with a box; what
// it plays poorly starts with a warning in the status line.
TEST(GeneratorWindow, RefusalsLeaveNothingRunningAndWarningsStartWithTheirReason) {
  struct Case {
    const char *field, *value, *status;  // how the status begins
    bool plays;
  };
  const Case cases[] = {
      {"amplitude0", "11", "Sortie 0 : le signal va de -11 à 11 V, hors de la plage", false},
      {"frequency0", "50000", "Sortie 0 : la fréquence 50000 Hz atteint la moitié", false},
      {"updateRate", "2000000", "Sortie 0 : la sortie fait au plus 1000000 mises à jour", false},
      {"frequency0", "20000", "Sortie 0 en marche. Attention, Sortie 0 : à 20000 Hz", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    GeneratorRig rig;
    rig.Set(c.field, c.value);
    rig.Click("start");
    EXPECT_EQ(rig.window->Playing(), c.plays);
    EXPECT_TRUE(rig.window->StatusText().startsWith(QString::fromUtf8(c.status)))
        << rig.window->StatusText().toStdString();
    ASSERT_EQ(rig.user.boxes().size(), c.plays ? 0u : 1u);
    if (!c.plays) {
      EXPECT_EQ(rig.user.boxes()[0].text, rig.window->StatusText().toStdString());
    }
  }
}

// Input 5 reads output 0: what the output plays, then 0 V from Arrêter on.
TEST(GeneratorWindow, InputFiveReadsTheOutputThenZeroVoltsOnceStopped) {
  GeneratorRig rig;
  rig.Field<QComboBox>("shape0")->setCurrentIndex(5);  // Continu
  rig.Set("offset0", "2,5");
  rig.Click("start");
  ASSERT_TRUE(rig.window->Playing()) << rig.window->StatusText().toStdString();

  constexpr double kRate = 10000.0;
  std::vector<BoardReading> readings(10000);  // one second, as the clock goes
  std::thread input([&] {
    ASSERT_EQ(rig.board->Start({{5}, -1, kRate, 0.0, 0}), kDaqNoError);
    rig.board->Read(readings);
    rig.board->Stop();
  });
  testing::RunEventsFor(250);
  rig.Click("stop");
  input.join();
  EXPECT_FALSE(rig.window->Playing());
  EXPECT_EQ(rig.window->StatusText(), QStringLiteral("Arrêtée : les sorties sont à 0 V."));
  VoltScale scale;
  ASSERT_EQ(rig.board->ScaleFor(5, -1, scale), kDaqNoError);
  for (std::size_t i = 0; i < readings.size(); i += i == 999 ? 7001 : 1) {  // before, well after
    EXPECT_NEAR(scale.Volts(readings[i], 1, 0), i < 1000 ? 2.5 : 0.0, 0.01) << i;
  }
}

// Its output runs out of values at once.
struct StarvedBoard : SimulatedBoard {
  DaqStatus WriteOutput(std::span<const double>) override {
    SimulatedBoard::StopOutput();
    return kOutputUnderrunError;
  }
};

TEST(GeneratorWindow, AnUnderrunIsToldOnTheGuiThreadAndStopsTheAcquisitionStartedWithIt) {
  GeneratorRig rig(std::make_unique<StarvedBoard>());
  rig.Field<QCheckBox>("withAcquisition")->setChecked(true);
  int stopsAsked = 0;
  QObject::connect(rig.window.get(), &GeneratorWindow::acquisitionWanted,
                   [&] { rig.model.SetAcquisitionState(AcquisitionState::kContinuous); });
  QObject::connect(rig.window.get(), &GeneratorWindow::acquisitionStopWanted,
                   [&] { ++stopsAsked; });
  rig.Click("start");
  for (int i = 0; i < 100 && stopsAsked == 0; ++i) testing::RunEventsFor(10);
  EXPECT_EQ(stopsAsked, 1);
  EXPECT_FALSE(rig.window->Playing());
  EXPECT_EQ(rig.window->StatusText(),
            "La sortie analogique a manqué de valeurs : elle a été arrêtée et mise à 0 V. "
            "L'acquisition est arrêtée.");
}

TEST(GeneratorWindow, ABoardWithoutOutputsSaysSoAndGreysTheButtons) {
  GeneratorRig rig(std::make_unique<SimulatedBoard>(), 7);  // no board on device 7
  ASSERT_NE(rig.Field<QLabel>("noOutput"), nullptr);
  EXPECT_EQ(rig.Field<QLabel>("noOutput")->text(), "Cette carte n'a pas de sortie analogique.");
  EXPECT_FALSE(rig.Field<QPushButton>("start")->isEnabled() ||
               rig.Field<QPushButton>("stop")->isEnabled());
}

}  // namespace
}  // namespace tavril
