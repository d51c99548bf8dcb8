#pragma once

#include <QString>

namespace tavril {

// The help's first page: <startDirectory>/Aide/frame.htm, or, when that page
// is missing, the copy installed beside the program in
// <installedDirectory>/Aide. The first one is kept when neither exists, so
// that the viewer names the page it could not find.
QString HelpPagePath(const QString& startDirectory, const QString& installedDirectory);

// Where the help pages installed with the program are: `programDirectory`
// when its Aide/ holds them (the build's folder), otherwise
// ../share/tavril from it (an installed program in bin/).
QString InstalledHelpDirectory(const QString& programDirectory);

// Starts `viewer` on `page` as a process of its own, in `workingDirectory`,
// without a shell and without waiting for it. Empty on success; otherwise the
// system's text for why it could not be started.
QString StartHelpViewer(const QString& viewer, const QString& page,
                        const QString& workingDirectory);

}  // namespace tavril
