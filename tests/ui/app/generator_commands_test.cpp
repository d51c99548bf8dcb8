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
#include <utility>

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
struct CountingBoard : SimulatedBoard {
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

  // The Générateur window, output 0 started on `volts` of DC.
  GeneratorWindow* PlayDc(const char* volts, bool withAcquisition = false) {
    window_.RunCommand(kCmdGenerator);
    auto* generator = window_.findChild<GeneratorWindow*>();
    generator->findChild<QCheckBox*>(QStringLiteral("active0"))->setChecked(true);
    generator->findChild<QCheckBox*>(QStringLiteral("withAcquisition"))
        ->setChecked(withAcquisition);
    generator->findChild<QComboBox*>(QStringLiteral("shape0"))->setCurrentIndex(5);  // Continu
    generator->findChild<QLineEdit*>(QStringLiteral("offset0"))->setText(volts);
    generator->findChild<QPushButton*>(QStringLiteral("start"))->click();
    return generator;
  }
  // Signals quit as in the program; `hang` ends a test whose quit never comes.
  void QuitOnSignals(TerminationSignals& termination, QTimer& hang, void (*giveUp)()) {
    QObject::connect(&termination, &TerminationSignals::received, &window_,
                     &MainWindow::QuitOnSignal);
    hang.setSingleShot(true);
    QObject::connect(&hang, &QTimer::timeout, giveUp);
    hang.start(5000);
  }

  CountingBoard* board_ = nullptr;
};

// Output 0 starts with a finite acquisition of channels 0 to 5: input 5
// records what it plays, and the output stops when the acquisition ends.
TEST_F(GeneratorCommands, OutputStartedWithTheAcquisitionIsRecordedAndStopsWithIt) {
  window_.RunCommand(kCmdAcquisitionPanel);
  auto* panel = window_.findChild<AcquisitionPanel*>();
  panel->findChild<QListWidget*>()->item(5)->setSelected(true);
  for (const auto& [id, text] :
       {std::pair{kGainEditId, "-1"}, {kCountEditId, "2000"}, {kSampleRateEditId, "60000"}}) {
    panel->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))->setText(text);
  }

  // Démarrer returns once the acquisition is over.
  const GeneratorWindow* generator = PlayDc("-4.25", true);
  EXPECT_TRUE(model_.idle() && !generator->Playing());
  EXPECT_EQ(generator->StatusText(),
            QStringLiteral("L'acquisition est finie : les sorties sont à 0 V."));
  const ChannelRecord& input5 = session_.channels[5];
  ASSERT_EQ(input5.sampleCount(), 2000u);
  for (const double volts : input5.samples()) EXPECT_NEAR(volts, -4.25, 0.01);
  EXPECT_TRUE(user_.boxes().empty());
}

// SIGTERM raised in this process ends the event loop through the path of
// Quitter, without a question: the output stops, every output goes to 0 V
// and the records are kept in a session file.
TEST_F(GeneratorCommands, SigtermQuitsWithoutAQuestionOutputsAtZeroAndRecordsSaved) {
  session_.channels[2] = SampleRecord("gardé", {1.0, 2.0, 3.0});
  window_.SetStartDirectory(dir_.path());
  const GeneratorWindow* generator = PlayDc("3");
  ASSERT_TRUE(generator->Playing());
  TerminationSignals termination;
  QTimer hang;
  QuitOnSignals(termination, hang, [] { QCoreApplication::exit(1); });
  QTimer::singleShot(0, [] { std::raise(SIGTERM); });
  EXPECT_EQ(QCoreApplication::exec(), 0);

  EXPECT_TRUE(window_.quitRequested() && !generator->Playing());
  EXPECT_EQ(board_->zeroed, 1);
  EXPECT_TRUE(user_.boxes().empty());
  const std::filesystem::directory_iterator saved(dir_.path());
  ASSERT_NE(saved, std::filesystem::directory_iterator());
  EXPECT_EQ(saved->path().filename().string().rfind("TAVRIL-interrompu-", 0), 0u);
  SessionContents contents;
  std::string why;
  ASSERT_TRUE(ReadSessionFile(saved->path(), contents, &why)) << why;
  EXPECT_EQ(contents.channels[2].sampleCount(), 3u);
}

// A dialog of the main window swallows its close events; a signal quits all
// the same.
TEST_F(GeneratorCommands, SigintDuringADialogQuitsAllTheSame) {
  const GeneratorWindow* generator = PlayDc("3");
  TerminationSignals termination;
  QTimer hang;
  QuitOnSignals(termination, hang, [] {
    if (auto* dialog = qobject_cast<QDialog*>(ActiveModalDialog())) dialog->reject();
  });
  QTimer signalInDialog;
  QObject::connect(&signalInDialog, &QTimer::timeout, [&signalInDialog] {
    if (ActiveModalDialog() == nullptr) return;
    signalInDialog.stop();
    std::raise(SIGINT);
  });
  signalInDialog.start(10);
  window_.RunCommand(kCmdMathOperations);
  EXPECT_TRUE(window_.quitRequested() && !generator->Playing());
  EXPECT_EQ(board_->zeroed, 1);
  // The loops of this process may run again.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QCoreApplication::exec();
}

TEST_F(GeneratorCommands, StartUpAndQuittingPutEveryOutputAtZero) {
  ASSERT_EQ(WriteConfigFile(session_.boardConfig, dir_.path()), 1);
  StartUp(window_, model_, *boards_, user_, dir_.path());
  EXPECT_EQ(board_->zeroed, 1);  // once the board is open
  const GeneratorWindow* generator = PlayDc("1");
  ASSERT_TRUE(generator->Playing());
  window_.close();  // the quit question answered OK
  EXPECT_TRUE(window_.quitRequested() && !generator->Playing());
  EXPECT_EQ(board_->zeroed, 2);
}

}  // namespace
}  // namespace tavril::testing
