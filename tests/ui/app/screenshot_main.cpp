// Draws the main window as a user sees it after acquiring three channels from
// the simulated board, saving channel 0, opening it again and placing both
// cursors, and writes the picture to the path given.
//   tavril_screenshot docs/screenshot.png
// With --recording, a long recording opened whole and zoomed to a few
// periods, into a folder:
//   tavril_screenshot --recording FILE.h5 docs/
// With --continuous, a live run of channels 0 to 3 rolling and a triggered,
// recorded capture, into a folder:
//   tavril_screenshot --continuous docs/
// With --generator, the Générateur window with a square on outputs 0 and 1,
// then the graph of inputs 5 and 7 acquired with it (input 7 through the
// simulated board's low-pass), into a folder:
//   tavril_screenshot --generator docs/
// With --frequency-response, the Réponse en fréquence window after its sweep
// of the simulated board's test circuit (output 1, stimulus 6, response 7,
// 30 points from 10 Hz to 10 kHz), the marker at 1 kHz, into a file:
//   tavril_screenshot --frequency-response docs/frequency-response.png
// With --readable, channels 0 to 3 with the graph's axes, grid, colours and
// legend, zoomed in with a box, and the Mesures and Spectre windows, into a
// folder:
//   tavril_screenshot --readable docs/
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "acquisition/acquisition_engine.h"
#include "acquisition/acquisition_settings.h"
#include "acquisition/comedi/default_boards.h"
#include "files/channel_file.h"
#include "live_window.h"
#include "model/board_config.h"
#include "ui/acquisition/acquisition_panel.h"
#include "ui/acquisition/continuous_window.h"
#include "ui/acquisition/frequency_response_plot.h"
#include "ui/acquisition/frequency_response_window.h"
#include "ui/acquisition/generator_window.h"
#include "ui/app/command_ids.h"
#include "ui/app/main_window.h"
#include "ui/common/app_look.h"
#include "ui/common/file_dialogs.h"
#include "ui/display/graph_widget.h"
#include "ui/processing/measurements_window.h"
#include "ui/processing/spectrum_panel.h"

namespace {

// Answers every box with its first button and reports it, as nothing should ask.
class ConsentingUser : public tavril::UserInteraction {
 public:
  tavril::MessageAnswer ShowMessage(const tavril::MessageBoxRequest& box) override {
    std::fprintf(stderr, "box: %s\n", box.text.c_str());
    return box.buttons == tavril::MessageButtons::kYesNo ? tavril::MessageAnswer::kYes
                                                         : tavril::MessageAnswer::kOk;
  }
};

// Chooses one prepared file in every dialog.
class PreparedFile : public tavril::FileDialogs {
 public:
  explicit PreparedFile(std::filesystem::path path) : path_(std::move(path)) {}
  tavril::FileDialogResult ChooseFileToOpen(const tavril::FileDialogRequest&,
                                            tavril::FileDialogState& memory) override {
    memory.filePath = path_.string();
    memory.fileTitle = path_.filename().string();
    return {tavril::FileDialogOutcome::kChosen, 0};
  }
  tavril::FileDialogResult ChooseFileToSave(const tavril::FileDialogRequest& request,
                                            tavril::FileDialogState& memory) override {
    return ChooseFileToOpen(request, memory);
  }

 private:
  std::filesystem::path path_;
};

// Acquires the selected channels from the simulated board into the session.
bool Acquire(tavril::Session& session, tavril::Boards& boards, tavril::UserInteraction& user,
             const tavril::ChannelSelection& selected,
             const tavril::AcquisitionSettings& settings) {
  tavril::PrepareRecords(session.channels, selected, settings, session.boardConfig.device);
  const tavril::BoardConfig& config = session.boardConfig;
  if (tavril::ConfigureBoard(boards, user, config.device, config.inputMode, config.polar) &&
      tavril::AcquireChannels({boards, user, config, session.spare}, session.channels, selected,
                              settings.scanRate)) {
    return true;
  }
  std::fprintf(stderr, "the simulated board did not acquire\n");
  return false;
}

bool Save(QWidget& widget, const QString& path) {
  if (widget.grab().save(path)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

int ReadableGraph(const QString& folder) {
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  tavril::Session& session = model.session();
  session.boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs("");
  if (!Acquire(session, *boards, user, {true, true, true, true},
               {400000.0, 16384, 1, "Banc de mesure", 100000.0})) {
    return 1;
  }
  model.view().options = tavril::GraphOptions{true, true, true};
  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(1000, 640);
  window.show();
  window.RunCommand(tavril::kCmdZoomFit);
  QWidget* graph = window.graph();
  // A box drawn with Ctrl around the first twentieth of the record.
  const int bottom = window.graph()->DrawingArea().height - 1;
  QTest::mousePress(graph, Qt::LeftButton, Qt::ControlModifier,
                    QPoint(1, 1));  // (0, 0) is "centre"
  QTest::mouseMove(graph, QPoint(graph->width() / 20, bottom));
  QTest::mouseRelease(graph, Qt::LeftButton, Qt::ControlModifier,
                      QPoint(graph->width() / 20, bottom));
  QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, QPoint(graph->width() * 8 / 100, 40));
  QTest::mouseClick(graph, Qt::RightButton, Qt::NoModifier, QPoint(graph->width() * 92 / 100, 40));
  QApplication::processEvents();
  if (!Save(window, QDir(folder).filePath("graph-readable.png"))) return 1;

  window.RunCommand(tavril::kCmdMeasurements);
  auto* measurements = window.findChild<tavril::MeasurementsWindow*>();
  if (measurements == nullptr) return 1;
  for (QRadioButton* choice : measurements->findChildren<QRadioButton*>()) {
    if (choice->text() == QStringLiteral("Entre les curseurs")) choice->click();
  }
  QApplication::processEvents();
  if (!Save(*measurements, QDir(folder).filePath("measurements.png"))) return 1;

  window.RunCommand(tavril::kCmdSpectrum);
  auto* spectrum = window.findChild<tavril::SpectrumPanel*>();
  if (spectrum == nullptr) return 1;
  for (QComboBox* choice : spectrum->findChildren<QComboBox*>()) {
    const int shown = choice->findText(QStringLiteral("Canaux affichés"));
    if (shown >= 0) choice->setCurrentIndex(shown);
    const int flatTop = choice->findText(QStringLiteral("Flat-top"));
    if (flatTop >= 0) choice->setCurrentIndex(flatTop);
  }
  spectrum->resize(760, 480);
  QApplication::processEvents();
  if (!Save(*spectrum, QDir(folder).filePath("spectrum.png"))) return 1;
  return 0;
}

// Channels 0 to 3 at 100,000 scans a second, 2,000 points shown: first
// rolling, then triggered on channel 0's rising edge through 0 V, recorded.
int ContinuousRuns(const QString& folder) {
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  model.session().boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs("");
  model.view().options = tavril::GraphOptions{true, true, true};
  model.view().scale.autoScale = true;
  const QTemporaryDir recordings;
  memory.continuous.recordPath = QDir(recordings.path()).filePath("essai.h5").toStdString();
  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(1000, 640);
  window.show();
  window.RunCommand(tavril::kCmdAcquisitionPanel);
  auto* panel = window.findChild<tavril::AcquisitionPanel*>();
  if (panel == nullptr) return 1;
  auto* channels = panel->findChild<QListWidget*>();
  for (int row = 0; row < 4; ++row) channels->item(row)->setSelected(true);
  const auto setField = [panel](int id, const char* text) {
    panel->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))->setText(text);
  };
  setField(tavril::kCountEditId, "2000");
  setField(tavril::kSampleRateEditId, "400000");
  setField(tavril::kScanRateEditId, "100000");
  panel->findChild<QPlainTextEdit*>()->setPlainText(QStringLiteral("Banc de mesure"));

  const auto run = [&](const char* picture, int milliseconds) {
    window.RunCommand(tavril::kCmdContinuous);
    QPushButton* start = tavril::testing::VisibleButton(QStringLiteral("Démarrer"));
    if (start == nullptr) return false;
    start->click();
    tavril::testing::RunEventsFor(milliseconds);
    const bool saved = Save(window, QDir(folder).filePath(picture));
    auto* continuous = window.findChild<tavril::ContinuousWindow*>();
    const bool savedWindow = continuous == nullptr ||
                             std::string_view(picture) != "continuous-triggered.png" ||
                             Save(*continuous, QDir(folder).filePath("continuous-window.png"));
    window.RunCommand(tavril::kCmdContinuous);  // closing it stops the run
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return saved && savedWindow;
  };
  if (!run("continuous-roll.png", 300)) return 1;
  memory.continuous.triggerChannel = 0;
  memory.continuous.mode = tavril::ContinuousChoices::Mode::kNormal;
  memory.continuous.preTriggerPercent = 25;
  memory.continuous.record = true;
  if (!run("continuous-triggered.png", 1500)) return 1;
  return 0;
}

// A 100 Hz square of 4 V on outputs 0 and 1 started with an acquisition of
// channels 0 to 7 at 100,000 scans a second, gain 0.5 (±10 V); inputs 5 and
// 7 shown.
int GeneratorLoopback(const QString& folder) {
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  model.session().boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs("");
  model.view().options = tavril::GraphOptions{true, true, true};
  model.view().scale.autoScale = true;
  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(1000, 640);
  window.show();
  window.RunCommand(tavril::kCmdAcquisitionPanel);
  auto* panel = window.findChild<tavril::AcquisitionPanel*>();
  if (panel == nullptr) return 1;
  panel->findChild<QListWidget*>()->item(7)->setSelected(true);
  const auto setField = [panel](int id, const char* text) {
    panel->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))->setText(text);
  };
  setField(tavril::kGainEditId, "-1");
  setField(tavril::kCountEditId, "2000");
  setField(tavril::kSampleRateEditId, "800000");
  panel->findChild<QPlainTextEdit*>()->setPlainText(QStringLiteral("Circuit de test"));

  window.RunCommand(tavril::kCmdGenerator);
  auto* generator = window.findChild<tavril::GeneratorWindow*>();
  if (generator == nullptr) return 1;
  for (int output = 0; output < 2; ++output) {
    const auto named = [output](const char* name) {
      return QStringLiteral("%1%2").arg(QLatin1String(name)).arg(output);
    };
    generator->findChild<QCheckBox*>(named("active"))->setChecked(true);
    auto* shape = generator->findChild<QComboBox*>(named("shape"));
    shape->setCurrentIndex(shape->findData(static_cast<int>(tavril::WaveShape::kSquare)));
    generator->findChild<QLineEdit*>(named("frequency"))->setText("100");
    generator->findChild<QLineEdit*>(named("amplitude"))->setText("4");
  }
  for (QCheckBox* box : generator->findChildren<QCheckBox*>()) {
    if (box->text() == QStringLiteral("Avec l'acquisition")) box->setChecked(true);
  }
  generator->move(window.frameGeometry().topRight() + QPoint(8, 0));
  const auto start = [generator] {
    for (QPushButton* button : generator->findChildren<QPushButton*>()) {
      if (button->text() == QStringLiteral("Démarrer")) button->click();
    }
    std::fprintf(stderr, "status: %s\n", qPrintable(generator->StatusText()));
  };
  start();
  for (int channel = 0; channel < 8; ++channel) {
    if (channel != 5 && channel != 7) window.RunCommand(tavril::kCmdChannel0 + channel);
  }
  model.SetMasterChannel(7);
  window.RunCommand(tavril::kCmdZoomFit);
  QApplication::processEvents();
  if (!Save(window, QDir(folder).filePath("generator-loopback.png"))) return 1;

  // Then alone: a logarithmic sweep on output 0, a square of 25 % on output 1.
  auto* sweep = generator->findChild<QComboBox*>(QStringLiteral("shape0"));
  sweep->setCurrentIndex(sweep->findData(static_cast<int>(tavril::WaveShape::kSine)));
  auto* law = generator->findChild<QComboBox*>(QStringLiteral("sweep0"));
  law->setCurrentIndex(2);
  generator->findChild<QLineEdit*>(QStringLiteral("amplitude0"))->setText("2,5");
  generator->findChild<QLineEdit*>(QStringLiteral("sweepStart0"))->setText("20");
  generator->findChild<QLineEdit*>(QStringLiteral("sweepStop0"))->setText("20000");
  generator->findChild<QLineEdit*>(QStringLiteral("sweepSeconds0"))->setText("10");
  generator->findChild<QLineEdit*>(QStringLiteral("frequency1"))->setText("1000");
  generator->findChild<QLineEdit*>(QStringLiteral("duty1"))->setText("25");
  generator->findChild<QLineEdit*>(QStringLiteral("offset1"))->setText("1");
  for (QCheckBox* box : generator->findChildren<QCheckBox*>()) {
    if (box->text() == QStringLiteral("Avec l'acquisition")) box->setChecked(false);
  }
  start();
  QApplication::processEvents();
  const bool saved = Save(*generator, QDir(folder).filePath("generator-window.png"));
  generator->StopOutput();
  return saved ? 0 : 1;
}

// The test circuit's response, swept as the window's defaults ask.
int FrequencyResponse(const QString& file) {
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  model.session().boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs("");
  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(900, 600);
  window.show();
  window.RunCommand(tavril::kCmdFrequencyResponse);
  auto* sweep = window.findChild<tavril::FrequencyResponseWindow*>();
  if (sweep == nullptr) return 1;
  sweep->resize(960, 560);
  sweep->Start();
  QElapsedTimer clock;
  clock.start();
  while (sweep->Sweeping() && clock.elapsed() < 60000) tavril::testing::RunEventsFor(50);
  std::fprintf(stderr, "status: %s (%lld ms)\n", qPrintable(sweep->StatusText()),
               static_cast<long long>(clock.elapsed()));
  const std::vector<tavril::FrequencyPoint>& points = sweep->plot()->points();
  std::size_t marked = 0;
  for (std::size_t i = 0; i < points.size(); ++i) {
    if (std::abs(std::log(points[i].hz / 1000.0)) < std::abs(std::log(points[marked].hz / 1000.0)))
      marked = i;
  }
  if (!points.empty()) sweep->plot()->SetMarker(marked);
  QApplication::processEvents();
  return Save(*sweep, file) ? 0 : 1;
}

// A long recording opened whole, then zoomed to a few periods in its middle,
// with the graph's axes, grid and colours; prints how long the first picture
// took.
int LongRecording(const QString& file, const QString& folder) {
  tavril::SessionModel model;
  tavril::WindowMemory memory;
  model.session().boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs("");
  model.view().options = tavril::GraphOptions{true, true, true};
  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(1000, 640);
  window.show();
  QApplication::processEvents();
  // Two channels whole: the band each fills, whatever their periods.
  model.view().channelShown = {false, false, false, true, false, true, false, false};
  QElapsedTimer clock;
  clock.start();
  window.OpenFromCommandLine(file.toStdString());
  if (!model.view().recording) return 1;
  QImage picture = window.grab().toImage();
  std::printf("first picture: %lld ms\n", static_cast<long long>(clock.elapsed()));
  if (!picture.save(QDir(folder).filePath("recording-whole.png"))) return 1;

  model.view().channelShown.fill(true);
  tavril::GraphScale& scale = model.view().scale;
  const std::uint64_t count = model.view().recording->LongestCount();
  scale.pixelsPerSample = window.graph()->DrawingArea().width / 2500.0;
  scale.scrollOffset = static_cast<std::int64_t>(count / 2);
  model.TellScaleChanged();
  QWidget* graph = window.graph();
  QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, QPoint(graph->width() * 30 / 100, 40));
  QTest::mouseClick(graph, Qt::RightButton, Qt::NoModifier, QPoint(graph->width() * 62 / 100, 40));
  QApplication::processEvents();
  return Save(window, QDir(folder).filePath("recording-zoomed.png")) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  tavril::ApplyTavrilLook(application);
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--readable")) {
    return ReadableGraph(QString::fromLocal8Bit(argv[2]));
  }
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--generator")) {
    return GeneratorLoopback(QString::fromLocal8Bit(argv[2]));
  }
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--frequency-response")) {
    return FrequencyResponse(QString::fromLocal8Bit(argv[2]));
  }
  if (argc == 3 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--continuous")) {
    return ContinuousRuns(QString::fromLocal8Bit(argv[2]));
  }
  if (argc == 4 && QString::fromLocal8Bit(argv[1]) == QStringLiteral("--recording")) {
    return LongRecording(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: tavril_screenshot OUT.png | --readable FOLDER | --continuous FOLDER | "
                 "--generator FOLDER | --frequency-response OUT.png | "
                 "--recording FILE.h5 FOLDER\n");
    return 2;
  }
  const QTemporaryDir folder;
  const std::filesystem::path file = QDir(folder.path()).filePath("essai.tvr").toStdString();

  tavril::SessionModel model;
  tavril::WindowMemory memory;
  tavril::Session& session = model.session();
  session.boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  ConsentingUser user;
  PreparedFile dialogs(file);

  // Channels 0 to 2 in one scan, as the acquisition panel would ask for them.
  if (!Acquire(session, *boards, user, {true, true, true},
               {900000.0, 2000, 1, "Essai du banc de mesure", 300000.0})) {
    return 1;
  }
  tavril::SaveChannelFile(user, file, session.channels[0]);

  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(900, 600);
  window.show();
  model.view().scale.autoScale = true;
  window.RunCommand(tavril::kCmdOpen);

  QWidget* graph = window.graph();
  QTest::mouseClick(graph, Qt::LeftButton, Qt::NoModifier, QPoint(graph->width() * 26 / 100, 40));
  QTest::mouseClick(graph, Qt::RightButton, Qt::NoModifier, QPoint(graph->width() * 57 / 100, 40));
  QApplication::processEvents();

  if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
