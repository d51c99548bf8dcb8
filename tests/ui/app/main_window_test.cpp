#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>
#include <string>
#include <vector>

#include "display/graph_scale.h"
#include "main_window_fixture.h"
#include "support/record_checks.h"
#include "ui/app/about_dialog.h"
#include "ui/app/command_ids.h"
#include "ui/display/graph_widget.h"
#include "ui/display/info_strip_widget.h"

namespace tavril::testing {
namespace {

using testing::Values;

// The texts of a menu's entries in order, "-" for a separator.
std::vector<QString> EntryTexts(const QList<QAction*>& actions) {
  std::vector<QString> texts;
  for (const QAction* action : actions) {
    texts.push_back(action->isSeparator() ? QStringLiteral("-") : action->text());
  }
  return texts;
}

QMenu* Popup(QMenuBar* bar, const QString& title) {
  for (QAction* action : bar->actions()) {
    if (action->text() == title) return action->menu();
  }
  return nullptr;
}

using MainMenu = MainWindowTest;

TEST_F(MainMenu, BarHoldsTheFourPopupsThenHelpAfterASeparator) {
  EXPECT_EQ(EntryTexts(window_.menuBar()->actions()),
            (std::vector<QString>{"&Fichier", "A&ction", "&Option", "&Affichage", "-", "&Aide"}));
}

TEST_F(MainMenu, HelpSitsAtTheRightEndOfTheBar) {
  window_.resize(900, 600);
  window_.show();
  QMenuBar* bar = window_.menuBar();
  const QRect help = bar->actionGeometry(Popup(bar, "&Aide")->menuAction());
  const QRect display = bar->actionGeometry(Popup(bar, "&Affichage")->menuAction());
  EXPECT_GT(help.left(), bar->width() / 2);
  EXPECT_GE(help.right(), bar->width() - 20);
  EXPECT_LT(display.right(), bar->width() / 2);
}

TEST_F(MainMenu, PopupsHoldTheirItemsAndSeparatorsInOrder) {
  QMenuBar* bar = window_.menuBar();
  EXPECT_EQ(EntryTexts(Popup(bar, "&Fichier")->actions()),
            (std::vector<QString>{"&Ouvrir", "&Sauvegarder sous ...", "&Importer des canaux ...",
                                  "Ouvrir un en&registrement ...", "&Fermer l'enregistrement",
                                  "&Exporter vers", "-", "Ouvrir une sessio&n ...",
                                  "Sauvegarder &la session ...", "-", "&Quitter"}));
  EXPECT_EQ(EntryTexts(
                qobject_cast<QMenu*>(window_.CommandAction(kCmdExportMatlab)->parent())->actions()),
            (std::vector<QString>{"&Matlab (*.M)", "&Excel", "&Image (*.BMP)", "-", "&CSV (*.csv)",
                                  "MATLAB (*.ma&t)", "&HDF5 (*.h5)"}));
  EXPECT_EQ(EntryTexts(Popup(bar, "A&ction")->actions()),
            (std::vector<QString>{"&Acquisition", "Acquisition &continue", "A&sservissement",
                                  "&Générateur", "Réponse en &fréquence", "-",
                                  "&Opérations Mathématiques", "&Remise à zéro"}));
  EXPECT_EQ(EntryTexts(Popup(bar, "&Option")->actions()), (std::vector<QString>{"&Configuration"}));
  EXPECT_EQ(EntryTexts(Popup(bar, "&Affichage")->actions()),
            (std::vector<QString>{"&Boite d'affichage",
                                  "-",
                                  "Canal &0",
                                  "Canal &1",
                                  "Canal &2",
                                  "Canal &3",
                                  "Canal &4",
                                  "Canal &5",
                                  "Canal &6",
                                  "Canal &7",
                                  "-",
                                  "&Axes et graduations",
                                  "&Grille",
                                  "C&ouleurs et légende",
                                  "-",
                                  "&Zoom précédent",
                                  "&Tout afficher",
                                  "E&xtraire",
                                  "Re&voir l'enregistrement en cours",
                                  "-",
                                  "&Mesures",
                                  "&Spectre"}));
  EXPECT_EQ(EntryTexts(Popup(bar, "&Aide")->actions()),
            (std::vector<QString>{"&Aide", "&Chercher ...", "-", "A &propos"}));
}

struct ItemState {
  int commandId;
  bool enabled;
  bool checkable;
  bool checked;
};

TEST_F(MainMenu, ItemsStartGreyedOrCheckedAsTheProgramShipsThem) {
  const ItemState expected[] = {
      {kCmdOpen, true, false, false},
      {kCmdSave, true, false, false},
      {kCmdExportMatlab, true, false, false},
      {kCmdExportExcel, true, false, false},
      {kCmdExportImage, true, false, false},
      {kCmdQuit, true, false, false},
      {kCmdAcquisitionPanel, true, true, false},
      {kCmdServo, false, false, false},
      {kCmdGenerator, true, true, false},
      {kCmdFrequencyResponse, true, true, false},
      {kCmdMathOperations, true, false, false},
      {kCmdReset, true, false, false},
      {kCmdConfiguration, true, false, false},
      {kCmdDisplayPanel, true, true, true},
      {kCmdChannel0 + 0, true, true, true},
      {kCmdChannel0 + 7, true, true, true},
      {kCmdAxes, true, true, false},
      {kCmdColours, true, true, false},
      {kCmdMeasurements, true, true, false},
      {kCmdHelp, true, false, false},
      {kCmdSearch, false, false, false},
      {kCmdAbout, true, false, false},
  };
  for (const ItemState& item : expected) {
    SCOPED_TRACE(item.commandId);
    const QAction* action = window_.CommandAction(item.commandId);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->data().toInt(), item.commandId);
    EXPECT_EQ(action->isEnabled(), item.enabled);
    EXPECT_EQ(action->isCheckable(), item.checkable);
    EXPECT_EQ(action->isChecked(), item.checked);
  }
  EXPECT_EQ(window_.CommandAction(40009), nullptr);
}

// Each panel item opens its panel, which checks the item, and closes it
// again, which removes the check mark.
TEST_F(MainMenu, PanelItemsOpenAndCloseTheirPanels) {
  for (const int command :
       {kCmdAcquisitionPanel, kCmdDisplayPanel, kCmdMeasurements, kCmdSpectrum}) {
    window_.CommandAction(command)->trigger();
    EXPECT_TRUE(window_.CommandAction(command)->isChecked()) << command;
    window_.CommandAction(command)->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(window_.CommandAction(command)->isChecked()) << command;
    window_.CommandAction(command)->trigger();
    EXPECT_TRUE(window_.CommandAction(command)->isChecked()) << command;
  }
  EXPECT_TRUE(user_.boxes().empty());
}

using MainWindowFrame = MainWindowTest;

TEST_F(MainWindowFrame, StartsWithTheProductTitleAndTheProgramIcon) {
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
  EXPECT_EQ(window_.windowIcon().availableSizes(),
            (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(256, 256)}));
}

// The graph lies inside a one-pixel black border that fills the client area
// above the strip.
TEST_F(MainWindowFrame, GraphTakesTheClientAreaAboveASeventyPixelStrip) {
  window_.show();
  for (const QSize size : {QSize(900, 600), QSize(640, 300)}) {
    window_.resize(size);
    QApplication::processEvents();
    QWidget* client = window_.centralWidget();
    const int width = client->width();
    const int height = client->height();
    EXPECT_EQ(window_.graph()->parentWidget()->geometry(), QRect(0, 0, width, height - 70));
    EXPECT_EQ(window_.graph()->geometry(), QRect(1, 1, width - 2, height - 72));
    EXPECT_EQ(window_.strip()->geometry(), QRect(0, height - 70, width, 70));
    const QImage shown = client->grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(shown.pixelColor(width - 1, height - 71), QColor(Qt::black));
  }
}

TEST_F(MainWindowFrame, RefreshFitsAnAutomaticScaleToTheGraph) {
  window_.resize(800, 500);
  window_.show();
  QApplication::processEvents();
  session_.Master() = SampleRecord("rampe", {-2.0, -1.0, 0.0, 1.0, 3.0});
  view_.scale.scrollOffset = 4;
  view_.scale.autoScale = true;
  window_.RequestRefresh();

  GraphScale expected;
  expected.scrollOffset = 4;
  expected.autoScale = 1;
  ComputeAutoScale(expected, session_.Master(), window_.graph()->DrawingArea());
  EXPECT_EQ(view_.scale.scrollOffset, 0);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerSample, expected.pixelsPerSample);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerVolt, expected.pixelsPerVolt);
  EXPECT_EQ(view_.scale.originY, expected.originY);
}

TEST_F(MainWindowFrame, RefreshLeavesAManualScaleAlone) {
  session_.Master() = SampleRecord("rampe", {-2.0, 3.0});
  view_.scale.scrollOffset = 4;
  const GraphScale before = view_.scale;
  window_.RequestRefresh();
  EXPECT_EQ(view_.scale.scrollOffset, 4);
  EXPECT_EQ(view_.scale.pixelsPerSample, before.pixelsPerSample);
  EXPECT_EQ(view_.scale.pixelsPerVolt, before.pixelsPerVolt);
  EXPECT_EQ(view_.scale.originY, before.originY);
}

using ChannelSwitch = MainWindowTest;

TEST_F(ChannelSwitch, HidesAndShowsTheChannelWithItsCheckMark) {
  QAction* item = window_.CommandAction(kCmdChannel0 + 3);
  item->trigger();
  EXPECT_FALSE(view_.channelShown[3]);
  EXPECT_FALSE(item->isChecked());
  window_.RunCommand(kCmdChannel0 + 3);
  EXPECT_TRUE(view_.channelShown[3]);
  EXPECT_TRUE(item->isChecked());
  EXPECT_EQ(view_.channelShown,
            (std::array<bool, 8>{true, true, true, true, true, true, true, true}));
}

TEST_F(ChannelSwitch, HidingTheMasterChannelKeepsItTheMaster) {
  session_.masterChannel = 5;
  window_.RunCommand(kCmdChannel0 + 5);
  EXPECT_FALSE(view_.channelShown[5]);
  EXPECT_EQ(session_.masterChannel, 5);
  EXPECT_FALSE(window_.CommandAction(kCmdChannel0 + 5)->isChecked());
}

using GraphViewCommands = MainWindowTest;

TEST_F(GraphViewCommands, OptionsToggleWithTheirMarksAndAreKept) {
  std::vector<GraphOptions> kept;
  memory_.keepGraphOptions = [&kept](const GraphOptions& options) { kept.push_back(options); };
  window_.CommandAction(kCmdColours)->trigger();
  window_.RunCommand(kCmdAxes);
  window_.RunCommand(kCmdColours);
  EXPECT_TRUE(window_.CommandAction(kCmdAxes)->isChecked());
  EXPECT_FALSE(window_.CommandAction(kCmdColours)->isChecked());
  EXPECT_EQ(kept, (std::vector<GraphOptions>{
                      {false, false, true}, {true, false, true}, {true, false, false}}));
}

TEST_F(GraphViewCommands, FitAndBackChangeTheManualScale) {
  std::vector<double> samples(1001, 0.25);
  samples[10] = -0.75;
  session_.channels[1] = SampleRecord("un", samples);
  view_.scale.autoScale = true;
  window_.show();
  window_.RunCommand(kCmdZoomFit);
  const ClientSize area = window_.graph()->DrawingArea();
  EXPECT_FALSE(view_.scale.autoScale);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerSample, area.width / 1000.0);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerVolt, area.height - 40.0);
  window_.RunCommand(kCmdZoomBack);
  EXPECT_TRUE(view_.scale.autoScale);
  window_.RunCommand(kCmdZoomBack);  // nothing left to go back to
  EXPECT_TRUE(view_.scale.autoScale);
}

using MenuCommand = MainWindowTest;

TEST_F(MenuCommand, ExportsOfEveryChannelRefuseWhenNoChannelHoldsSamples) {
  for (const int command : {kCmdExportExcel, kCmdExportCsv, kCmdExportMat, kCmdExportHdf5}) {
    window_.RunCommand(command);
  }
  ASSERT_EQ(user_.boxes().size(), 4u);
  for (const MessageBoxRequest& box : user_.boxes()) {
    EXPECT_EQ(box.text, "Aucun canal ne contient d'échantillons : il n'y a rien à exporter.");
    EXPECT_EQ(box.icon, MessageIcon::kError);
  }
  EXPECT_TRUE(dialogs_.shown().empty());
}

TEST_F(MenuCommand, CommandsWithoutActionChangeNothing) {
  session_.Master() = SampleRecord("garde", {1.0, 2.0});
  const int withoutAction[] = {kCmdServo, kCmdSearch, 40009, 0};
  for (const int commandId : withoutAction) window_.RunCommand(commandId);
  EXPECT_TRUE(user_.boxes().empty());
  EXPECT_TRUE(dialogs_.shown().empty());
  EXPECT_EQ(Values(session_.Master()), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
  EXPECT_FALSE(window_.quitRequested());
}

TEST_F(MenuCommand, AboutBoxShowsTheProgramAndItsAuthors) {
  QStringList texts;
  QString title;
  WhenModalShows([&](QWidget* modal) {
    title = modal->windowTitle();
    for (const QLabel* label : modal->findChildren<QLabel*>()) {
      if (!label->text().isEmpty()) texts << label->text();
    }
    const auto buttons = modal->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 1);
    buttons.first()->click();
  });
  window_.RunCommand(kCmdAbout);
  EXPECT_EQ(title, "A propos");
  EXPECT_EQ(texts, (QStringList{"TAVRIL", "Version 1.0", "Ecrit par :", "L'équipe TAVRIL",
                                "Projet TAVRIL", "Dernière révision le 26/06/99"}));
  EXPECT_TRUE(user_.boxes().empty());
}

using OwnerModality = MainWindowTest;

// While the math dialog waits, the main window takes no input and the panels
// beside it take theirs, sent to each window as the window system does.
TEST_F(OwnerModality, MathDialogBlocksTheMainWindowAloneNotThePanels) {
  session_.boardConfig.htmlViewer = (dir_ / "pas-de-viewer").string();  // F1 shows a box
  window_.show();
  window_.CreatePanels();
  auto* gain = window_.findChild<QLineEdit*>("control1005");        // the acquisition panel's
  auto* automatic = window_.findChild<QRadioButton*>("automatic");  // the display panel's
  const QString gainBefore = gain->text();
  WhenModalShows([&](QWidget* math) {
    gain->setFocus();
    QTest::keyClick(gain->window()->windowHandle(), Qt::Key_7);
    QTest::mouseClick(automatic->window()->windowHandle(), Qt::LeftButton, {},
                      automatic->mapTo(automatic->window(), QPoint(5, 5)));
    QTest::keyClick(window_.windowHandle(), Qt::Key_F1);
    EXPECT_EQ(gain->text(), gainBefore + "7");
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_TRUE(user_.boxes().empty());
    qobject_cast<QDialog*>(math)->reject();
  });
  window_.RunCommand(kCmdMathOperations);
  QTest::keyClick(window_.windowHandle(), Qt::Key_F1);
  EXPECT_EQ(user_.boxes().size(), 1u);
}

using Reset = MainWindowTest;

TEST_F(Reset, AsksFirstAndCancelKeepsEverything) {
  session_.channels[2] = SampleRecord("essai", {0.5, 0.25});
  window_.setWindowTitle("TAVRIL v1.02 - essai.tvr");
  user_.Answer(MessageAnswer::kCancel);
  window_.RunCommand(kCmdReset);

  ASSERT_EQ(user_.boxes().size(), 1u);
  const MessageBoxRequest& box = user_.boxes()[0];
  EXPECT_EQ(box.text, "Etes vous sure de vouloir tout remettre à zéro");
  EXPECT_EQ(box.caption, "Attention!");
  EXPECT_EQ(box.icon, MessageIcon::kQuestion);
  EXPECT_EQ(box.buttons, MessageButtons::kOkCancel);
  EXPECT_EQ(Values(session_.channels[2]), (std::vector<double>{0.5, 0.25}));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - essai.tvr");
}

TEST_F(Reset, EmptiesEveryChannelAndRestoresTheTitle) {
  session_.boardConfig.device = 4;
  session_.masterChannel = 2;
  session_.channels[2] = SampleRecord("essai", {0.5, 0.25});
  session_.channels[7] = SampleRecord("autre", {1.0});
  window_.RunCommand(kCmdChannel0 + 6);
  window_.RunCommand(kCmdReset);

  for (int i = 0; i < kChannelCount; ++i) {
    SCOPED_TRACE(i);
    const ChannelRecord& record = session_.channels[i];
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_EQ(record.device, 4);
    EXPECT_EQ(record.chan, i);
    EXPECT_EQ(record.count(), 1000u);
    EXPECT_EQ(record.rate, 100000.0);
    EXPECT_EQ(record.title, "");
  }
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
  EXPECT_EQ(session_.masterChannel, 2);
  EXPECT_FALSE(view_.channelShown[6]);
  EXPECT_FALSE(window_.CommandAction(kCmdChannel0 + 6)->isChecked());
}

using Quit = MainWindowTest;

MessageBoxRequest QuitQuestion() {
  return {"Etes vous sure de vouloir quitter?", "Attention!", MessageIcon::kQuestion,
          MessageButtons::kOkCancel};
}

void ExpectSameBox(const MessageBoxRequest& actual, const MessageBoxRequest& expected) {
  EXPECT_EQ(actual.text, expected.text);
  EXPECT_EQ(actual.caption, expected.caption);
  EXPECT_EQ(actual.icon, expected.icon);
  EXPECT_EQ(actual.buttons, expected.buttons);
}

TEST_F(Quit, CancelInTheQuestionKeepsTheProgramRunning) {
  window_.show();
  user_.Answer(MessageAnswer::kCancel);
  EXPECT_FALSE(window_.close());
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectSameBox(user_.boxes()[0], QuitQuestion());
  EXPECT_TRUE(window_.isVisible());
  EXPECT_FALSE(window_.quitRequested());
}

TEST_F(Quit, OkInTheQuestionClosesTheWindow) {
  window_.show();
  user_.Answer(MessageAnswer::kOk);
  EXPECT_TRUE(window_.close());
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectSameBox(user_.boxes()[0], QuitQuestion());
  EXPECT_FALSE(window_.isVisible());
  EXPECT_TRUE(window_.quitRequested());
}

TEST_F(Quit, QuitCommandAsksTheSameQuestion) {
  window_.show();
  user_.Answer(MessageAnswer::kCancel);
  window_.RunCommand(kCmdQuit);
  EXPECT_TRUE(window_.isVisible());
  user_.Answer(MessageAnswer::kOk);
  window_.CommandAction(kCmdQuit)->trigger();
  EXPECT_FALSE(window_.isVisible());
  ASSERT_EQ(user_.boxes().size(), 2u);
  ExpectSameBox(user_.boxes()[1], QuitQuestion());
  EXPECT_TRUE(window_.quitRequested());
}

TEST(MainWindowLifetime, DestroyingTheWindowReleasesEverySample) {
  SessionModel model;
  WindowMemory memory;
  const auto boards = MakeDefaultBoards();
  ScriptedUser user;
  ScriptedFileDialogs dialogs;
  for (ChannelRecord& record : model.session().channels) {
    record = SampleRecord("plein", {1.0, 2.0, 3.0});
  }
  { MainWindow window(model, memory, *boards, user, dialogs); }
  for (const ChannelRecord& record : model.session().channels) {
    EXPECT_FALSE(HoldsSamples(record));
    EXPECT_EQ(record.samples().data(), nullptr);  // no memory kept
  }
}

}  // namespace
}  // namespace tavril::testing
