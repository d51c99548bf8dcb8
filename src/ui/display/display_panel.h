#pragma once

#include <QPalette>
#include <QWidget>

#include <functional>

#include "display/graph_scale.h"
#include "model/user_interaction.h"
#include "ui/common/session_model.h"

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
// A modeless tool window, visible from construction; closing it (close box
// or close()) emits closed() and deletes it, so the owner keeps it in a
// QPointer that becomes null, and checks its menu item when it creates it.
// Enter applies the typed values; a typed scale that is not a number above 0
// is refused with a box and nothing is applied.
//
// It changes the model's view and session and tells the model:
// TellScaleChanged() when Enter applies or "Automatique" is chosen (the main
// window lays out, refits an automatic scale and repaints),
// SetMasterChannel() when a channel is chosen, and TellScaleStepped() for
// each arrow step (the graph and the strip repaint, no refit). It shows the
// new values when the model says viewRefreshed(): the main window must
// emit it after each of its refreshes.
class DisplayPanel : public QWidget {
  Q_OBJECT

 public:
  // `graphArea` gives the graph's drawing area in pixels, whose half height
  // is the origin of the vertical position.
  DisplayPanel(SessionModel& model, UserInteraction& ui, std::function<ClientSize()> graphArea,
               QWidget* owner = nullptr);

 signals:
  // The panel is closing and will be deleted next; the owner unchecks its menu item.
  void closed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  // Reads the graph's drawing area again and rewrites the three edits from
  // the scale, replacing any text typed and not yet applied.
  void Refresh();
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

  SessionModel& model_;
  GraphScale& scale_;  // the model's
  UserInteraction& ui_;
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
