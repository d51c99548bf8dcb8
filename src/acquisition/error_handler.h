#pragma once

#include <string>
#include <string_view>

#include "acquisition/board.h"
#include "acquisition/daq_status.h"
#include "model/user_interaction.h"

namespace tavril {

enum class BoardErrorChoice { kGoOn, kAbandon };

// Takes the status of the board step the user knows as `callLabel`
// ("DAQ_Op", "SCAN_Op", ...). Success and warnings go on silently. An error
// asks the user whether to go on, naming the step, the status, its name and
// what `board` says it means: Yes goes on, No abandons.
BoardErrorChoice AskAfterBoardError(UserInteraction& ui, const Board& board, DaqStatus status,
                                    std::string_view callLabel);

// The text of that question, with the board's line for the status.
std::string BoardErrorText(DaqStatus status, std::string_view callLabel,
                           std::string_view statusMessage);

}  // namespace tavril
