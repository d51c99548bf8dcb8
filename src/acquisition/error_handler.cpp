#include "acquisition/error_handler.h"

#include "model/messages.h"

#include <string>

namespace tavril {

std::string BoardErrorText(DaqStatus status, std::string_view callLabel,
                           std::string_view statusMessage) {
  return messages::BoardErrorQuestion(status, DaqStatusName(status), callLabel, statusMessage);
}

BoardErrorChoice AskAfterBoardError(UserInteraction& ui, const Board& board, DaqStatus status,
                                    std::string_view callLabel) {
  if (status >= 0) return BoardErrorChoice::kGoOn;
  const MessageAnswer answer =
      ui.ShowMessage({BoardErrorText(status, callLabel, board.StatusMessage(status)),
                      messages::kBoardErrorCaption, MessageIcon::kError, MessageButtons::kYesNo});
  return answer == MessageAnswer::kYes ? BoardErrorChoice::kGoOn : BoardErrorChoice::kAbandon;
}

}  // namespace tavril
