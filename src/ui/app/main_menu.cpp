#include "ui/app/main_menu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyle>

#include "model/channel_record.h"
#include "ui/app/command_ids.h"

namespace tavril {
namespace {

// QMenuBar moves the items after a separator to the right end of the bar when
// its style draws menu-bar separators; this style says it does, for the menu
// bar alone, and leaves everything else to the application's style.
class RightAlignedHelpStyle : public QProxyStyle {
 public:
  explicit RightAlignedHelpStyle(const QString& baseStyle) : QProxyStyle(baseStyle) {}

  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_DrawMenuBarSeparator) return 1;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

enum ItemState { kEnabled, kGreyed, kUnchecked, kChecked };

class MenuFiller {
 public:
  explicit MenuFiller(std::map<int, QAction*>& items) : items_(items) {}

  void Add(QMenu* menu, int commandId, const char* text, ItemState state = kEnabled) {
    QAction* action = menu->addAction(QString::fromUtf8(text));
    action->setData(commandId);
    action->setEnabled(state != kGreyed);
    if (state == kUnchecked || state == kChecked) {
      action->setCheckable(true);
      action->setChecked(state == kChecked);
      // Qt flips a checkable item when it is chosen; the command decides instead.
      QObject::connect(action, &QAction::triggered, action,
                       [action](bool checked) { action->setChecked(!checked); });
    }
    items_[commandId] = action;
  }

 private:
  std::map<int, QAction*>& items_;
};

}  // namespace

std::map<int, QAction*> BuildMainMenu(QMenuBar& bar) {
  auto* style = new RightAlignedHelpStyle(QApplication::style()->name());
  style->setParent(&bar);
  bar.setStyle(style);

  std::map<int, QAction*> items;
  MenuFiller add(items);

  QMenu* file = bar.addMenu(QStringLiteral("&Fichier"));
  add.Add(file, kCmdOpen, "&Ouvrir");
  add.Add(file, kCmdSave, "&Sauvegarder sous ...");
  add.Add(file, kCmdImport, "&Importer des canaux ...");
  add.Add(file, kCmdOpenRecording, "Ouvrir un en&registrement ...");
  add.Add(file, kCmdCloseRecording, "&Fermer l'enregistrement", kGreyed);
  QMenu* exportTo = file->addMenu(QStringLiteral("&Exporter vers"));
  add.Add(exportTo, kCmdExportMatlab, "&Matlab (*.M)");
  add.Add(exportTo, kCmdExportExcel, "&Excel");
  add.Add(exportTo, kCmdExportImage, "&Image (*.BMP)");
  exportTo->addSeparator();
  add.Add(exportTo, kCmdExportCsv, "&CSV (*.csv)");
  add.Add(exportTo, kCmdExportMat, "MATLAB (*.ma&t)");
  add.Add(exportTo, kCmdExportHdf5, "&HDF5 (*.h5)");
  file->addSeparator();
  add.Add(file, kCmdOpenSession, "Ouvrir une sessio&n ...");
  add.Add(file, kCmdSaveSession, "Sauvegarder &la session ...");
  file->addSeparator();
  add.Add(file, kCmdQuit, "&Quitter");

  QMenu* action = bar.addMenu(QStringLiteral("A&ction"));
  // The acquisition panel checks its item while it is open.
  add.Add(action, kCmdAcquisitionPanel, "&Acquisition", kUnchecked);
  add.Add(action, kCmdContinuous, "Acquisition &continue", kUnchecked);
  add.Add(action, kCmdServo, "A&sservissement", kGreyed);
  add.Add(action, kCmdGenerator, "&Générateur", kUnchecked);
  add.Add(action, kCmdFrequencyResponse, "Réponse en &fréquence", kUnchecked);
  action->addSeparator();
  add.Add(action, kCmdMathOperations, "&Opérations Mathématiques");
  add.Add(action, kCmdReset, "&Remise à zéro");

  QMenu* option = bar.addMenu(QStringLiteral("&Option"));
  add.Add(option, kCmdConfiguration, "&Configuration");

  QMenu* display = bar.addMenu(QStringLiteral("&Affichage"));
  add.Add(display, kCmdDisplayPanel, "&Boite d'affichage", kChecked);
  display->addSeparator();
  static constexpr const char* kChannelItems[kChannelCount] = {"Canal &0", "Canal &1", "Canal &2",
                                                               "Canal &3", "Canal &4", "Canal &5",
                                                               "Canal &6", "Canal &7"};
  for (int channel = 0; channel < kChannelCount; ++channel) {
    add.Add(display, kCmdChannel0 + channel, kChannelItems[channel], kChecked);
  }
  display->addSeparator();
  add.Add(display, kCmdAxes, "&Axes et graduations", kUnchecked);
  add.Add(display, kCmdGrid, "&Grille", kUnchecked);
  add.Add(display, kCmdColours, "C&ouleurs et légende", kUnchecked);
  display->addSeparator();
  add.Add(display, kCmdZoomBack, "&Zoom précédent");
  add.Add(display, kCmdZoomFit, "&Tout afficher");
  add.Add(display, kCmdExtract, "E&xtraire", kGreyed);
  // Checked while the graph looks back through the run's file.
  add.Add(display, kCmdLookBack, "Re&voir l'enregistrement en cours", kUnchecked);
  display->addSeparator();
  add.Add(display, kCmdMeasurements, "&Mesures", kUnchecked);
  add.Add(display, kCmdSpectrum, "&Spectre", kUnchecked);

  bar.addSeparator();
  QMenu* help = bar.addMenu(QStringLiteral("&Aide"));
  add.Add(help, kCmdHelp, "&Aide");
  add.Add(help, kCmdSearch, "&Chercher ...", kGreyed);
  help->addSeparator();
  add.Add(help, kCmdAbout, "A &propos");

  return items;
}

}  // namespace tavril
