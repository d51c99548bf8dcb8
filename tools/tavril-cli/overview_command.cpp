#include "overview_command.h"

#include <unistd.h>

#include <ostream>
#include <string>

#include "cli_files.h"
#include "files/overview_file.h"
#include "stop_signals.h"

namespace tavril::cli {

int RunOverview(const CommandLine& command, std::ostream& err) {
  const StopSignals signals;
  const bool shown = ::isatty(STDERR_FILENO) == 1;
  int percentShown = -1;
  const auto progress = [&](std::uint64_t done, std::uint64_t total) {
    const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    if (shown && percent != percentShown) {
      err << "\rAperçu : " << percent << " %" << std::flush;
      percentShown = percent;
    }
    return !signals.Caught();
  };
  std::string why;
  const OverviewBuild built = BuildOverviewFile(command.input, progress, &why);
  if (shown && percentShown >= 0) err << '\n';
  switch (built) {
    case OverviewBuild::kBuilt:
      err << OverviewFilePath(command.input).string() << " : aperçu construit\n";
      return 0;
    case OverviewBuild::kNotNeeded:
      err << command.input << " : l'aperçu existe déjà\n";
      return 0;
    case OverviewBuild::kCancelled:
      ReportError(err, "Aperçu interrompu : aucun fichier n'a été écrit");
      return 1;
    case OverviewBuild::kFailed:
      break;
  }
  ReportError(err, command.input + " : " + why);
  return 1;
}

}  // namespace tavril::cli
