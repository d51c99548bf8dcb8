#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <filesystem>

#include "acquisition/simulated_board.h"
#include "config/config_file.h"
#include "main_window_fixture.h"
#include "model/board_config.h"
#include "session/session_file.h"
#include "ui/acquisition/acquisition_panel.h"  // the field ids
#include "ui/acquisition/generator_window.h"
#include "ui/app/command_ids.h"
#include "ui/app/startup.h"
#include "ui/app/termination_signals.h"
#include "ui/common/owner_modal.h"

namespace tavril::testing {
namespace {

// The simulated board, counting the calls that put its outputs at 0 V.
class CountingBoard : public SimulatedBoard {
 public:
  DaqStatus ZeroOutputs() override {
    ++zeroed;
    return SimulatedBoard::ZeroOutputs();
  }
  int zeroed = 0;
};

class GeneratorCommands : public MainWindowTest {
 protected:
  GeneratorCommands() {
    session_.boardConfig = DefaultBoardConfig();
    auto counting = std::make_unique<CountingBoard>();
    board_ = counting.get();
    boards_->Attach(session_.boardConfig.device, std::move(counting), "carte simulée");
  }

  // The Générateur window, output 0 active playing `volts` of DC.
  GeneratorWindow* OpenWithDc(const char* volts) {
    window_.RunCommand(kCmdGenerator);
    auto* generator = window_.findChild<GeneratorWindow*>();
    generator->findChild<QCheckBox*>(QStringLiteral("active0"))->setChecked(true);
    auto* shape = generator->findChild<QComboBox*>(QStringLiteral("shape0"));
    shape->setCurrentIndex(shape->findData(static_cast<int>(WaveShape::kDc)));
    generator->findChild<QLineEdit*>(QStringLiteral("offset0"))->setText(volts);
    return generator;
  }
  static QPushButton* ButtonOf(QWidget* window, const char* text) {
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
      if (button->text() == QString::fromUtf8(text)) return button;
    }
    return nullptr;
  }

  CountingBoard* board_ = nullptr;
};

// Output 0 starts with a finite acquisition of channels 0 to 5: input 5
// records what it plays, and the output stops when the acquisition ends.
TEST_F(GeneratorCommands, OutputStartedWithTheAcquisitionIsRecordedAndStopsWithIt) {
  GeneratorWindow* generator = OpenWithDc("-4.25");
  generator->findChild<QCheckBox*>(QStringLiteral("withAcquisition"))->setChecked(true);
  window_.RunCommand(kCmdAcquisitionPanel);
  auto* panel = window_.findChild<AcquisitionPanel*>();
  panel->findChild<QListWidget*>()->item(5)->setSelected(true);
  const auto setField = [panel](int id, const char* text) {
    panel->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))->setText(text);
  };
  setField(kGainEditId, "-1");
  setField(kCountEditId, "2000");
  setField(kSampleRateEditId, "60000");

  ButtonOf(generator, "Démarrer")->click();  // returns once the acquisition is over
  EXPECT_TRUE(model_.idle());
  EXPECT_FALSE(generator->Playing());
  EXPECT_EQ(generator->StatusText(),
            QStringLiteral("L'acquisition est finie : les sorties sont à 0 V."));
  const ChannelRecord& input5 = session_.channels[5];
  ASSERT_EQ(input5.sampleCount(), 2000u);
  for (const double volts : input5.samples()) EXPECT_NEAR(volts, -4.25, 0.01);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(GeneratorCommands, QuittingStopsTheOutputAndPutsEveryOutputAtZero) {
  GeneratorWindow* generator = OpenWithDc("1");
  ButtonOf(generator, "Démarrer")->click();
  ASSERT_TRUE(generator->Playing());
  window_.close();
  EXPECT_TRUE(window_.quitRequested());
  EXPECT_FALSE(generator->Playing());
  EXPECT_EQ(board_->zeroed, 1);
}

// SIGTERM raised in this process ends the event loop through the path of
// Quitter, without a question: the output stops, every output goes to 0 V
// and the records are kept in a session file.
TEST_F(GeneratorCommands, SigtermQuitsWithoutAQuestionOutputsAtZeroAndRecordsSaved) {
  session_.channels[2] = SampleRecord("gardé", {1.0, 2.0, 3.0});
  window_.SetStartDirectory(dir_.path());
  GeneratorWindow* generator = OpenWithDc("3");
  ButtonOf(generator, "Démarrer")->click();
  ASSERT_TRUE(generator->Playing());

  TerminationSignals termination;
  ASSERT_TRUE(termination.installed());
  QObject::connect(&termination, &TerminationSignals::received, &window_,
                   &MainWindow::QuitOnSignal);
  QTimer::singleShot(0, [] { std::raise(SIGTERM); });
  QTimer hang;  // a quit that never comes must not hang the tests
  hang.setSingleShot(true);
  QObject::connect(&hang, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  hang.start(5000);
  EXPECT_EQ(QCoreApplication::exec(), 0);

  EXPECT_TRUE(window_.quitRequested());
  EXPECT_FALSE(generator->Playing());
  EXPECT_EQ(board_->zeroed, 1);
  EXPECT_TRUE(user_.boxes().empty());
  std::vector<std::filesystem::path> saved;
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    saved.push_back(entry.path());
  }
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].filename().string().rfind("TAVRIL-interrompu-", 0), 0u);
  SessionContents contents;
  std::string why;
  ASSERT_TRUE(ReadSessionFile(saved[0], contents, &why)) << why;
  EXPECT_EQ(contents.channels[2].sampleCount(), 3u);
}

// A dialog of the main window swallows its close events; a signal quits all
// the same.
TEST_F(GeneratorCommands, SigintDuringADialogQuitsAllTheSame) {
  GeneratorWindow* generator = OpenWithDc("3");
  ButtonOf(generator, "Démarrer")->click();
  TerminationSignals termination;
  QObject::connect(&termination, &TerminationSignals::received, &window_,
                   &MainWindow::QuitOnSignal);
  QTimer signalInDialog;
  QObject::connect(&signalInDialog, &QTimer::timeout, [&signalInDialog] {
    if (ActiveModalDialog() == nullptr) return;
    signalInDialog.stop();
    std::raise(SIGINT);
  });
  signalInDialog.start(10);
  QTimer hang;  // a dialog still open then would hang the tests
  hang.setSingleShot(true);
  QObject::connect(&hang, &QTimer::timeout, [] {
    if (auto* dialog = qobject_cast<QDialog*>(ActiveModalDialog())) dialog->reject();
  });
  hang.start(5000);
  window_.RunCommand(kCmdMathOperations);
  EXPECT_TRUE(window_.quitRequested());
  EXPECT_FALSE(generator->Playing());
  EXPECT_EQ(board_->zeroed, 1);
  // The loops of this process may run again.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

TEST_F(GeneratorCommands, StartUpPutsTheOutputsAtZeroOnceTheBoardIsOpen) {
  ASSERT_EQ(WriteConfigFile(session_.boardConfig, dir_.path()), 1);
  StartUp(window_, model_, *boards_, user_, dir_.path());
  EXPECT_EQ(board_->zeroed, 1);
  EXPECT_TRUE(user_.boxes().empty());
}

}  // namespace
}  // namespace tavril::testing
