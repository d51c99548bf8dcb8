#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavril {

enum class WindowCommand { kRun, kHelp, kVersion };

// What `tavril` was asked on its command line: files to open, or its help or
// version. `error`, when not empty, says in French why the line is refused.
struct WindowCommandLine {
  WindowCommand command = WindowCommand::kRun;
  std::vector<std::string> files;
  std::string error;
};

// Reads the arguments after the program's name. "--help" (or "-h") and
// "--version" anywhere before "--" win over anything else wrong, so that
// they answer before Qt has read (and removed) its own options; "--" ends
// the options.
WindowCommandLine ReadWindowCommandLine(const std::vector<std::string>& args);

// `tavril --help`, in French, ending with a line end.
std::string_view WindowUsageText();

// `tavril --version`: "tavril" and the project's version, then its licence.
std::string WindowVersionText();

}  // namespace tavril
