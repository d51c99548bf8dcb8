#include "acquisition/error_handler.h"

#include <string>

namespace tavril {

std::string BoardErrorText(DaqStatus status, std::string_view callLabel,
                           std::string_view statusMessage) {
  std::string text(callLabel);
  text += " a renvoyé l'erreur ";
  text += std::to_string(status);
  text += " (";
  text += DaqStatusName(status);
  text += ") :\n";
  text += statusMessage;
  text += "\n\nVoulez-vous continuer?";
  return text;
}

BoardErrorChoice AskAfterBoardError(UserInteraction& ui, const Board& board, DaqStatus status,
                                    std::string_view callLabel) {
  if (status >= 0) return BoardErrorChoice::kGoOn;
  const MessageAnswer answer =
      ui.ShowMessage({BoardErrorText(status, callLabel, board.StatusMessage(status)),
                      kBoardErrorCaption, MessageIcon::kError, MessageButtons::kYesNo});
  return answer == MessageAnswer::kYes ? BoardErrorChoice::kGoOn : BoardErrorChoice::kAbandon;
}

}  // namespace tavril
