#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <cmath>
#include <complex>
#include <fstream>
#include <iterator>
#include <numbers>

#include "acquisition/frequency_response_text.h"
#include "acquisition/simulated_board.h"
#include "live_window.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
#include "ui/acquisition/frequency_response_plot.h"
#include "ui/acquisition/frequency_response_window.h"
#include "ui/acquisition/generator_window.h"
#include "ui/app/command_ids.h"

namespace tavril::testing {
namespace {

class FrequencyResponseCommands : public MainWindowTest {
 protected:
  FrequencyResponseCommands() {
    session_.boardConfig = DefaultBoardConfig();
    boards_->Attach(session_.boardConfig.device, std::make_unique<SimulatedBoard>(), "carte");
    window_.RunCommand(kCmdFrequencyResponse);
    sweep_ = window_.findChild<FrequencyResponseWindow*>();
  }
  void Set(const char* field, const char* text) const {
    sweep_->findChild<QLineEdit*>(QString::fromUtf8(field))->setText(QString::fromUtf8(text));
  }
  void Click(const char* button) const {
    sweep_->findChild<QPushButton*>(QString::fromUtf8(button))->click();
  }
  // Lets the sweep run until `done` or ten seconds have gone.
  template <typename Done>
  void RunUntil(Done done) const {
    for (int i = 0; i < 1000 && !done(); ++i) RunEventsFor(10);
  }

  FrequencyResponseWindow* sweep_ = nullptr;
};

// The test circuit: a second-order low-pass, f0 = 1 kHz, Q = 2.
std::complex<double> LowPass(double hz) {
  const double x = hz / 1000.0;
  return 1.0 / std::complex<double>(1.0 - x * x, x / 2.0);
}

// Three points on output 1 (stimulus 6, response 7) arrive, are plotted and
// read, then exported exactly as tavril-cli bode --csv writes them.
TEST_F(FrequencyResponseCommands, PointsArriveOnThePlotAndExportAsTheCommandLineWritesThem) {
  Set("fromHz", "500");
  Set("toHz", "2000");
  Set("points", "3");
  Click("start");
  EXPECT_EQ(model_.acquisitionState(), AcquisitionState::kFrequencySweep);
  RunUntil([&] { return !sweep_->Sweeping(); });
  EXPECT_EQ(model_.acquisitionState(), AcquisitionState::kIdle);
  EXPECT_EQ(sweep_->StatusText(), "Terminé : 3 points mesurés. Les sorties sont à 0 V.");
  const std::vector<FrequencyPoint>& points = sweep_->plot()->points();
  ASSERT_EQ(points.size(), 3u);
  for (const FrequencyPoint& point : points) {
    EXPECT_NEAR(point.gainDb, 20 * std::log10(std::abs(LowPass(point.hz))), 0.1) << point.hz;
    EXPECT_NEAR(point.phaseDegrees, std::arg(LowPass(point.hz)) * 180 / std::numbers::pi, 1.0);
  }

  sweep_->plot()->PutMarkerAtColumn(sweep_->plot()->width() / 2);
  EXPECT_EQ(sweep_->MarkerText(),
            "Marqueur : " + QString::fromStdString(FrequencyPointText(points[1])));

  const std::filesystem::path csv = dir_.path() / "bode.csv";
  dialogs_.Choose(csv);
  Click("exportCsv");
  std::ifstream in(csv);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), FrequencyResponseCsv(points));
  dialogs_.Choose(dir_.path() / "bode", 2);  // the SVG filter adds its extension
  Click("exportImage");
  std::ifstream svg(dir_.path() / "bode.svg");
  std::string text(std::istreambuf_iterator<char>(svg), {});
  EXPECT_NE(text.find("<svg"), std::string::npos);
  EXPECT_TRUE(user_.boxes().empty()) << BoxTexts().front();
}

// While the sweep runs the board is its own; Arrêter ends it at the next
// point, and closing the window ends the next one.
TEST_F(FrequencyResponseCommands, TheBoardIsTheSweepsUntilStoppedOrClosed) {
  Click("start");
  RunUntil([&] { return !sweep_->plot()->points().empty(); });
  window_.RunCommand(kCmdConfiguration);
  window_.RunCommand(kCmdGenerator);
  auto* generator = window_.findChild<GeneratorWindow*>();
  generator->findChild<QPushButton*>(QStringLiteral("start"))->click();
  EXPECT_FALSE(generator->Playing());
  const std::string busy =
      "Arrêtez d'abord la mesure de la réponse en fréquence : elle utilise les sorties et les "
      "entrées de la carte.";
  EXPECT_EQ(BoxTexts(), std::vector<std::string>({busy, busy}));

  Click("stop");
  RunUntil([&] { return !sweep_->Sweeping(); });
  EXPECT_TRUE(sweep_->StatusText().startsWith(QStringLiteral("Arrêté : ")))
      << sweep_->StatusText().toStdString();
  EXPECT_LT(sweep_->plot()->points().size(), 30u);
  EXPECT_EQ(model_.acquisitionState(), AcquisitionState::kIdle);

  Click("start");
  EXPECT_TRUE(sweep_->Sweeping());
  window_.RunCommand(kCmdFrequencyResponse);  // closes it
  RunEventsFor(20);
  EXPECT_EQ(window_.findChild<FrequencyResponseWindow*>(), nullptr);
  EXPECT_EQ(model_.acquisitionState(), AcquisitionState::kIdle);
  EXPECT_FALSE(window_.CommandAction(kCmdFrequencyResponse)->isChecked());
}

// What cannot be swept is refused with a box and the status saying why.
TEST_F(FrequencyResponseCommands, RefusedSettingsSayWhyAndStartNothing) {
  struct Case {
    const char *field, *text, *why;
  };
  const Case cases[] = {
      {"fromHz", "abc", "Le champ « De (Hz) » doit contenir une fréquence positive."},
      {"stimulus", "7", "La stimulation et la réponse doivent être lues sur deux entrées"},
      {"outputs", "9", "La carte n'a pas de sortie 9"},
      {"toHz", "50000", "La fréquence de 50000 Hz dépasse ce que les entrées mesurent"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto* field = sweep_->findChild<QLineEdit*>(QString::fromUtf8(c.field));
    const QString kept = field->text();
    Set(c.field, c.text);
    Click("start");
    EXPECT_FALSE(sweep_->Sweeping());
    EXPECT_TRUE(sweep_->StatusText().startsWith(QString::fromUtf8(c.why)))
        << sweep_->StatusText().toStdString();
    ASSERT_FALSE(user_.boxes().empty());
    EXPECT_EQ(user_.boxes().back().text, sweep_->StatusText().toStdString());
    Set(c.field, kept.toUtf8().constData());
  }
}

}  // namespace
}  // namespace tavril::testing
