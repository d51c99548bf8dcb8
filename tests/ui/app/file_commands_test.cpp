#include <gtest/gtest.h>

#include <QPushButton>
#include <string>
#include <vector>

#include "display/graph_scale.h"
#include "files/channel_file.h"
#include "files/matlab_export.h"
#include "main_window_fixture.h"
#include "support/record_checks.h"
#include "ui/app/command_ids.h"
#include "ui/config/config_dialog.h"
#include "ui/display/graph_widget.h"

namespace tavril::testing {
namespace {

using testing::Values;

using Kind = ScriptedFileDialogs::Kind;

void ExpectDataFileRequest(const ScriptedFileDialogs::Shown& shown, Kind kind,
                           const std::string& title) {
  EXPECT_EQ(shown.kind, kind);
  EXPECT_EQ(shown.request.title, title);
  ASSERT_EQ(shown.request.filters.size(), 2u);
  EXPECT_EQ(shown.request.filters[0].description, "Fichiers TAVRIL (*.tvr)");
  EXPECT_EQ(shown.request.filters[0].pattern, "*.tvr");
  EXPECT_EQ(shown.request.filters[1].description, "Tous les fichiers (*.*)");
  EXPECT_EQ(shown.request.filters[1].pattern, "*.*");
  EXPECT_EQ(shown.request.defaultExtension, "TVR");
}

void ExpectErrorBox(const MessageBoxRequest& box, const std::string& text) {
  EXPECT_EQ(box.text, text);
  EXPECT_EQ(box.caption, "ERREUR!");
  EXPECT_EQ(box.icon, MessageIcon::kError);
  EXPECT_EQ(box.buttons, MessageButtons::kOk);
}

using OpenCommand = MainWindowTest;

TEST_F(OpenCommand, LoadsTheFileIntoTheMasterChannelAndNamesItInTheTitle) {
  const ChannelRecord onDisk = SampleRecord("Essai", {0.5, -0.25, 1.0}, 2500.0);
  WriteRecordFile(dir_ / "essai.tvr", onDisk);
  session_.masterChannel = 2;
  dialogs_.Choose(dir_ / "essai.tvr");
  window_.RunCommand(kCmdOpen);

  EXPECT_TRUE(user_.boxes().empty());
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  ExpectDataFileRequest(dialogs_.shown()[0], Kind::kOpen, "Ouverture de fichier");
  ExpectSameRecord(session_.channels[2], onDisk);
  EXPECT_FALSE(HoldsSamples(session_.channels[0]));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - essai.tvr");
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - essai.tvr");
  EXPECT_EQ(memory_.dataFiles.fileTitle, "essai.tvr");
}

TEST_F(OpenCommand, RefitsAnAutomaticScaleToTheLoadedRecord) {
  window_.resize(800, 500);
  window_.show();
  view_.scale.autoScale = true;
  WriteRecordFile(dir_ / "rampe.tvr", SampleRecord("rampe", {-4.0, -1.0, 2.0, 6.0}));
  dialogs_.Choose(dir_ / "rampe.tvr");
  window_.RunCommand(kCmdOpen);

  GraphScale expected;
  expected.autoScale = 1;
  ComputeAutoScale(expected, session_.Master(), window_.graph()->DrawingArea());
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerVolt, expected.pixelsPerVolt);
  EXPECT_DOUBLE_EQ(view_.scale.pixelsPerSample, expected.pixelsPerSample);
  EXPECT_EQ(view_.scale.originY, expected.originY);
}

TEST_F(OpenCommand, WarnsBeforeLoadingOverTheMasterChannelsSamples) {
  session_.masterChannel = 3;
  session_.channels[3] = SampleRecord("ancien", {9.0});
  WriteRecordFile(dir_ / "nouveau.tvr", SampleRecord("nouveau", {1.0, 2.0}));
  dialogs_.Choose(dir_ / "nouveau.tvr");
  window_.RunCommand(kCmdOpen);

  ASSERT_EQ(user_.boxes().size(), 1u);
  const MessageBoxRequest& box = user_.boxes()[0];
  EXPECT_EQ(box.text,
            "Actuellement le canal maitre est \"3\"\n\nLe chargement se fera donc dans la "
            "memoire alloué à ce canal.\nEt donc toutes valeurs précédemment chargées sur ce "
            "canal seront écraser.\n\nEtes vous sure de vouloir continuer?");
  EXPECT_EQ(box.caption, "ATTENTION!");
  EXPECT_EQ(box.icon, MessageIcon::kExclamation);
  EXPECT_EQ(box.buttons, MessageButtons::kOkCancel);
  EXPECT_EQ(Values(session_.channels[3]), (std::vector<double>{1.0, 2.0}));
}

TEST_F(OpenCommand, CancelInTheWarningShowsNoDialog) {
  session_.channels[0] = SampleRecord("ancien", {9.0});
  user_.Answer(MessageAnswer::kCancel);
  dialogs_.Choose(dir_ / "jamais.tvr");
  window_.RunCommand(kCmdOpen);
  EXPECT_EQ(user_.boxes().size(), 1u);
  EXPECT_TRUE(dialogs_.shown().empty());
  EXPECT_EQ(Values(session_.channels[0]), (std::vector<double>{9.0}));
}

TEST_F(OpenCommand, CancelInTheDialogChangesNothingAndSaysNothing) {
  dialogs_.Cancel();
  window_.RunCommand(kCmdOpen);
  EXPECT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_TRUE(user_.boxes().empty());
  EXPECT_FALSE(HoldsSamples(session_.Master()));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
}

TEST_F(OpenCommand, DialogFailureReportsItsErrorCode) {
  dialogs_.Fail(12290);
  window_.RunCommand(kCmdOpen);
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectErrorBox(user_.boxes()[0], "Le code d'erreur est: 12290");
  EXPECT_FALSE(HoldsSamples(session_.Master()));
}

TEST_F(OpenCommand, UnreadableFileIsReportedByItsNameAndChangesNothing) {
  WriteRecordFile(dir_ / "bon.tvr", SampleRecord("bon", {1.0, 2.0}));
  dialogs_.Choose(dir_ / "bon.tvr");
  window_.RunCommand(kCmdOpen);
  WriteFileBytes(dir_ / "abime.tvr", "Titre = x\xA7\r\nDevice = ");
  dialogs_.Choose(dir_ / "abime.tvr");
  window_.RunCommand(kCmdOpen);

  ASSERT_EQ(user_.boxes().size(), 2u);  // the warning, then the error
  ExpectErrorBox(user_.boxes()[1], "Erreur lors de l'ouverture du fichier : abime.tvr");
  EXPECT_EQ(Values(session_.Master()), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(session_.Master().title, "bon");
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - bon.tvr");
}

TEST_F(OpenCommand, NextDialogOpensOnTheLastChosenPathAndFilter) {
  WriteRecordFile(dir_ / "a.tvr", SampleRecord("a", {1.0}));
  dialogs_.Choose(dir_ / "a.tvr", 2);
  window_.RunCommand(kCmdOpen);
  user_.Answer(MessageAnswer::kOk);
  dialogs_.Cancel();
  window_.RunCommand(kCmdOpen);

  ASSERT_EQ(dialogs_.shown().size(), 2u);
  EXPECT_EQ(dialogs_.shown()[0].initialPath, "");
  EXPECT_EQ(dialogs_.shown()[0].initialFilterIndex, 1);
  EXPECT_EQ(dialogs_.shown()[1].initialPath, (dir_ / "a.tvr").string());
  EXPECT_EQ(dialogs_.shown()[1].initialFilterIndex, 2);
}

using SaveCommand = MainWindowTest;

TEST_F(SaveCommand, WritesTheMasterChannelAndNamesItInTheTitle) {
  session_.masterChannel = 4;
  session_.channels[4] = SampleRecord("Sauv\xE9", {0.125, -3.5});
  dialogs_.Choose(dir_ / "sortie.tvr");
  window_.RunCommand(kCmdSave);

  EXPECT_TRUE(user_.boxes().empty());
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  ExpectDataFileRequest(dialogs_.shown()[0], Kind::kSave, "Sauvegarder le fichier sous...");
  EXPECT_EQ(ReadFileBytes(dir_ / "sortie.tvr"), BytesWrittenBy([&](AtomicFileWriter& out) {
              WriteChannelFile(out, session_.channels[4]);
            }));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - sortie.tvr");
}

TEST_F(SaveCommand, KeepingAnExistingFileAsksForAnotherNameAndTitlesThat) {
  session_.Master() = SampleRecord("nouveau", {1.0});
  WriteFileBytes(dir_ / "existe.tvr", "ancien");
  dialogs_.Choose(dir_ / "existe.tvr");
  dialogs_.Choose(dir_ / "autre.tvr");
  user_.Answer(MessageAnswer::kNo);
  window_.RunCommand(kCmdSave);

  EXPECT_EQ(dialogs_.shown().size(), 2u);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, "Ce fichier existe deja.\r\nVoulez-vous l'écraser?");
  EXPECT_EQ(ReadFileBytes(dir_ / "existe.tvr"), "ancien");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "autre.tvr"));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - autre.tvr");
}

TEST_F(SaveCommand, KeepingAnExistingFileThenCancellingNamesNoFileInTheTitle) {
  session_.Master() = SampleRecord("nouveau", {1.0});
  WriteFileBytes(dir_ / "existe.tvr", "ancien");
  dialogs_.Choose(dir_ / "existe.tvr");
  dialogs_.Cancel();
  user_.Answer(MessageAnswer::kNo);
  window_.RunCommand(kCmdSave);

  EXPECT_EQ(dialogs_.shown().size(), 2u);
  EXPECT_EQ(ReadFileBytes(dir_ / "existe.tvr"), "ancien");
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
}

TEST_F(SaveCommand, FileThatCannotBeWrittenIsReportedAndKeepsTheTitle) {
  session_.Master() = SampleRecord("x", {1.0});
  dialogs_.Choose(dir_ / "pas-de-dossier" / "x.tvr");
  window_.RunCommand(kCmdSave);

  ASSERT_EQ(user_.boxes().size(), 2u);  // the writer's own box, then ours
  EXPECT_EQ(user_.boxes()[0].caption, "Exportation vers MatLab");
  ExpectErrorBox(user_.boxes()[1], "Erreur lors de la sauvegarde du fichier : x.tvr");
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02");
}

TEST_F(SaveCommand, CancelWritesNothing) {
  dialogs_.Cancel();
  window_.RunCommand(kCmdSave);
  EXPECT_TRUE(user_.boxes().empty());
  EXPECT_TRUE(dir_.Entries().empty());
}

using ExportCommand = MainWindowTest;

TEST_F(ExportCommand, WritesTheScriptAndKeepsTheTitle) {
  session_.Master() = SampleRecord("Essai", {0.5, -0.25, 1.0});
  window_.setWindowTitle("TAVRIL v1.02 - essai.tvr");
  dialogs_.Choose(dir_ / "essai.M");
  window_.RunCommand(kCmdExportMatlab);

  EXPECT_TRUE(user_.boxes().empty());
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  const ScriptedFileDialogs::Shown& shown = dialogs_.shown()[0];
  EXPECT_EQ(shown.kind, Kind::kSave);
  EXPECT_EQ(shown.request.title, "Sauvegarder le fichier sous...");
  ASSERT_EQ(shown.request.filters.size(), 2u);
  EXPECT_EQ(shown.request.filters[0].description, "Fichiers MathLab (*.M)");
  EXPECT_EQ(shown.request.filters[0].pattern, "*.M");
  EXPECT_EQ(shown.request.filters[1].description, "Tous les fichiers (*.*)");
  EXPECT_EQ(shown.request.filters[1].pattern, "*.*");
  EXPECT_EQ(shown.request.defaultExtension, "M");
  EXPECT_EQ(ReadFileBytes(dir_ / "essai.M"), BytesWrittenBy([&](AtomicFileWriter& out) {
              WriteMatlabScript(session_.Master(), out);
            }));
  EXPECT_EQ(window_.windowTitle(), "TAVRIL v1.02 - essai.tvr");
}

TEST_F(ExportCommand, KeepingAnExistingFileRunsTheExportAgain) {
  session_.Master() = SampleRecord("Essai", {0.5});
  WriteFileBytes(dir_ / "garde.M", "ancien");
  dialogs_.Choose(dir_ / "garde.M");
  dialogs_.Cancel();
  user_.Answer(MessageAnswer::kNo);
  window_.RunCommand(kCmdExportMatlab);

  EXPECT_EQ(dialogs_.shown().size(), 2u);
  EXPECT_EQ(dialogs_.shown()[1].request.defaultExtension, "M");
  EXPECT_EQ(ReadFileBytes(dir_ / "garde.M"), "ancien");
}

TEST_F(ExportCommand, FileThatCannotBeWrittenIsReported) {
  session_.Master() = SampleRecord("Essai", {0.5});
  dialogs_.Choose(dir_ / "pas-de-dossier" / "essai.M");
  window_.RunCommand(kCmdExportMatlab);
  ASSERT_EQ(user_.boxes().size(), 2u);
  ExpectErrorBox(user_.boxes()[1], "Erreur lors de la sauvegarde du fichier : essai.M");
}

TEST_F(ExportCommand, DialogFailureReportsItsErrorCode) {
  dialogs_.Fail(12291);
  window_.RunCommand(kCmdExportMatlab);
  ASSERT_EQ(user_.boxes().size(), 1u);
  ExpectErrorBox(user_.boxes()[0], "Le code d'erreur est: 12291");
}

using ViewerBrowse = MainWindowTest;

// The configuration dialog's "..." looks for a program from the root with a
// memory of its own: the data files' folder, name and filter stay for Open.
TEST_F(ViewerBrowse, StartsAtTheRootAndLeavesTheDataFileMemoryAlone) {
  configDialogs_.Stop();
  memory_.dataFiles = {(dir_ / "mesure.tvr").string(), "mesure.tvr", 2};
  dialogs_.Choose("/usr/bin/firefox", 3);
  WhenModalShows([&](QWidget* modal) {
    auto* config = qobject_cast<ConfigDialog*>(modal);
    config->browseButton()->click();
    config->reject();
  });
  window_.RunConfigurationDialog();
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  const ScriptedFileDialogs::Shown& shown = dialogs_.shown()[0];
  EXPECT_EQ(shown.request.title, "Configuration du logiciel pour lire les HTML");
  EXPECT_EQ(shown.request.startDirectory, "/");
  EXPECT_EQ(shown.initialPath, "");
  EXPECT_TRUE(shown.request.filters.at(1).executablesOnly);
  EXPECT_EQ(memory_.dataFiles.filePath, (dir_ / "mesure.tvr").string());
  EXPECT_EQ(memory_.dataFiles.filterIndex, 2);
}

}  // namespace
}  // namespace tavril::testing
