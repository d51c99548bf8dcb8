#include "acquisition/error_handler.h"

#include <string>

namespace tavril {

std::string BoardErrorText(DaqStatus status, std::string_view functionLabel) {
  std::string text(functionLabel);
  text += " a renvoyé l'erreur ";
  text += std::to_string(status);
  text += " (";
  text += DaqStatusName(status);
  text += ") :\n";
  text += DaqStatusMessage(status);
  text += "\n\nVoulez-vous continuer?";
  return text;
}

std::int16_t NIDAQErrorHandler(UserInteraction& ui, DaqStatus status,
                               std::string_view functionLabel, std::int16_t /*reserved*/) {
  if (status >= 0) return 0;
  const MessageAnswer answer =
      ui.ShowMessage({BoardErrorText(status, functionLabel), kBoardErrorCaption,
                      MessageIcon::kError, MessageButtons::kYesNo});
  return answer == MessageAnswer::kYes ? kHandlerGoOn : kHandlerAbandon;
}

}  // namespace tavril
