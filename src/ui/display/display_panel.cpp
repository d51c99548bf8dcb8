#include "ui/display/display_panel.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "model/channel_record.h"
#include "model/messages.h"
#include "text/number_text.h"
#include "ui/common/dialog_units.h"

namespace tavril {

namespace {

std::int32_t SaturateToInt32(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max()) {
    return std::numeric_limits<std::int32_t>::max();
  }
  if (value < std::numeric_limits<std::int32_t>::min()) {
    return std::numeric_limits<std::int32_t>::min();
  }
  return static_cast<std::int32_t>(value);
}

QLabel* AddCentredLabel(QWidget* parent, const char* text, QRect rect) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setAlignment(Qt::AlignCenter);
  label->setGeometry(rect);
  return label;
}

}  // namespace

UpDownArrows::UpDownArrows(QWidget* parent) : QWidget(parent) {
  up_ = new QToolButton(this);
  up_->setObjectName(QStringLiteral("up"));
  up_->setArrowType(Qt::UpArrow);
  down_ = new QToolButton(this);
  down_->setObjectName(QStringLiteral("down"));
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* arrow : {up_, down_}) {
    arrow->setFocusPolicy(Qt::NoFocus);
    arrow->setAutoRepeat(true);
  }
  connect(up_, &QToolButton::clicked, this, [this] { emit Stepped(-1); });
  connect(down_, &QToolButton::clicked, this, [this] { emit Stepped(+1); });
}

void UpDownArrows::SetBuddy(QLineEdit* buddy) {
  if (buddy_ != nullptr) buddy_->removeEventFilter(this);
  buddy_ = buddy;
  if (buddy_ != nullptr) buddy_->installEventFilter(this);
}

bool UpDownArrows::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      emit Stepped(key == Qt::Key_Up ? -1 : +1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void UpDownArrows::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int upHeight = height() / 2;
  up_->setGeometry(0, 0, width(), upHeight);
  down_->setGeometry(0, upHeight, width(), height() - upHeight);
}

DisplayPanel::DisplayPanel(SessionModel& model, UserInteraction& ui,
                           std::function<ClientSize()> graphArea, QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model),
      scale_(model.view().scale),
      ui_(ui),
      graphArea_(std::move(graphArea)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Affichage"));
  setFont(DialogFont());
  setFixedSize(DialogSize(81, 164));
  BuildControls();

  graphClient_ = graphArea_();
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const int before = master_->count();
    master_->addItem(QStringLiteral("Canal %1").arg(channel));
    if (master_->count() != before + 1) {
      ui_.ShowMessage(
          {messages::kErreur, messages::kDisplayCaption, MessageIcon::kError, MessageButtons::kOk});
    }
  }
  master_->setCurrentIndex(model_.session().masterChannel);
  // Connected only now, so that selecting the current master above is no choice.
  connect(master_, &QComboBox::currentIndexChanged, this, &DisplayPanel::ChooseMaster);
  connect(&model_, &SessionModel::viewRefreshed, this, &DisplayPanel::Refresh);
  ShowMode();
  Refresh();

  if (const QScreen* screen =
          owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen()) {
    QRect frame(QPoint(0, 0), size());
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  show();
  raise();
  activateWindow();
}

void DisplayPanel::BuildControls() {
  // Created in the template's order; tab stops are the combo box and the edits.
  master_ = new QComboBox(this);
  master_->setObjectName(QStringLiteral("masterChannel"));
  const QRect comboRect = DialogRect(7, 18, 67, 106);
  master_->setGeometry(comboRect.x(), comboRect.y(), comboRect.width(), DialogY(13));
  master_->setMaxVisibleItems(kChannelCount);

  automatic_ = new QRadioButton(QStringLiteral("Automatique"), this);
  automatic_->setObjectName(QStringLiteral("automatic"));
  automatic_->setGeometry(DialogRect(12, 46, 55, 10));
  manual_ = new QRadioButton(QStringLiteral("Manuel"), this);
  manual_->setObjectName(QStringLiteral("manual"));
  manual_->setGeometry(DialogRect(12, 58, 39, 10));
  for (QRadioButton* radio : {automatic_, manual_}) radio->setFocusPolicy(Qt::ClickFocus);
  connect(automatic_, &QRadioButton::clicked, this, &DisplayPanel::ChooseAutomatic);
  connect(manual_, &QRadioButton::clicked, this, &DisplayPanel::ChooseManual);

  // The arrows sit at the right end of their edit, which gives up that width.
  struct EditRow {
    QLineEdit*& edit;
    UpDownArrows*& arrows;
    const char* editName;
    const char* arrowsName;
    int y;
  };
  const EditRow rows[] = {
      {xScale_, xArrows_, "xScale", "xScaleArrows", 83},
      {yScale_, yArrows_, "yScale", "yScaleArrows", 111},
      {position_, positionArrows_, "position", "positionArrows", 139},
  };
  constexpr int kEditX = 11, kEditWidth = 58, kEditHeight = 14, kArrowsWidth = 13;
  for (const EditRow& row : rows) {
    row.edit = new QLineEdit(this);
    row.edit->setObjectName(QString::fromUtf8(row.editName));
    row.edit->setGeometry(DialogRect(kEditX, row.y, kEditWidth - kArrowsWidth, kEditHeight));
    row.arrows = new UpDownArrows(this);
    row.arrows->setObjectName(QString::fromUtf8(row.arrowsName));
    row.arrows->setGeometry(
        DialogRect(kEditX + kEditWidth - kArrowsWidth, row.y, kArrowsWidth, kEditHeight));
    row.arrows->SetBuddy(row.edit);
  }
  connect(xArrows_, &UpDownArrows::Stepped, this, &DisplayPanel::StepXScale);
  connect(yArrows_, &UpDownArrows::Stepped, this, &DisplayPanel::StepYScale);
  connect(positionArrows_, &UpDownArrows::Stepped, this, &DisplayPanel::StepPosition);
  unlockedPalette_ = xScale_->palette();

  // Labels and the frame lie beneath the working controls.
  QWidget* background[] = {
      AddCentredLabel(this, "Canal Maitre:", DialogRect(7, 7, 42, 8)),
      new QGroupBox(QStringLiteral("Echelle"), this),
      AddCentredLabel(this, "Echelle en X :", DialogRect(12, 74, 45, 8)),
      AddCentredLabel(this, "Echelle en Y :", DialogRect(12, 102, 45, 8)),
      AddCentredLabel(this, "Position Verticale :", DialogRect(12, 130, 59, 8)),
  };
  background[1]->setGeometry(DialogRect(7, 33, 67, 124));
  for (QWidget* widget : background) widget->lower();

  setTabOrder(master_, xScale_);
  setTabOrder(xScale_, yScale_);
  setTabOrder(yScale_, position_);
}

void DisplayPanel::Refresh() {
  graphClient_ = graphArea_();
  // A zoom with the mouse switches the scale to manual.
  ShowMode();
  // The master channel may have changed elsewhere (a math operation makes its
  // result the master); the combo box must not go on naming the old one.
  const int masterChannel = model_.session().masterChannel;
  if (master_->currentIndex() != masterChannel) {
    const QSignalBlocker quiet(master_);
    master_->setCurrentIndex(masterChannel);
  }
  xScale_->setText(QString::fromStdString(FormatFixed(1.0 / scale_.pixelsPerSample, 6)));
  yScale_->setText(QString::fromStdString(FormatFixed(1000.0 / scale_.pixelsPerVolt, 6)));
  const std::int64_t shown = std::int64_t{HalfHeight()} - scale_.originY;
  position_->setText(QString::fromStdString(FormatFixed(static_cast<double>(shown), 0)));
}

void DisplayPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    Apply();
    return;
  }
  // Escape is no command of the panel: it stays open.
  if (event->key() == Qt::Key_Escape) return;
  QWidget::keyPressEvent(event);
}

void DisplayPanel::closeEvent(QCloseEvent* event) {
  emit closed();
  QWidget::closeEvent(event);
}

void DisplayPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Refresh();
}

double DisplayPanel::ReadScale(QLineEdit* edit, const char* label) {
  const std::string text = edit->text().left(128).toStdString();
  const ParsedDouble parsed = ParseDecimalDouble(text);
  if (parsed.consumed != 0 && std::isfinite(parsed.value) && parsed.value > 0.0) {
    return parsed.value;
  }
  ui_.ShowMessage({messages::ScaleRefused(label), messages::kDisplayCaption, MessageIcon::kError,
                   MessageButtons::kOk});
  edit->setFocus(Qt::OtherFocusReason);
  edit->selectAll();
  return 0.0;
}

void DisplayPanel::Apply() {
  // Both scales are checked before anything changes, so a refusal leaves the
  // scale exactly as it was.
  const double samplesPerPixel = ReadScale(xScale_, "Echelle en X");
  if (samplesPerPixel == 0.0) return;
  const double millivoltsPerPixel = ReadScale(yScale_, "Echelle en Y");
  if (millivoltsPerPixel == 0.0) return;
  const std::int32_t shown = ParseDecimalInt32(position_->text().left(128).toStdString());

  scale_.pixelsPerSample = 1.0 / samplesPerPixel;
  scale_.pixelsPerVolt = 1000.0 / millivoltsPerPixel;
  scale_.originY = SaturateToInt32(std::int64_t{HalfHeight()} - shown);
  model_.TellScaleChanged();
  setFocus(Qt::OtherFocusReason);
}

void DisplayPanel::ChooseAutomatic() {
  scale_.autoScale = true;
  ShowMode();
  model_.TellScaleChanged();
}

void DisplayPanel::ChooseManual() {
  // The scale stays as the last fit left it: nothing to lay out or repaint.
  scale_.autoScale = false;
  ShowMode();
}

void DisplayPanel::ChooseMaster(int index) {
  if (index < 0 || index >= kChannelCount) return;
  model_.SetMasterChannel(index);
}

void DisplayPanel::StepXScale(int delta) {
  const double samplesPerPixel = 1.0 / scale_.pixelsPerSample - delta / 100.0;
  scale_.pixelsPerSample = 1.0 / samplesPerPixel;
  // Written so that NaN falls back too.
  if (!(1.0 / scale_.pixelsPerSample > 0.0)) scale_.pixelsPerSample = 100.0;
  AfterStep();
}

void DisplayPanel::StepYScale(int delta) {
  const double millivoltsPerPixel = 1000.0 / scale_.pixelsPerVolt - delta / 100.0;
  scale_.pixelsPerVolt = 1000.0 / millivoltsPerPixel;
  if (!(1000.0 / scale_.pixelsPerVolt > 0.0)) scale_.pixelsPerVolt = 100000.0;
  AfterStep();
}

void DisplayPanel::StepPosition(int delta) {
  scale_.originY = SaturateToInt32(std::int64_t{scale_.originY} + delta);
  AfterStep();
}

void DisplayPanel::AfterStep() {
  // A step is no change of the settings: an automatic scale is not refit.
  model_.TellScaleStepped();
  Refresh();
}

void DisplayPanel::ShowMode() {
  const bool automatic = scale_.autoScale;
  automatic_->setChecked(automatic);
  manual_->setChecked(!automatic);
  SetEditsLocked(automatic);
}

void DisplayPanel::SetEditsLocked(bool locked) {
  // Locked edits look disabled and refuse typing but still take the focus,
  // which a disabled Qt widget would not.
  QPalette palette = unlockedPalette_;
  if (locked) {
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
      palette.setColor(group, QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
      palette.setColor(group, QPalette::Base, palette.color(QPalette::Disabled, QPalette::Base));
    }
  }
  for (QLineEdit* edit : {yScale_, position_, xScale_}) {
    edit->setReadOnly(locked);
    edit->setPalette(palette);
  }
}

}  // namespace tavril
