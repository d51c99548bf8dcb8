#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <memory>
#include <string>

#include "acquisition/comedi/default_boards.h"
#include "model/board_config.h"
#include "support/scripted_user.h"
#include "ui/acquisition/acquisition_panel.h"
#include "ui/acquisition/wait_box.h"
#include "ui/app/main_window.h"
#include "ui/config/config_dialog.h"
#include "ui/display/display_panel.h"
#include "ui/processing/math_dialog.h"

#ifdef TAVRIL_TEST_FAKE_COMEDI
#include <comedi.h>

#include "fake_comedi.h"
#endif

namespace tavril {
namespace {

// Every text of a dialog must show whole in the place its template gives it,
// whatever sans-serif font the system falls back to.
std::string TextsCutOff(QWidget& dialog) {
  dialog.show();  // lays out the scroll areas' viewports
  std::string cut;
  auto report = [&cut](const QWidget* widget, const QString& text, int needed) {
    cut += text.toStdString() + " (" + std::to_string(needed) + " > " +
           std::to_string(widget->width()) + " px); ";
  };
  for (const QWidget* widget : dialog.findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(&dialog)) continue;
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
      if (button->text().isEmpty() || qobject_cast<const QToolButton*>(button)) continue;
      // A push button's size hint has a floor of its own; only its text must fit.
      const int needed =
          qobject_cast<const QPushButton*>(button) != nullptr
              ? button->fontMetrics().horizontalAdvance(button->text()) +
                    2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
              : button->sizeHint().width();
      if (needed > button->width()) report(button, button->text(), needed);
    } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
      if (label->text().isEmpty() || label->wordWrap()) continue;
      if (label->sizeHint().width() > label->width()) {
        report(label, label->text(), label->sizeHint().width());
      }
    } else if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
      // The title sits inside the frame, past the frame's rounded corner.
      const int needed = group->fontMetrics().horizontalAdvance(group->title()) + 16;
      if (!group->title().isEmpty() && needed > group->width()) {
        report(group, group->title(), needed);
      }
    } else if (const auto* list = qobject_cast<const QListWidget*>(widget)) {
      const int rowHeight = list->sizeHintForRow(0);
      if (rowHeight > 0 && list->viewport()->height() % rowHeight != 0) {
        cut += "a row cut by the edge of a list " + std::to_string(list->viewport()->height()) +
               " px high; ";
      }
    } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
      if (combo->sizeHint().width() > combo->width()) {
        report(combo, combo->currentText(), combo->sizeHint().width());
      }
    }
  }
  return cut;
}

class DialogTexts : public ::testing::Test {
 protected:
  DialogTexts() { model.session().boardConfig = DefaultBoardConfig(); }

  SessionModel model;
  WindowMemory memory;
  testing::ScriptedUser user;
  std::unique_ptr<Boards> boards = MakeDefaultBoards(BoardSearch{"/nonexistent/comedi"});
};

TEST_F(DialogTexts, AcquisitionPanelAndWaitBoxShowEveryTextWhole) {
  AcquisitionController controller(model, *boards, user);
  AcquisitionPanel panel(model, memory.acquisition, controller);
  EXPECT_EQ(TextsCutOff(panel), "");
  WaitBox wait(nullptr);
  EXPECT_EQ(TextsCutOff(wait), "");
  wait.OfferGivingUp();
  EXPECT_EQ(TextsCutOff(wait), "");
}

TEST_F(DialogTexts, DisplayPanelShowsEveryTextWhole) {
  DisplayPanel panel(model, user, [] { return ClientSize{500, 300}; });
  EXPECT_EQ(TextsCutOff(panel), "");
}

TEST_F(DialogTexts, MathDialogShowsEveryTextWhole) {
  MathDialog dialog(model, memory.math, user);
  EXPECT_EQ(TextsCutOff(dialog), "");
}

TEST_F(DialogTexts, ConfigurationDialogShowsEveryTextWholeWithAndWithoutAdvancedOptions) {
  for (const bool advanced : {false, true}) {
    memory.configuration.advancedOptionsShown = advanced;
    ConfigDialog dialog(
        model, memory.configuration, *boards, user, "",
        [](std::int16_t) {
          return DeviceDescription{"Carte simulée", "Carte simulée"};
        },
        [](const std::string&) { return std::optional<std::string>(); });
    EXPECT_EQ(TextsCutOff(dialog), "") << "advanced options shown: " << advanced;
  }
}

// The strip above the device field shows the board's brief description
// whole, its full one in the tooltip.
TEST_F(DialogTexts, ConfigurationDialogShowsTheBoardsDescriptionWhole) {
#ifdef TAVRIL_TEST_FAKE_COMEDI
  // Outlives the boards below, which close their handles through it.
  testing::FakeComediLibrary library;
#endif
  std::vector<std::unique_ptr<Boards>> machines;
  machines.push_back(std::move(boards));  // the simulated board
#ifdef TAVRIL_TEST_FAKE_COMEDI
  // An M series board not calibrated yet, the longest description.
  testing::FakeComediDevice& board = library.devices["/dev/comedi0"];
  board.ranges = testing::MSeriesRanges();
  board.flags |= SDF_SOFT_CALIBRATED;
  board.hasSoftcal = true;
  machines.push_back(MakeDefaultBoards({"/dev/comedi", &library}));
#endif
  for (const std::unique_ptr<Boards>& machine : machines) {
    ConfigDialog dialog(
        model, memory.configuration, *machine, user, "",
        [&machine](std::int16_t device) { return machine->Describe(device); },
        [](const std::string&) { return std::optional<std::string>(); });
    dialog.show();
    const QLabel* strip = dialog.deviceDescription();
    for (const std::int16_t device : {1, 4}) {
      dialog.deviceEdit()->setText(QString::number(device));
      const DeviceDescription description = machine->Describe(device);
      EXPECT_EQ(strip->text().toStdString(), description.brief);
      EXPECT_LE(strip->fontMetrics().horizontalAdvance(strip->text()), strip->width())
          << description.brief;
      EXPECT_EQ(strip->toolTip().toStdString(), description.full);
    }
  }
}

}  // namespace
}  // namespace tavril
