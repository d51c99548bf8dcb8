#include "ui/acquisition/acquisition_panel.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <cmath>

#include "acquisition/acquisition_settings.h"
#include "text/number_text.h"
#include "text/text_encoding.h"
#include "ui/common/dialog_units.h"

namespace tavril {
namespace {

// The number fields are read through a 128-byte buffer, terminator included.
constexpr qsizetype kNumberFieldChars = 127;

std::string FieldText(const QLineEdit* edit) {
  return edit->text().left(kNumberFieldChars).toStdString();
}

// Truncates toward zero and keeps the low 32 bits, as the 32-bit count field
// of the record does; values no integer type holds give 0.
std::uint32_t CountFromField(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 9.2e18) return 0;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

QString ControlName(int id) {
  return QStringLiteral("control%1").arg(id);
}

QLabel* AddLabel(QWidget* parent, const char* text, int x, int y) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setGeometry(DialogRect(x, y, 53, 8));
  return label;
}

QLineEdit* AddDigitsEdit(QWidget* parent, int id, int y) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(ControlName(id));
  edit->setGeometry(DialogRect(7, y, 53, 12));
  edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  return edit;
}

}  // namespace

ChannelSelection SelectionFlags(const std::array<bool, kChannelCount>& items) {
  ChannelSelection flags{};
  int selectedCount = 0;
  int highest = -1;
  for (int i = 0; i < kChannelCount; ++i) {
    if (items[i]) {
      ++selectedCount;
      highest = i;
    }
  }
  if (selectedCount == 1) {
    flags[highest] = true;
  } else if (selectedCount > 1) {
    for (int j = highest; j >= 0; --j) flags[j] = true;
  }
  return flags;
}

std::string TitleFromBox(const std::string& utf8) {
  std::string withReturns;
  withReturns.reserve(utf8.size());
  for (char c : utf8) {
    if (c == '\n') withReturns.push_back('\r');
    withReturns.push_back(c);
  }
  std::string bytes = Utf8ToWindows1252(withReturns);
  if (bytes.size() > kMaxTitleBytes) bytes.resize(kMaxTitleBytes);
  return bytes;
}

std::string TitleForBox(const std::string& windows1252) {
  std::string utf8 = Windows1252ToUtf8(windows1252);
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
    out.push_back(utf8[i]);
  }
  return out;
}

AcquisitionPanel::AcquisitionPanel(SessionModel& model, AcquisitionPanelMemory& memory,
                                   AcquisitionController& controller, QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                              Qt::WindowContextHelpButtonHint | Qt::CustomizeWindowHint),
      model_(model),
      memory_(memory),
      controller_(controller) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Acquisition"));
  setFont(DialogFont());
  setFixedSize(DialogSize(70, 207));
  connect(&model_, &SessionModel::viewRefreshed, this, qOverload<>(&QWidget::update));
  BuildControls();
  FillFields();
  ShowButtonText();
  connect(&controller_, &AcquisitionController::continuousOfferedChanged, this,
          &AcquisitionPanel::ShowButtonText);
  connect(&model_, &SessionModel::acquisitionStateChanged, this, &AcquisitionPanel::ShowButtonText);
  connect(&controller_, &AcquisitionController::continuousRequested, this,
          [this](ContinuousRequest& request) { request.channels = ReadRequest(); });
  acquireButton_->setFocus();  // the first control in tab order
}

void AcquisitionPanel::BuildControls() {
  acquireButton_ = new QPushButton(QStringLiteral("Acquisition"), this);
  acquireButton_->setObjectName(ControlName(kAcquisitionButtonId));
  acquireButton_->setGeometry(DialogRect(7, 179, 53, 21));
  acquireButton_->setDefault(true);
  connect(acquireButton_, &QPushButton::clicked, this, &AcquisitionPanel::Acquire);

  channelList_ = new QListWidget(this);
  channelList_->setObjectName(ControlName(kChannelListId));
  channelList_->setGeometry(DialogRect(7, 7, 53, 29));
  channelList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  channelList_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  channelList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int i = 0; i < kChannelCount; ++i) {
    channelList_->addItem(QStringLiteral("%1 %2").arg(QStringLiteral("Canal")).arg(i));
  }
  channelList_->sortItems();
  ShowWholeRows(*channelList_);
  connect(channelList_, &QListWidget::itemSelectionChanged, this,
          &AcquisitionPanel::OnSelectionChanged);

  AddLabel(this, "Gain :", 7, 41);
  gainEdit_ = AddDigitsEdit(this, kGainEditId, 50);
  AddLabel(this, "Nombre de Pts :", 7, 67);
  countEdit_ = AddDigitsEdit(this, kCountEditId, 76);
  AddLabel(this, "Sample Rate :", 7, 93);
  sampleRateEdit_ = AddDigitsEdit(this, kSampleRateEditId, 102);
  AddLabel(this, "Scan Rate :", 7, 119);
  scanRateEdit_ = AddDigitsEdit(this, kScanRateEditId, 128);
  AddLabel(this, "Titre :", 7, 145);

  titleEdit_ = new QPlainTextEdit(this);
  titleEdit_->setObjectName(ControlName(kTitleEditId));
  titleEdit_->setGeometry(DialogRect(7, 154, 53, 22));
  titleEdit_->setLineWrapMode(QPlainTextEdit::NoWrap);
  titleEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  titleEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  titleEdit_->setTabChangesFocus(true);
  titleEdit_->installEventFilter(this);

  setTabOrder(acquireButton_, channelList_);
  setTabOrder(channelList_, gainEdit_);
  setTabOrder(gainEdit_, countEdit_);
  setTabOrder(countEdit_, sampleRateEdit_);
  setTabOrder(sampleRateEdit_, scanRateEdit_);
  setTabOrder(scanRateEdit_, titleEdit_);
}

void AcquisitionPanel::FillFields() {
  {
    const QSignalBlocker blocker(channelList_);
    channelList_->clearSelection();
    channelList_->setCurrentRow(0, QItemSelectionModel::Select);
  }
  memory_.selected = {true, false, false, false, false, false, false, false};

  const Session& session = model_.session();
  const ChannelRecord& master = session.Master();
  countEdit_->setText(master.count() == 0 ? QStringLiteral("1000")
                                          : QString::number(master.count()));
  gainEdit_->setText(master.gain == 0 ? QStringLiteral("1") : QString::number(master.gain));
  sampleRateEdit_->setText(master.rate == 0.0
                               ? QStringLiteral("100000")
                               : QString::fromStdString(FormatFixed(master.rate, 0)));
  scanRateEdit_->setText(QString::fromStdString(FormatFixed(memory_.scanRate, 0)));
  titleEdit_->setPlainText(QString::fromStdString(TitleForBox(session.channels[0].title)));
  SetScanRateGreyed(true);
}

void AcquisitionPanel::OnSelectionChanged() {
  std::array<bool, kChannelCount> items{};
  int selectedCount = 0;
  for (int i = 0; i < kChannelCount; ++i) {
    items[i] = channelList_->item(i)->isSelected();
    if (items[i]) ++selectedCount;
  }
  memory_.selected = SelectionFlags(items);
  if (selectedCount > 1) {
    // Programmatic selection sends no change notification, as in the list
    // box the rules come from.
    const QSignalBlocker blocker(channelList_);
    for (int j = 0; j < kChannelCount; ++j) {
      if (memory_.selected[j]) channelList_->item(j)->setSelected(true);
    }
  }
  SetScanRateGreyed(selectedCount <= 1);
}

void AcquisitionPanel::SetScanRateGreyed(bool greyed) {
  // Greyed, the field keeps its focus and its text can be selected and copied.
  scanRateGreyed_ = greyed;
  scanRateEdit_->setReadOnly(greyed);
  QPalette palette = this->palette();
  if (greyed) {
    palette.setColor(QPalette::Active, QPalette::Text,
                     palette.color(QPalette::Disabled, QPalette::Text));
    palette.setColor(QPalette::Inactive, QPalette::Text,
                     palette.color(QPalette::Disabled, QPalette::Text));
    palette.setColor(QPalette::Active, QPalette::Base, palette.color(QPalette::Window));
    palette.setColor(QPalette::Inactive, QPalette::Base, palette.color(QPalette::Window));
  }
  scanRateEdit_->setPalette(palette);
}

ChannelRequest AcquisitionPanel::ReadRequest() {
  AcquisitionSettings settings;
  settings.sampleRate = ParseDecimalDouble(FieldText(sampleRateEdit_)).value;
  settings.count = CountFromField(ParseDecimalDouble(FieldText(countEdit_)).value);
  settings.gain = static_cast<std::int16_t>(ParseDecimalInt32(FieldText(gainEdit_)));
  settings.title = TitleFromBox(titleEdit_->toPlainText().toStdString());
  settings.scanRate = ParseDecimalDouble(FieldText(scanRateEdit_)).value;
  // The scan rate typed is kept only when a channel takes part.
  if (std::find(memory_.selected.begin(), memory_.selected.end(), true) != memory_.selected.end()) {
    memory_.scanRate = settings.scanRate;
  }
  return {memory_.selected, settings};
}

void AcquisitionPanel::ShowButtonText() {
  if (!controller_.continuousOffered()) {
    acquireButton_->setText(QStringLiteral("Acquisition"));
  } else {
    acquireButton_->setText(model_.acquisitionState() == AcquisitionState::kContinuous
                                ? QStringLiteral("Arrêter")
                                : QStringLiteral("Démarrer"));
  }
}

void AcquisitionPanel::Acquire() {
  if (controller_.continuousOffered()) {
    controller_.StartOrStopContinuous();
    return;
  }
  const QPointer<QWidget> focused = focusWidget();
  controller_.AcquireFinite(ReadRequest());
  // The panel gets the keyboard back where it was, as a dialog that regains
  // the focus gives it to its last control.
  activateWindow();
  if (focused != nullptr) {
    focused->setFocus();
  } else {
    acquireButton_->setFocus();
  }
}

void AcquisitionPanel::closeEvent(QCloseEvent* event) {
  emit closed();
  event->accept();
}

void AcquisitionPanel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Acquire();
      return;
    case Qt::Key_Escape:
      return;  // Escape does not close the panel.
    default:
      QWidget::keyPressEvent(event);
  }
}

bool AcquisitionPanel::eventFilter(QObject* watched, QEvent* event) {
  // In the title box Enter starts the acquisition like everywhere in the
  // panel; Ctrl+Enter breaks the line.
  if (watched == titleEdit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool isEnter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (isEnter && !(key->modifiers() & Qt::ControlModifier)) {
      Acquire();
      return true;
    }
    if (isEnter) {
      titleEdit_->insertPlainText(QStringLiteral("\n"));
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace tavril
