#pragma once

#include <QPalette>
#include <QWidget>

#include <functional>

#include "ui/common/app_state.h"
#include "model/user_interaction.h"
#include "display/graph_scale.h"

class QComboBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace tavril {

// A pair of arrows beside an edit. It keeps no position of its own: every
// click (and every Up/Down key in its buddy) reports a signed step, -1 for the
// up arrow and +1 for the down arrow, for as long as the user goes on.
class UpDownArrows : public QWidget {
  Q_OBJECT

 public:
  explicit UpDownArrows(QWidget* parent = nullptr);

  // The Up and Down keys typed in `buddy` step the arrows as well.
  void SetBuddy(QLineEdit* buddy);

 signals:
  void Stepped(int delta);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
  QLineEdit* buddy_ = nullptr;
};

// The display panel ("Affichage"): the master channel, automatic or manual
// scaling, and the X scale (samples per pixel), Y scale (millivolts per pixel)
// and vertical position of the 0 V line, each with arrows that step it.
//
// A modeless tool window, visible and checked in the menu from construction;
// closing it (close box or close()) unchecks the menu item and deletes it, so
// the owner keeps it in a QPointer that becomes null. Enter applies the typed
// values; a typed scale that is not a number above 0 is refused with a box
// and nothing is applied.
class DisplayPanel : public QWidget {
  Q_OBJECT

 public:
  // `requestRefresh` is the main window's resize request (lays out, refits in
  // automatic mode, repaints and calls Refresh() on the open panel).
  // `repaintGraph` repaints the graph and the information strip at once, with
  // no refit. `graphArea` gives the graph's client size in pixels.
  DisplayPanel(AppState& state, UserInteraction& ui, std::function<void()> requestRefresh,
               std::function<void(bool)> setMenuChecked, std::function<void()> repaintGraph,
               std::function<ClientSize()> graphArea, QWidget* owner = nullptr);

  // Reads the graph's client size again and rewrites the three edits from the
  // scale, replacing any text typed and not yet applied.
  void Refresh();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void Apply();
  void ChooseAutomatic();
  void ChooseManual();
  void ChooseMaster(int index);
  void StepXScale(int delta);
  void StepYScale(int delta);
  void StepPosition(int delta);
  void AfterStep();
  void ShowMode();
  void SetEditsLocked(bool locked);
  // The scale typed in `edit`, or 0 after telling the user why it is refused.
  double ReadScale(QLineEdit* edit, const char* label);
  std::int32_t HalfHeight() const { return graphClient_.height / 2; }

  AppState& state_;
  UserInteraction& ui_;
  std::function<void()> requestRefresh_;
  std::function<void(bool)> setMenuChecked_;
  std::function<void()> repaintGraph_;
  std::function<ClientSize()> graphArea_;
  ClientSize graphClient_{};

  QComboBox* master_ = nullptr;
  QRadioButton* automatic_ = nullptr;
  QRadioButton* manual_ = nullptr;
  QLineEdit* xScale_ = nullptr;
  QLineEdit* yScale_ = nullptr;
  QLineEdit* position_ = nullptr;
  UpDownArrows* xArrows_ = nullptr;
  UpDownArrows* yArrows_ = nullptr;
  UpDownArrows* positionArrows_ = nullptr;
  QPalette unlockedPalette_;
};

}  // namespace tavril
