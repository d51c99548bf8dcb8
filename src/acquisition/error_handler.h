#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "acquisition/daq_status.h"
#include "app/user_interaction.h"

namespace tavril {

// What NIDAQErrorHandler returns when the user chooses to stop.
inline constexpr std::int16_t kHandlerAbandon = 7;
inline constexpr std::int16_t kHandlerGoOn = 6;
inline constexpr const char* kBoardErrorCaption = "Erreur de la carte d'acquisition";

// Takes the status of a board call labelled `functionLabel`. Success and
// warnings go on silently (0). An error asks the user, naming the call, the
// status, its name and what it means (for a Comedi board, comedilib's text of
// the error), whether to go on: Yes gives
// kHandlerGoOn (6), No kHandlerAbandon (7). `reserved` is always 0.
std::int16_t NIDAQErrorHandler(UserInteraction& ui, DaqStatus status,
                               std::string_view functionLabel, std::int16_t reserved);

// The text of that question.
std::string BoardErrorText(DaqStatus status, std::string_view functionLabel);

}  // namespace tavril
