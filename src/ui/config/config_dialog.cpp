#include "ui/config/config_dialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <filesystem>
#include <utility>

#include "acquisition/acquisition_engine.h"
#include "config/config_file.h"
#include "model/messages.h"
#include "text/number_text.h"
#include "ui/common/dialog_units.h"

namespace tavril {
namespace {

// The original window's frame around the template: 3-pixel borders, an
// 18-pixel caption and a 19-pixel menu bar. Here the frame belongs to the
// window manager and the menu bar has its own height, so the area under the
// menu keeps the original's height whatever they measure.
constexpr int kFrameWidth = 3 * 2;
constexpr int kFrameHeight = 3 * 2 + 18 + 19;

// Characters read from each number field. The viewer path is read up to what
// the configuration file carries instead, so that a browsed path survives.
constexpr int kMaxFieldChars = 255;

// The Open dialog's error when the chosen path does not fit the buffer.
constexpr unsigned long kBufferTooSmallError = 0x3003;

std::string FieldText(const QLineEdit* edit) {
  return edit->text().left(kMaxFieldChars).toUtf8().toStdString();
}

// Cuts `bytes` to at most `limit` bytes without splitting a UTF-8 character.
std::string CutAtCharacter(std::string bytes, std::size_t limit) {
  if (bytes.size() <= limit) return bytes;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(bytes[end]) & 0xC0) == 0x80) --end;
  bytes.resize(end);
  return bytes;
}

QString PathText(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

std::string PathBytes(const QString& text) {
  return QFile::encodeName(text).toStdString();
}

// Tab enters a radio group at its checked button (at the first when none is
// checked); the arrows move within the group.
void KeepOneTabStop(QButtonGroup* group) {
  const QList<QAbstractButton*> buttons = group->buttons();
  QAbstractButton* stop =
      group->checkedButton() != nullptr ? group->checkedButton() : buttons.value(0);
  for (QAbstractButton* button : buttons) {
    button->setFocusPolicy(button == stop ? Qt::StrongFocus : Qt::ClickFocus);
  }
}

// Checks `button` alone in its group, or none when it is null.
void SelectInGroup(QButtonGroup* group, QAbstractButton* button) {
  group->setExclusive(false);
  for (QAbstractButton* member : group->buttons()) member->setChecked(false);
  group->setExclusive(true);
  if (button != nullptr) button->setChecked(true);
  KeepOneTabStop(group);
}

}  // namespace

ConfigDialog::ConfigDialog(
    SessionModel& model, ConfigDialogMemory& memory, Boards& boards, UserInteraction& ui,
    std::string startDirectory, std::function<DeviceDescription(std::int16_t)> describeDevice,
    std::function<std::optional<std::string>(const std::string&)> browseViewer, QWidget* parent)
    : QDialog(parent),
      model_(model),
      memory_(memory),
      boards_(boards),
      ui_(ui),
      startDirectory_(std::move(startDirectory)),
      describeDevice_(std::move(describeDevice)),
      browseViewer_(std::move(browseViewer)) {
  setWindowTitle(QStringLiteral("Configuration"));
  setFont(DialogFont());
  setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  BuildMenu();
  BuildControls();
  ApplySize();

  memory_.working = model_.session().boardConfig;
  ShowWorkingConfig();
  device_->setFocus();
}

void ConfigDialog::BuildMenu() {
  menuBar_ = new QMenuBar(this);
  QMenu* file = menuBar_->addMenu(QStringLiteral("Fichier"));
  saveAsDefault_ = file->addAction(QStringLiteral("Sauvegarder comme configuration par défaut"));
  restoreDefault_ = file->addAction(QStringLiteral("Restaurer la configuration par défaut"));
  file->addSeparator();
  quit_ = file->addAction(QStringLiteral("Quitter"));
  QMenu* option = menuBar_->addMenu(QStringLiteral("Option"));
  advancedOptions_ = option->addAction(QStringLiteral("Options avancées"));
  advancedOptions_->setCheckable(true);

  connect(saveAsDefault_, &QAction::triggered, this, [this] { RunCommand(kCmdSaveAsDefault); });
  connect(restoreDefault_, &QAction::triggered, this, [this] { RunCommand(kCmdRestoreDefault); });
  connect(quit_, &QAction::triggered, this, [this] { RunCommand(kCmdQuit); });
  connect(advancedOptions_, &QAction::triggered, this, [this] { RunCommand(kCmdAdvancedOptions); });
}

void ConfigDialog::BuildControls() {
  content_ = new QWidget(this);
  QWidget* c = content_;
  auto place = [](QWidget* widget, int x, int y, int width, int height) {
    widget->setGeometry(DialogRect(x, y, width, height));
  };

  // Which board answers to the number typed; not part of the original template,
  // it uses the free strip above the device field.
  deviceDescription_ = new QLabel(c);
  place(deviceDescription_, 7, 2, 101, 11);

  auto* deviceLabel = new QLabel(QStringLiteral("Device (défaut = 1) :"), c);
  place(deviceLabel, 11, 16, 66, 8);
  device_ = new QLineEdit(c);
  device_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), device_));
  place(device_, 78, 15, 23, 12);
  deviceLabel->setBuddy(device_);

  // The group boxes frame the buttons without parenting them, so that every
  // control keeps the template's coordinates.
  auto* mode = new QGroupBox(QStringLiteral("Mode"), c);
  place(mode, 7, 32, 88, 44);
  differential_ = new QRadioButton(QStringLiteral("Differentiel (DIFF)"), c);
  place(differential_, 13, 42, 71, 10);
  referenced_ = new QRadioButton(QStringLiteral("RSE"), c);
  place(referenced_, 13, 53, 31, 10);
  nonReferenced_ = new QRadioButton(QStringLiteral("NRSE"), c);
  place(nonReferenced_, 13, 64, 36, 10);
  modeGroup_ = new QButtonGroup(this);
  modeGroup_->addButton(differential_, kInputModeDifferential);
  modeGroup_->addButton(referenced_, kInputModeReferencedSingleEnded);
  modeGroup_->addButton(nonReferenced_, kInputModeNonReferencedSingleEnded);

  auto* polarity = new QGroupBox(QStringLiteral("Polarité"), c);
  place(polarity, 105, 44, 57, 32);
  unipolar_ = new QRadioButton(QStringLiteral("Unipolaire"), c);
  place(unipolar_, 110, 53, 47, 10);
  bipolar_ = new QRadioButton(QStringLiteral("Bipolaire"), c);
  place(bipolar_, 110, 64, 43, 10);
  polarityGroup_ = new QButtonGroup(this);
  polarityGroup_->addButton(unipolar_, kPolarityUnipolar);
  polarityGroup_->addButton(bipolar_, kPolarityBipolar);

  ok_ = new QPushButton(QStringLiteral("OK"), c);
  place(ok_, 112, 7, 50, 14);
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("Annuler"), c);
  place(cancel_, 112, 24, 50, 14);

  auto* advanced = new QGroupBox(QStringLiteral("Options avancées"), c);
  place(advanced, 7, 79, 155, 68);
  auto* warning =
      new QLabel(QStringLiteral("(Si vous ne comprenez rien à ces réglages n'y TOUCHEZ PAS)"), c);
  warning->setWordWrap(true);
  warning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  place(warning, 12, 91, 64, 34);

  auto addField = [&](const char* label, int labelX, int labelY, int labelWidth, int x, int y,
                      int width) {
    auto* text = new QLabel(QString::fromUtf8(label), c);
    place(text, labelX, labelY, labelWidth, 8);
    auto* edit = new QLineEdit(c);
    place(edit, x, y, width, 12);
    text->setBuddy(edit);
    return edit;
  };
  timeOut_ = addField("Time Out :", 87, 88, 34, 121, 86, 36);
  gainAdjust_ = addField("Gain Adjust :", 80, 102, 41, 121, 100, 36);
  offset_ = addField("Offset :", 97, 116, 24, 121, 114, 36);
  htmlViewer_ = addField("HTML Viewer :", 12, 132, 48, 62, 131, 78);
  browse_ = new QPushButton(QStringLiteral("..."), c);
  place(browse_, 143, 131, 14, 12);

  QWidget::setTabOrder(device_, differential_);
  QWidget::setTabOrder(differential_, referenced_);
  QWidget::setTabOrder(referenced_, nonReferenced_);
  QWidget::setTabOrder(nonReferenced_, unipolar_);
  QWidget::setTabOrder(unipolar_, bipolar_);
  QWidget::setTabOrder(bipolar_, ok_);
  QWidget::setTabOrder(ok_, cancel_);
  QWidget::setTabOrder(cancel_, timeOut_);
  QWidget::setTabOrder(timeOut_, gainAdjust_);
  QWidget::setTabOrder(gainAdjust_, offset_);
  QWidget::setTabOrder(offset_, htmlViewer_);
  QWidget::setTabOrder(htmlViewer_, browse_);

  connect(differential_, &QRadioButton::clicked, this,
          [this] { memory_.working.inputMode = kInputModeDifferential; });
  connect(referenced_, &QRadioButton::clicked, this,
          [this] { memory_.working.inputMode = kInputModeReferencedSingleEnded; });
  connect(nonReferenced_, &QRadioButton::clicked, this,
          [this] { memory_.working.inputMode = kInputModeNonReferencedSingleEnded; });
  connect(unipolar_, &QRadioButton::clicked, this,
          [this] { memory_.working.polar = kPolarityUnipolar; });
  connect(bipolar_, &QRadioButton::clicked, this,
          [this] { memory_.working.polar = kPolarityBipolar; });
  connect(ok_, &QPushButton::clicked, this, [this] { RunCommand(1); });
  connect(cancel_, &QPushButton::clicked, this, [this] { RunCommand(2); });
  connect(browse_, &QPushButton::clicked, this, [this] { RunCommand(1046); });
  for (QButtonGroup* group : {modeGroup_, polarityGroup_}) {
    connect(group, &QButtonGroup::idToggled, this, [group] { KeepOneTabStop(group); });
  }
  connect(device_, &QLineEdit::textChanged, this, [this] { ShowDeviceDescription(); });
}

QRadioButton* ConfigDialog::inputModeButton(int inputMode) const {
  return qobject_cast<QRadioButton*>(modeGroup_->button(inputMode));
}

QRadioButton* ConfigDialog::polarityButton(int polar) const {
  return qobject_cast<QRadioButton*>(polarityGroup_->button(polar));
}

int ConfigDialog::ContentHeight() const {
  const QSize window = memory_.advancedOptionsShown ? kFullWindowSize : kCompactWindowSize;
  return window.height() - kFrameHeight;
}

void ConfigDialog::ApplySize() {
  advancedOptions_->setChecked(memory_.advancedOptionsShown);
  const int menuHeight = menuBar_->sizeHint().height();
  const int width = kCompactWindowSize.width() - kFrameWidth;
  menuBar_->setGeometry(0, 0, width, menuHeight);
  // The content always has the full template's size; the window shows its top part.
  content_->setGeometry(0, menuHeight, width, kFullWindowSize.height() - kFrameHeight);
  setFixedSize(width, menuHeight + ContentHeight());
}

void ConfigDialog::ShowWorkingConfig() {
  const BoardConfig& config = memory_.working;
  device_->setText(QString::number(config.device));
  timeOut_->setText(QString::number(config.timeOut));
  gainAdjust_->setText(QString::fromStdString(FormatFixed(config.gainAdjust, 6)));
  offset_->setText(QString::fromStdString(FormatFixed(config.offset, 6)));
  htmlViewer_->setText(PathText(config.htmlViewer));
  SelectInGroup(modeGroup_, modeGroup_->button(config.inputMode));
  SelectInGroup(polarityGroup_, polarityGroup_->button(config.polar));
  ShowDeviceDescription();
}

void ConfigDialog::ShowDeviceDescription() {
  if (!describeDevice_) return;
  const std::int16_t device = LowBits16(ParseDecimalInt32(FieldText(device_)));
  const DeviceDescription description = describeDevice_(device);
  deviceDescription_->setToolTip(QString::fromStdString(description.full));
  // A board name longer than the strip still shows its start.
  deviceDescription_->setText(deviceDescription_->fontMetrics().elidedText(
      QString::fromStdString(description.brief), Qt::ElideRight, deviceDescription_->width()));
}

QAction* ConfigDialog::MenuAction(int commandId) const {
  switch (commandId) {
    case kCmdSaveAsDefault:
      return saveAsDefault_;
    case kCmdRestoreDefault:
      return restoreDefault_;
    case kCmdQuit:
      return quit_;
    case kCmdAdvancedOptions:
      return advancedOptions_;
    default:
      return nullptr;
  }
}

void ConfigDialog::RunCommand(int commandId) {
  switch (commandId) {
    case 1:
      if (Apply()) done(1);
      break;
    case kCmdApplyOnly:
      Apply();
      break;
    case 2:
    case kCmdQuit:
      done(0);
      break;
    case kCmdSaveAsDefault:
      SaveAsDefault();
      break;
    case kCmdRestoreDefault:
      RestoreDefault();
      break;
    case kCmdAdvancedOptions:
      ToggleAdvancedOptions();
      break;
    case 1046:
      BrowseViewer();
      break;
    default:
      break;
  }
}

void ConfigDialog::ShowError(const std::string& text, const char* caption) {
  ui_.ShowMessage({text, caption, MessageIcon::kError, MessageButtons::kOk});
}

bool ConfigDialog::Apply() {
  // A run started while the dialog was open reads the board.
  if (const std::string why = WhyItWaitsForTheRun(model_.acquisitionState(), RunNeed::kBoard);
      !why.empty()) {
    ui_.ShowMessage({why, messages::kAttention, MessageIcon::kExclamation, MessageButtons::kOk});
    return false;
  }
  BoardConfig& working = memory_.working;
  working.htmlViewer = CutAtCharacter(PathBytes(htmlViewer_->text()), kMaxHtmlViewerBytes);

  // Each value is stored before it is checked: a refused one stays in the
  // working copy until the next apply or opening.
  working.device = LowBits16(ParseDecimalInt32(FieldText(device_)));
  if (working.device < 0 || working.device > 9) {
    ShowError(messages::kBadDevice, messages::kErrorBang);
    return false;
  }
  working.timeOut = ParseDecimalInt32(FieldText(timeOut_));
  if (working.timeOut < -1 || working.timeOut > 232) {
    ShowError(messages::kBadTimeout, messages::kErrorBang);
    return false;
  }
  working.gainAdjust = ParseDecimalDouble(FieldText(gainAdjust_)).value;
  working.offset = ParseDecimalDouble(FieldText(offset_)).value;

  Session& session = model_.session();
  if (!ConfigureBoard(boards_, ui_, working.device, working.inputMode, working.polar)) {
    // The controls keep what the user typed; the working copy holds the live values again.
    working = session.boardConfig;
    ShowError(messages::kBoardConfigurationError, messages::kError);
    return false;
  }
  session.boardConfig = working;
  model_.TellConfigurationChanged();
  return true;
}

void ConfigDialog::SaveAsDefault() {
  RunCommand(kCmdApplyOnly);
  // After a refused apply the file receives the values committed before.
  if (WriteConfigFile(model_.session().boardConfig, std::filesystem::path(startDirectory_)) == 0) {
    ShowError(messages::kConfigWriteError, messages::kErrorBang);
  }
}

void ConfigDialog::RestoreDefault() {
  if (ReadConfigFile(memory_.working, std::filesystem::path(startDirectory_)) == 0) {
    ShowError(messages::kConfigReadError, messages::kErrorBang);
    return;
  }
  ShowWorkingConfig();
}

void ConfigDialog::ToggleAdvancedOptions() {
  memory_.advancedOptionsShown = !memory_.advancedOptionsShown;
  ApplySize();
}

void ConfigDialog::BrowseViewer() {
  memory_.working.htmlViewer.clear();
  if (!browseViewer_) return;
  // The browse starts from no path at all, as the emptied buffer does.
  const std::optional<std::string> chosen = browseViewer_(memory_.working.htmlViewer);
  if (!chosen.has_value()) return;  // cancelled: the field keeps its text for the next apply
  if (chosen->size() > kMaxHtmlViewerBytes) {
    // The Open dialog's own refusal of a path its buffer cannot hold.
    ui_.ShowMessage({messages::FileDialogError(kBufferTooSmallError), messages::kErreurBang,
                     MessageIcon::kError, MessageButtons::kOk});
    memory_.working.htmlViewer = model_.session().boardConfig.htmlViewer;
    return;
  }
  memory_.working.htmlViewer = *chosen;
  htmlViewer_->setText(PathText(*chosen));
}

}  // namespace tavril
