#pragma once

#include "display/view_state.h"

class QSettings;

namespace tavril {

// The graph's options in the user's own settings file, under "graphique/":
// missing or unreadable keys read as off, so a first run shows the classic
// picture.
GraphOptions LoadGraphOptions(const QSettings& settings);
void SaveGraphOptions(QSettings& settings, const GraphOptions& options);

}  // namespace tavril
