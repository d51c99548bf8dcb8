#pragma once

#include <filesystem>

namespace tavril {

// Where the program was started, as far as it tells where TAVRIL.INI goes.
struct StartPlace {
  std::filesystem::path startDirectory;  // the current directory at start
  std::filesystem::path home;            // $HOME, or empty
  std::filesystem::path dataHome;        // $XDG_DATA_HOME, or empty
  bool inputIsTerminal = false;          // standard input is a terminal
};

// A desktop menu starts the program in the home folder (or, with some
// launchers, in /) with no terminal on its standard input; a terminal always
// gives one. Started from a terminal, even in the home folder, the start
// directory holds TAVRIL.INI as it always has.
bool StartedFromDesktopMenu(const StartPlace& place);

// The folder of the program's own data: $XDG_DATA_HOME/tavril, or
// ~/.local/share/tavril when that variable is unset or not absolute.
std::filesystem::path OwnDataFolder(const StartPlace& place);

// The folder that holds TAVRIL.INI and the help's start: the start
// directory, or the program's own data folder when started from a desktop
// menu.
std::filesystem::path WorkFolder(const StartPlace& place);

// The running program's start place, from its environment.
StartPlace CurrentStartPlace();

}  // namespace tavril
