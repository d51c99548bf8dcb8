#include "ui/acquisition/continuous_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

#include "model/channel_record.h"
#include "text/number_text.h"
#include "text/size_text.h"

namespace tavril {

namespace {

QString NumberText(double value) {
  char text[kMaxShortestChars];
  return QString::fromLatin1(text, AppendShortest(text, value) - text);
}

QString TriggerStateText(std::optional<TriggerState> state) {
  if (!state) return QStringLiteral("—");
  switch (*state) {
    case TriggerState::kWaiting:
      return QStringLiteral("En attente du déclenchement");
    case TriggerState::kTriggered:
      return QStringLiteral("Déclenché");
    case TriggerState::kAutomatic:
      return QStringLiteral("Automatique");
  }
  return {};
}

// The whole field must be a finite decimal number.
std::optional<double> ReadNumber(const QLineEdit* edit) {
  const std::string text = edit->text().trimmed().toStdString();
  const ParsedDouble parsed = ParseDecimalDouble(text);
  if (text.empty() || parsed.consumed != text.size() || !std::isfinite(parsed.value)) {
    return std::nullopt;
  }
  return parsed.value;
}

}  // namespace

ContinuousWindow::ContinuousWindow(ContinuousChoices& choices, AcquisitionController& controller,
                                   QWidget* owner)
    : QWidget(owner, Qt::Tool), choices_(choices), controller_(&controller) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Acquisition continue"));

  auto* trigger = new QGroupBox(QStringLiteral("Déclenchement"), this);
  auto* triggerForm = new QFormLayout(trigger);
  source_ = new QComboBox(trigger);
  source_->addItem(QStringLiteral("Aucun (défilement)"), -1);
  for (int channel = 0; channel < kChannelCount; ++channel) {
    source_->addItem(QStringLiteral("Canal %1").arg(channel), channel);
  }
  source_->setCurrentIndex(source_->findData(choices.triggerChannel));
  level_ = new QLineEdit(NumberText(choices.triggerLevel), trigger);
  edge_ = new QComboBox(trigger);
  edge_->addItems({QStringLiteral("Montant"), QStringLiteral("Descendant")});
  edge_->setCurrentIndex(choices.risingEdge ? 0 : 1);
  preTrigger_ = new QSpinBox(trigger);
  preTrigger_->setRange(0, 100);
  preTrigger_->setSuffix(QStringLiteral(" %"));
  preTrigger_->setValue(choices.preTriggerPercent);
  holdoff_ = new QLineEdit(NumberText(choices.holdoffSeconds), trigger);
  mode_ = new QComboBox(trigger);
  mode_->addItems(
      {QStringLiteral("Automatique"), QStringLiteral("Normal"), QStringLiteral("Coup unique")});
  mode_->setCurrentIndex(static_cast<int>(choices.mode));
  triggerForm->addRow(QStringLiteral("Source :"), source_);
  triggerForm->addRow(QStringLiteral("Niveau (V) :"), level_);
  triggerForm->addRow(QStringLiteral("Front :"), edge_);
  triggerForm->addRow(QStringLiteral("Pré-déclenchement :"), preTrigger_);
  triggerForm->addRow(QStringLiteral("Retenue (s) :"), holdoff_);
  triggerForm->addRow(QStringLiteral("Mode :"), mode_);
  triggerState_ = new QLabel(trigger);
  force_ = new QPushButton(QStringLiteral("Forcer"), trigger);
  auto* stateRow = new QHBoxLayout;
  stateRow->addWidget(triggerState_, 1);
  stateRow->addWidget(force_);
  triggerForm->addRow(QStringLiteral("État :"), stateRow);

  recording_ = new QGroupBox(QStringLiteral("Enregistrer chaque échantillon (HDF5)"), this);
  recording_->setCheckable(true);
  recording_->setChecked(choices.record);
  auto* recordingRow = new QHBoxLayout(recording_);
  path_ = new QLineEdit(QString::fromStdString(choices.recordPath), recording_);
  browse_ = new QPushButton(QStringLiteral("..."), recording_);
  recordingRow->addWidget(path_);
  recordingRow->addWidget(browse_);

  auto* status = new QFormLayout;
  duration_ = new QLabel(this);
  written_ = new QLabel(this);
  fileSize_ = new QLabel(this);
  freeSpace_ = new QLabel(this);
  status->addRow(QStringLiteral("Durée :"), duration_);
  status->addRow(QStringLiteral("Échantillons écrits :"), written_);
  status->addRow(QStringLiteral("Taille du fichier :"), fileSize_);
  status->addRow(QStringLiteral("Espace libre :"), freeSpace_);
  outcome_ = new QLabel(this);
  outcome_->setWordWrap(true);

  startStop_ = new QPushButton(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(trigger);
  layout->addWidget(recording_);
  layout->addLayout(status);
  layout->addWidget(outcome_);
  layout->addWidget(startStop_);

  connect(startStop_, &QPushButton::clicked, this, &ContinuousWindow::startStopClicked);
  connect(browse_, &QPushButton::clicked, this, &ContinuousWindow::browseClicked);
  connect(force_, &QPushButton::clicked, &controller, &AcquisitionController::ForceSweep);
  connect(&controller.model(), &SessionModel::acquisitionStateChanged, this,
          [this](AcquisitionState state) { ShowRunning(state == AcquisitionState::kContinuous); });
  connect(&controller, &AcquisitionController::progressed, this, &ContinuousWindow::ShowProgress);
  connect(&controller, &AcquisitionController::ended, this, &ContinuousWindow::ShowOutcome);
  connect(&controller, &AcquisitionController::rateChanged, this, &ContinuousWindow::ShowOutcome);
  connect(&controller, &AcquisitionController::continuousRequested, this,
          [this](ContinuousRequest& request) {
            if (ReadChoices(&request.why)) request.choices = choices_;
          });
  ShowRunning(false);
  ShowProgress({});
  controller.OfferContinuous(true);
  show();
}

ContinuousWindow::~ContinuousWindow() {
  if (controller_) controller_->OfferContinuous(false);
}

bool ContinuousWindow::ReadChoices(std::string* why) {
  const std::optional<double> level = ReadNumber(level_);
  const std::optional<double> holdoff = ReadNumber(holdoff_);
  if (!level) {
    *why = "Le niveau de déclenchement doit être un nombre de volts.";
    return false;
  }
  if (!holdoff || *holdoff < 0.0) {
    *why = "La retenue doit être un nombre de secondes positif ou nul.";
    return false;
  }
  const bool record = recording_->isChecked();
  const std::string path = path_->text().trimmed().toStdString();
  if (record && path.empty()) {
    *why = "Choisissez le fichier où enregistrer.";
    return false;
  }
  choices_.triggerChannel = source_->currentData().toInt();
  choices_.triggerLevel = *level;
  choices_.risingEdge = edge_->currentIndex() == 0;
  choices_.preTriggerPercent = preTrigger_->value();
  choices_.holdoffSeconds = *holdoff;
  choices_.mode = static_cast<ContinuousChoices::Mode>(mode_->currentIndex());
  choices_.record = record;
  choices_.recordPath = path;
  return true;
}

void ContinuousWindow::ShowRunning(bool running) {
  startStop_->setText(running ? QStringLiteral("Arrêter") : QStringLiteral("Démarrer"));
  for (QWidget* field :
       {static_cast<QWidget*>(source_), static_cast<QWidget*>(level_), static_cast<QWidget*>(edge_),
        static_cast<QWidget*>(preTrigger_), static_cast<QWidget*>(holdoff_),
        static_cast<QWidget*>(mode_), static_cast<QWidget*>(recording_)}) {
    field->setEnabled(!running);
  }
  force_->setEnabled(running && choices_.triggerChannel >= 0);
  if (running) outcome_->clear();
}

void ContinuousWindow::ShowProgress(const ContinuousProgress& progress) {
  const QString none = QStringLiteral("—");
  duration_->setText(QString::fromStdString(FormatFixed(progress.seconds, 1)) +
                     QStringLiteral(" s"));
  written_->setText(QString::number(progress.samplesWritten));
  fileSize_->setText(progress.fileBytes ? QString::fromStdString(SizeText(*progress.fileBytes))
                                        : none);
  freeSpace_->setText(progress.freeBytes ? QString::fromStdString(SizeText(*progress.freeBytes))
                                         : none);
  triggerState_->setText(TriggerStateText(progress.trigger));
}

void ContinuousWindow::ShowOutcome(const QString& text) {
  outcome_->setText(text);
}

void ContinuousWindow::SetRecordPath(const std::string& utf8) {
  path_->setText(QString::fromStdString(utf8));
  recording_->setChecked(true);
}

void ContinuousWindow::closeEvent(QCloseEvent* event) {
  // Its controls go with it: a run cannot outlive them.
  if (controller_) controller_->OfferContinuous(false);
  emit closed();
  QWidget::closeEvent(event);
}

}  // namespace tavril
