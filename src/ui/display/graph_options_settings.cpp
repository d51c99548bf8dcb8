#include "ui/display/graph_options_settings.h"

#include <QSettings>

namespace tavril {

namespace {

constexpr const char* kAxesKey = "graphique/axes";
constexpr const char* kGridKey = "graphique/grille";
constexpr const char* kColoursKey = "graphique/couleurs";

}  // namespace

GraphOptions LoadGraphOptions(const QSettings& settings) {
  GraphOptions options;
  options.axes = settings.value(kAxesKey, false).toBool();
  options.grid = settings.value(kGridKey, false).toBool();
  options.colours = settings.value(kColoursKey, false).toBool();
  return options;
}

void SaveGraphOptions(QSettings& settings, const GraphOptions& options) {
  settings.setValue(kAxesKey, options.axes);
  settings.setValue(kGridKey, options.grid);
  settings.setValue(kColoursKey, options.colours);
  settings.sync();
}

}  // namespace tavril
