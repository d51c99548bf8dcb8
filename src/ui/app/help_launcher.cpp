#include "ui/app/help_launcher.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <system_error>

namespace tavril {
namespace {

QString PageIn(const QString& directory) {
  return QDir(directory).filePath(QStringLiteral("Aide/frame.htm"));
}

// The error number the start of `program` would fail with, 0 when it looks
// startable. QProcess reports a failed start only as its own sentence, while
// the user is shown the system's text for the error number.
int ProgramStartError(const QString& program) {
  if (program.isEmpty()) return ENOENT;
  if (!program.contains(QLatin1Char('/'))) {
    return QStandardPaths::findExecutable(program).isEmpty() ? ENOENT : 0;
  }
  if (::access(QFile::encodeName(program).constData(), X_OK) != 0) return errno;
  return QFileInfo(program).isDir() ? EACCES : 0;
}

QString SystemErrorText(int error) {
  return QString::fromLocal8Bit(std::generic_category().message(error));
}

}  // namespace

QString HelpPagePath(const QString& startDirectory, const QString& installedDirectory) {
  const QString page = PageIn(startDirectory);
  if (QFileInfo::exists(page)) return page;
  const QString installed = PageIn(installedDirectory);
  return QFileInfo::exists(installed) ? installed : page;
}

QString InstalledHelpDirectory(const QString& programDirectory) {
  if (QFileInfo::exists(PageIn(programDirectory))) return programDirectory;
  return QDir::cleanPath(programDirectory + QStringLiteral("/../share/tavril"));
}

QString StartHelpViewer(const QString& viewer, const QString& page,
                        const QString& workingDirectory) {
  if (const int error = ProgramStartError(viewer); error != 0) return SystemErrorText(error);
  QProcess process;
  process.setProgram(viewer);
  process.setArguments({page});
  process.setWorkingDirectory(workingDirectory);
  if (process.startDetached()) return QString();
  return process.errorString();
}

}  // namespace tavril
