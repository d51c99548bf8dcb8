#include "acquisition/board.h"

namespace tavril {

InputSettingsOrStatus InputSettingsFromCodes(std::int16_t inputMode, std::int16_t polarity) {
  InputSettingsOrStatus result;
  switch (inputMode) {
    case 0:
      result.settings.mode = InputMode::kDifferential;
      break;
    case 1:
      result.settings.mode = InputMode::kReferenced;
      break;
    case 2:
      result.settings.mode = InputMode::kNonReferenced;
      break;
    default:
      result.status = kBadInputModeError;
      return result;
  }
  if (polarity != 0 && polarity != 1) {
    result.status = kBadPolarityError;
    return result;
  }
  result.settings.polarity = polarity == 1 ? Polarity::kUnipolar : Polarity::kBipolar;
  return result;
}

}  // namespace tavril
