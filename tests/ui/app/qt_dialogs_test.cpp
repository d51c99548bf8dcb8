#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>
#include <QtTest/QTest>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "main_window_fixture.h"
#include "ui/common/qt_file_dialogs.h"
#include "ui/common/qt_user_interaction.h"

namespace tavril::testing {
namespace {

struct BoxCase {
  MessageBoxRequest request;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton clicked;
  MessageAnswer answer;
};

TEST(QtUserInteraction, ShowsEachBoxAsAskedAndReturnsTheButtonChosen) {
  const std::vector<BoxCase> cases = {
      {{"Fonction non Disponible", "ERREUR!", MessageIcon::kError, MessageButtons::kOk},
       QMessageBox::Critical,
       QMessageBox::Ok,
       QMessageBox::Ok,
       MessageAnswer::kOk},
      {{"Etes vous sure de vouloir quitter?", "Attention!", MessageIcon::kQuestion,
        MessageButtons::kOkCancel},
       QMessageBox::Question,
       QMessageBox::Ok | QMessageBox::Cancel,
       QMessageBox::Cancel,
       MessageAnswer::kCancel},
      {{"Continuer?", "ATTENTION!", MessageIcon::kExclamation, MessageButtons::kOkCancel},
       QMessageBox::Warning,
       QMessageBox::Ok | QMessageBox::Cancel,
       QMessageBox::Ok,
       MessageAnswer::kOk},
      {{"Ce fichier existe deja.\r\nVoulez-vous l'écraser?", "Exportation vers MatLab",
        MessageIcon::kInformation, MessageButtons::kYesNo},
       QMessageBox::Information,
       QMessageBox::Yes | QMessageBox::No,
       QMessageBox::No,
       MessageAnswer::kNo},
      {{"Remplacer?", "Exportation vers MatLab", MessageIcon::kInformation, MessageButtons::kYesNo},
       QMessageBox::Information,
       QMessageBox::Yes | QMessageBox::No,
       QMessageBox::Yes,
       MessageAnswer::kYes},
  };
  QWidget owner;
  QtUserInteraction ui;
  ui.Attach(&owner);
  for (const BoxCase& expected : cases) {
    SCOPED_TRACE(expected.request.text);
    QMessageBox* shown = nullptr;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    WhenModalShows([&](QWidget* modal) {
      shown = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(shown, nullptr);
      title = shown->windowTitle();
      text = shown->text();
      icon = shown->icon();
      buttons = shown->standardButtons();
      defaultButton = shown->standardButton(shown->defaultButton());
      EXPECT_EQ(shown->parentWidget(), &owner);
      shown->button(expected.clicked)->click();
    });
    EXPECT_EQ(ui.ShowMessage(expected.request), expected.answer);
    EXPECT_EQ(title.toStdString(), expected.request.caption);
    EXPECT_EQ(icon, expected.icon);
    EXPECT_EQ(buttons, expected.buttons);
    EXPECT_EQ(defaultButton,
              expected.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok);
    EXPECT_EQ(text, MessageBoxText(expected.request.text));
  }
}

// Qt's standard buttons speak French like the rest of the program.
TEST(QtUserInteraction, StandardButtonsSpeakFrenchWhenQtsTranslationsAreInstalled) {
  const QString catalogue =
      QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_fr.qm");
  if (!QFile::exists(catalogue)) GTEST_SKIP() << "no " << catalogue.toStdString();
  QMessageBox box(QMessageBox::Information, QStringLiteral("Exportation vers MatLab"),
                  QStringLiteral("Remplacer?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
  EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("&Non"));
  EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
  EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("Annuler"));
}

TEST(QtUserInteraction, ShowsCarriageReturnsAsLineBreaks) {
  EXPECT_EQ(MessageBoxText("Ce fichier existe deja.\r\nVoulez-vous l'écraser?"),
            QStringLiteral("Ce fichier existe deja.\nVoulez-vous l'écraser?"));
  EXPECT_EQ(MessageBoxText("Impossible de créer ou\r\u00AD'ouvrir le fichier"),
            QStringLiteral("Impossible de créer ou\n\u00AD'ouvrir le fichier"));
  EXPECT_EQ(MessageBoxText("A\nB"), QStringLiteral("A\nB"));
}

const FileDialogRequest kOpenRequest{
    "Ouverture de fichier",
    {{"Fichiers TAVRIL (*.tvr)", "*.tvr"}, {"Tous les fichiers (*.*)", "*.*"}},
    "TVR"};

struct SeenDialog {
  QString title;
  QStringList filters;
  QString selectedFilter;
  QString defaultSuffix;
  QString directory;
  QFileDialog::FileMode fileMode = QFileDialog::AnyFile;
  QFileDialog::AcceptMode acceptMode = QFileDialog::AcceptOpen;
  bool confirmsOverwrite = true;
};

// The dialog lists its folder in the background and then selects the file it
// was opened on, which rewrites the name field; a user types after that.
void WaitForListing(QFileDialog* dialog, int entries) {
  auto* model = dialog->findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  QElapsedTimer clock;
  clock.start();
  while (model->rowCount(model->index(dialog->directory().absolutePath())) < entries &&
         clock.elapsed() < 5000) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  QTest::qWait(50);
}

// Notes what the dialog shows, then types `name` into it once its folder's
// `entries` files are listed and accepts, or cancels when `name` is empty.
void AnswerFileDialog(SeenDialog& seen, const QString& name, int entries = 0) {
  WhenModalShows([&seen, name, entries](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    seen.title = dialog->windowTitle();
    seen.filters = dialog->nameFilters();
    seen.selectedFilter = dialog->selectedNameFilter();
    seen.defaultSuffix = dialog->defaultSuffix();
    seen.directory = dialog->directory().absolutePath();
    seen.fileMode = dialog->fileMode();
    seen.acceptMode = dialog->acceptMode();
    seen.confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty()) {
      dialog->reject();
      return;
    }
    WaitForListing(dialog, entries);
    // Typed as a user would: selectFile() leaves the field alone once it has the focus.
    auto* fileName = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(fileName, nullptr);
    fileName->setText(name);
    static_cast<QDialog*>(dialog)->accept();  // as the dialog's own button does
  });
}

TEST(QtFileDialogs, OpenShowsItsTitleFiltersAndTheLastFolder) {
  TempDir dir;
  WriteFileBytes(dir / "essai.tvr", "x");
  WriteFileBytes(dir / "autre.tvr", "y");
  FileDialogState memory;
  memory.filePath = (dir / "essai.tvr").string();
  memory.fileTitle = "essai.tvr";
  memory.filterIndex = 2;
  QtFileDialogs dialogs;
  SeenDialog seen;
  AnswerFileDialog(seen, "autre.tvr", 2);
  EXPECT_EQ(dialogs.ChooseFileToOpen(kOpenRequest, memory).outcome, FileDialogOutcome::kChosen);

  EXPECT_EQ(seen.title, "Ouverture de fichier");
  EXPECT_EQ(seen.filters, (QStringList{"Fichiers TAVRIL (*.tvr)", "Tous les fichiers (*.*)"}));
  EXPECT_EQ(seen.selectedFilter, "Tous les fichiers (*.*)");
  EXPECT_EQ(seen.defaultSuffix, "TVR");
  EXPECT_EQ(seen.directory.toStdString(), dir.path().string());
  EXPECT_EQ(seen.fileMode, QFileDialog::ExistingFile);
  EXPECT_EQ(seen.acceptMode, QFileDialog::AcceptOpen);
  EXPECT_EQ(memory.filePath, (dir / "autre.tvr").string());
  EXPECT_EQ(memory.fileTitle, "autre.tvr");
  EXPECT_EQ(memory.filterIndex, 2);
}

TEST(QtFileDialogs, SaveAddsTheDefaultExtensionAndLeavesReplacingToTheWriter) {
  TempDir dir;
  FileDialogState memory;
  memory.filePath = (dir / "ancien.M").string();
  const FileDialogRequest request{
      "Sauvegarder le fichier sous...",
      {{"Fichiers MathLab (*.M)", "*.M"}, {"Tous les fichiers (*.*)", "*.*"}},
      "M"};
  QtFileDialogs dialogs;
  SeenDialog seen;
  AnswerFileDialog(seen, "essai");
  EXPECT_EQ(dialogs.ChooseFileToSave(request, memory).outcome, FileDialogOutcome::kChosen);

  EXPECT_EQ(seen.title, "Sauvegarder le fichier sous...");
  EXPECT_EQ(seen.selectedFilter, "Fichiers MathLab (*.M)");
  EXPECT_EQ(seen.acceptMode, QFileDialog::AcceptSave);
  EXPECT_FALSE(seen.confirmsOverwrite);
  EXPECT_EQ(memory.filePath, (dir / "essai.M").string());
  EXPECT_EQ(memory.fileTitle, "essai.M");
  EXPECT_EQ(memory.filterIndex, 1);
}

TEST(QtFileDialogs, CancelLeavesTheRememberedChoiceAlone) {
  TempDir dir;
  FileDialogState memory;
  memory.filePath = (dir / "garde.tvr").string();
  memory.fileTitle = "garde.tvr";
  memory.filterIndex = 2;
  QtFileDialogs dialogs;
  SeenDialog seen;
  AnswerFileDialog(seen, QString());
  EXPECT_EQ(dialogs.ChooseFileToSave(kOpenRequest, memory).outcome, FileDialogOutcome::kCancelled);
  EXPECT_EQ(memory.filePath, (dir / "garde.tvr").string());
  EXPECT_EQ(memory.fileTitle, "garde.tvr");
  EXPECT_EQ(memory.filterIndex, 2);
}

// Runs a dialog on `memory` and hands it to `look` once its `entries` are listed.
void LookAtFileDialog(const FileDialogRequest& request, FileDialogState memory, int entries,
                      const std::function<void(QFileDialog*)>& look) {
  WhenModalShows([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    WaitForListing(dialog, entries);
    look(dialog);
    dialog->reject();
  });
  QtFileDialogs().ChooseFileToOpen(request, memory);
}

// Qt would guess the type of a file whose name does not tell it from its
// content, and such a read never returns on a pipe or on /proc/kmsg. A pipe
// opened after all is freed after a while (an open noticed too): the test
// then fails instead of hanging.
TEST(QtFileDialogs, ListsAFolderWithoutOpeningAnyFileInIt) {
  TempDir dir;
  WriteFileBytes(dir / "mesure.tvr", "Titre = essai");
  const std::string pipe = (dir / "tube").string();
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const int opens = ::inotify_init1(IN_NONBLOCK);
  ASSERT_GE(::inotify_add_watch(opens, dir.path().c_str(), IN_OPEN), 0);
  std::promise<void> listed;
  std::thread freePipe([&pipe, done = listed.get_future()] {
    done.wait_for(std::chrono::seconds(10));
    ::close(::open(pipe.c_str(), O_RDWR | O_NONBLOCK));
  });
  FileDialogState memory;
  memory.filePath = (dir / "mesure.tvr").string();
  LookAtFileDialog(kOpenRequest, memory, 1, [&](QFileDialog* dialog) {
    const auto* model = dialog->findChild<QFileSystemModel*>();
    const QModelIndex file = model->index(QString::fromStdString(memory.filePath));
    EXPECT_FALSE(model->type(file).isEmpty() || model->fileIcon(file).isNull());
  });
  alignas(inotify_event) char events[4096];
  const ssize_t size = ::read(opens, events, sizeof events);
  listed.set_value();
  freePipe.join();
  ::close(opens);
  // The folder's own events carry no name; any other is a file opened.
  for (ssize_t at = 0; at < size; at += sizeof(inotify_event)) {
    const auto* event = reinterpret_cast<const inotify_event*>(events + at);
    EXPECT_EQ(event->len, 0u) << "opened " << event->name;
    at += event->len;
  }
}

// Qt reads "*.*" literally and would hide names without a dot; no pattern
// says "executable".
TEST(QtFileDialogs, FiltersListExecutablesOrEveryNameFromTheStartFolder) {
  TempDir dir;
  WriteFileBytes(dir / "lanceur", "#!/bin/sh\n");
  ASSERT_EQ(::chmod((dir / "lanceur").c_str(), 0755), 0);
  WriteFileBytes(dir / "LISEZMOI", "x");
  WriteFileBytes(dir / "notes.txt", "x");
  std::filesystem::create_directory(dir / "sous");
  const FileDialogRequest request{"Programme",
                                  {{"Navigateurs web (firefox)", "firefox"},
                                   {"Tous les exécutables", "", true},
                                   {"Tous les fichiers (*.*)", "*.*"}},
                                  "",
                                  dir.path().string()};
  FileDialogState memory;
  memory.filterIndex = 2;
  LookAtFileDialog(request, memory, 4, [&](QFileDialog* dialog) {
    EXPECT_EQ(dialog->directory().absolutePath().toStdString(), dir.path().string());
    const auto listed = [dialog] {
      QTest::qWait(50);  // the model applies a new filter at its next sort
      const auto* view = dialog->findChild<QListView*>(QStringLiteral("listView"));
      QStringList names;
      for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row) {
        names << view->model()->index(row, 0, view->rootIndex()).data().toString();
      }
      names.sort();
      return names.join(' ').toStdString();
    };
    EXPECT_EQ(listed(), "lanceur sous");
    auto* filters = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    QTest::keyClick(filters, Qt::Key_Down);
    EXPECT_EQ(listed(), "LISEZMOI lanceur notes.txt sous");
    QTest::keyClick(filters, Qt::Key_Home);
    EXPECT_EQ(listed(), "sous");
  });
  // Saving: picking every file keeps the name typed, extension and all.
  const FileDialogRequest save{
      "Sauvegarder le fichier sous...",
      {{"Fichiers TAVRIL (*.tvr)", "*.tvr"}, {"Tous les fichiers (*.*)", "*.*"}},
      "TVR",
      dir.path().string()};
  FileDialogState saved;
  LookAtFileDialog(save, saved, 4, [](QFileDialog* dialog) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    name->setText(QStringLiteral("essai.tvr"));
    QTest::keyClick(dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")), Qt::Key_Down);
    EXPECT_EQ(name->text(), QStringLiteral("essai.tvr"));
  });
}

}  // namespace
}  // namespace tavril::testing
