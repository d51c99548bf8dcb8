#pragma once

#include <iosfwd>

#include "cli_arguments.h"
#include "model/board_config.h"

namespace tavril::cli {

// Acquires as the acquisition panel does, with the board of the device that
// ./TAVRIL.INI names (its defaults when the file cannot be read; the file is
// not written), and writes each acquired record to <prefix><channel>.tvr.
// Says on `out` which board serves the device and which files were written.
// A board error is printed with its status and name and ends the command
// (exit status 1), as answering No to the program's question would.
// The board configuration of ./TAVRIL.INI, or its defaults when the file
// cannot be read.
BoardConfig ConfigOfThisDirectory();

int RunAcquire(const CommandLine& command, std::ostream& out, std::ostream& err);

// Puts every analog output of the board of the device ./TAVRIL.INI names at
// 0 V; says which board, and a refusal with its reason (exit status 1).
int RunZeroOutputs(std::ostream& out, std::ostream& err);

}  // namespace tavril::cli
