#include "model/board_config.h"

namespace tavril {

BoardConfig DefaultBoardConfig() {
  BoardConfig config;
  config.device = 1;
  config.inputMode = kInputModeReferencedSingleEnded;
  config.polar = kPolarityBipolar;
  config.timeOut = 180;
  config.gainAdjust = 1.0;
  config.offset = 0.0;
  config.htmlViewer = kDefaultHtmlViewer;
  return config;
}

}  // namespace tavril
