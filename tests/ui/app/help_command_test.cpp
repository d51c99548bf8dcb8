#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest/QTest>
#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "main_window_fixture.h"
#include "ui/app/command_ids.h"
#include "ui/app/help_launcher.h"

namespace tavril::testing {
namespace {

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

void WriteHelpPage(const std::filesystem::path& directory) {
  std::filesystem::create_directories(directory / "Aide");
  WriteFileBytes(directory / "Aide" / "frame.htm", "<html></html>");
}

std::string ViewerErrorText(const std::string& reason) {
  return "Erreur lors de l'ouverture du fichier d'aide\nErreur de type : " + reason +
         "\n\nVeuillez vérifiez que le logiciel pour lire les fichiers HTML est bien "
         "configuré\n->option / Options avancés / viewer d'HTML";
}

// Waits for a file that another process writes; empty when it never came.
std::string WaitForFile(const std::filesystem::path& path) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 10000) {
    if (std::filesystem::exists(path)) {
      const std::string bytes = ReadFileBytes(path);
      if (!bytes.empty() && bytes.back() == '\n') return bytes;
    }
    QThread::msleep(20);
  }
  return {};
}

TEST(HelpPagePath, PrefersThePagesOfTheStartDirectory) {
  TempDir start;
  TempDir installed;
  WriteHelpPage(start.path());
  WriteHelpPage(installed.path());
  EXPECT_EQ(HelpPagePath(Q(start.path()), Q(installed.path())),
            Q(start.path() / "Aide" / "frame.htm"));
}

TEST(HelpPagePath, FallsBackToThePagesInstalledWithTheProgram) {
  TempDir start;
  TempDir installed;
  WriteHelpPage(installed.path());
  EXPECT_EQ(HelpPagePath(Q(start.path()), Q(installed.path())),
            Q(installed.path() / "Aide" / "frame.htm"));
}

TEST(HelpPagePath, NamesTheStartDirectoryPageWhenNoPagesExist) {
  TempDir start;
  TempDir installed;
  EXPECT_EQ(HelpPagePath(Q(start.path()), Q(installed.path())),
            Q(start.path() / "Aide" / "frame.htm"));
}

// The build keeps the pages beside the program; an installed one in bin/
// finds them in ../share/tavril.
TEST(InstalledHelpDirectory, IsBesideTheProgramOrInItsSharedData) {
  TempDir build;
  WriteHelpPage(build.path());
  EXPECT_EQ(InstalledHelpDirectory(Q(build.path())), Q(build.path()));
  TempDir prefix;
  std::filesystem::create_directories(prefix / "bin");
  EXPECT_EQ(InstalledHelpDirectory(Q(prefix / "bin")), Q(prefix / "share" / "tavril"));
}

using HelpCommand = MainWindowTest;

TEST_F(HelpCommand, StartsTheViewerOnTheHelpPageInTheStartDirectory) {
  WriteHelpPage(dir_.path());
  const std::filesystem::path viewer = dir_ / "viewer.sh";
  const std::filesystem::path record = dir_ / "viewer-ran.txt";
  WriteFileBytes(viewer, "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$PWD\" \"$#\" \"$1\" > \"" +
                             record.string() + "\"\n");
  ASSERT_EQ(::chmod(viewer.c_str(), 0755), 0);
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = viewer.string();
  window_.RunCommand(kCmdHelp);

  EXPECT_TRUE(user_.boxes().empty());
  const std::filesystem::path page = dir_ / "Aide" / "frame.htm";
  EXPECT_EQ(WaitForFile(record), dir_.path().string() + "|1|" + page.string() + "\n");
}

TEST_F(HelpCommand, ViewerThatDoesNotExistIsReportedWithTheSystemReason) {
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = (dir_ / "pas-de-viewer").string();
  window_.RunCommand(kCmdHelp);
  ASSERT_EQ(user_.boxes().size(), 1u);
  const MessageBoxRequest& box = user_.boxes()[0];
  EXPECT_EQ(box.text, ViewerErrorText(std::generic_category().message(ENOENT)));
  EXPECT_EQ(box.caption, "ERREUR!");
  EXPECT_EQ(box.icon, MessageIcon::kError);
  EXPECT_EQ(box.buttons, MessageButtons::kOk);
}

TEST_F(HelpCommand, ViewerNameNotFoundOnThePathIsReported) {
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = "tavril-viewer-qui-n-existe-pas";
  window_.RunCommand(kCmdHelp);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, ViewerErrorText(std::generic_category().message(ENOENT)));
}

TEST_F(HelpCommand, ViewerThatIsNotAProgramIsReported) {
  WriteFileBytes(dir_ / "page.txt", "pas un programme");
  ASSERT_EQ(::chmod((dir_ / "page.txt").c_str(), 0644), 0);
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = (dir_ / "page.txt").string();
  window_.RunCommand(kCmdHelp);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, ViewerErrorText(std::generic_category().message(EACCES)));
}

TEST_F(HelpCommand, HarmlessViewerStartsWithoutAnyBox) {
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = "true";
  window_.RunCommand(kCmdHelp);
  EXPECT_TRUE(user_.boxes().empty());
}

TEST_F(HelpCommand, F1InTheMainWindowRunsHelp) {
  window_.SetStartDirectory(dir_.path());
  session_.boardConfig.htmlViewer = (dir_ / "pas-de-viewer").string();
  QTest::keyClick(&window_, Qt::Key_F1);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_EQ(user_.boxes()[0].text, ViewerErrorText(std::generic_category().message(ENOENT)));
}

TEST_F(HelpCommand, F1WithAModifierDoesNothing) {
  session_.boardConfig.htmlViewer = (dir_ / "pas-de-viewer").string();
  QTest::keyClick(&window_, Qt::Key_F1, Qt::ShiftModifier);
  QTest::keyClick(&window_, Qt::Key_F2);
  EXPECT_TRUE(user_.boxes().empty());
}

}  // namespace
}  // namespace tavril::testing
