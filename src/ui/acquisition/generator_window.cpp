#include "ui/acquisition/generator_window.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QSignalBlocker>

#include <cmath>
#include <filesystem>

#include "files/channel_file.h"
#include "files/channel_formats.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr const char* kCaption = "Générateur";
// The source list's entries that are not records.
constexpr int kFileSource = -1;
constexpr int kChooseFile = -2;

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QString Number(double value) {
  return Text(ShortestText(value));
}

// A decimal number filling the whole field; a comma is taken for the point.
std::optional<double> ReadNumber(const QLineEdit* edit) {
  const std::string text = edit->text().trimmed().replace(',', '.').toStdString();
  const ParsedDouble parsed = ParseDecimalDouble(text);
  if (text.empty() || parsed.consumed != text.size() || !std::isfinite(parsed.value)) {
    return std::nullopt;
  }
  return parsed.value;
}

QString OutputName(int channel) {
  return QStringLiteral("Sortie %1").arg(channel);
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// The first channel of a file TAVRIL opens or imports, in volts with its
// rate; false with the reason.
bool ReadFileChannel(const std::string& path, ArbitrarySource& source, std::string* why) {
  const std::filesystem::path file = PathOf(path);
  std::string extension = file.extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  ChannelRecord record;
  std::string channelName;
  if (extension == ".tvr") {
    if (LoadChannelFile(file, record) == 0) {
      *why = "le fichier n'est pas un fichier TAVRIL lisible";
      return false;
    }
  } else {
    ChannelSet set;
    if (!ReadChannelsFile(file, set, why)) return false;
    if (set.empty()) {
      *why = "le fichier ne contient aucun canal";
      return false;
    }
    record = std::move(set.front().record);
    channelName = ", canal " + std::to_string(set.front().slot);
  }
  if (record.sampleCount() == 0 || !(record.rate > 0.0)) {
    *why = "le canal du fichier ne contient aucun échantillon ou n'a pas de cadence";
    return false;
  }
  const std::u8string name = file.filename().u8string();
  source.slot = kFileSource;
  source.fileName = std::string(name.begin(), name.end()) + channelName;
  source.fileVolts.assign(record.samples().begin(), record.samples().end());
  source.fileRate = record.rate;
  return true;
}

}  // namespace

GeneratorWindow::GeneratorWindow(SessionModel& model, GeneratorChoices& choices, Boards& boards,
                                 UserInteraction& ui,
                                 std::function<std::optional<std::string>()> chooseFile,
                                 QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model),
      choices_(choices),
      boards_(boards),
      ui_(ui),
      chooseFile_(std::move(chooseFile)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8(kCaption));

  panelArea_ = new QWidget(this);
  new QHBoxLayout(panelArea_);
  panelArea_->layout()->setContentsMargins(0, 0, 0, 0);

  updateRate_ = new QLineEdit(Number(choices_.updateRate), this);
  updateRate_->setObjectName(QStringLiteral("updateRate"));
  withAcquisition_ = new QCheckBox(QStringLiteral("Avec l'acquisition"), this);
  withAcquisition_->setChecked(choices_.withAcquisition);
  withAcquisition_->setObjectName(QStringLiteral("withAcquisition"));
  start_ = new QPushButton(QStringLiteral("Démarrer"), this);
  stop_ = new QPushButton(QStringLiteral("Arrêter"), this);
  start_->setObjectName(QStringLiteral("start"));
  stop_->setObjectName(QStringLiteral("stop"));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);

  auto* run = new QHBoxLayout;
  run->addWidget(new QLabel(QStringLiteral("Mises à jour par seconde"), this));
  run->addWidget(updateRate_);
  run->addWidget(withAcquisition_);
  run->addStretch();
  run->addWidget(start_);
  run->addWidget(stop_);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(panelArea_);
  layout->addLayout(run);
  layout->addWidget(status_);

  connect(start_, &QPushButton::clicked, this, &GeneratorWindow::Start);
  connect(stop_, &QPushButton::clicked, this, &GeneratorWindow::StopOutput);
  connect(withAcquisition_, &QCheckBox::toggled, this,
          [this](bool checked) { choices_.withAcquisition = checked; });
  connect(&model_, &SessionModel::acquisitionStateChanged, this,
          &GeneratorWindow::FollowAcquisition);
  connect(&model_, &SessionModel::configurationChanged, this,
          &GeneratorWindow::FollowConfiguration);
  connect(&model_, &SessionModel::recordsChanged, this, [this] {
    for (int i = 0; i < static_cast<int>(panels_.size()); ++i) FillSources(i);
  });

  BuildPanels();
  show();
}

GeneratorWindow::~GeneratorWindow() {
  // The player's thread must not outlive the window it reports to.
  if (player_) player_->Stop();
}

Board& GeneratorWindow::PresentBoard() const {
  return boards_.For(device_);
}

void GeneratorWindow::BuildPanels() {
  device_ = model_.session().boardConfig.device;
  outputs_ = PresentBoard().Outputs();
  panels_.assign(outputs_.size(), Panel{});
  if (choices_.outputs.size() < outputs_.size()) choices_.outputs.resize(outputs_.size());
  QLayout* row = panelArea_->layout();
  while (QLayoutItem* item = row->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  for (int i = 0; i < static_cast<int>(outputs_.size()); ++i) {
    row->addWidget(BuildPanel(i, outputs_[i]));
  }
  const bool any = !outputs_.empty();
  if (!any) {
    auto* none = new QLabel(QStringLiteral("Cette carte n'a pas de sortie analogique."));
    none->setObjectName(QStringLiteral("noOutput"));
    row->addWidget(none);
  }
  updateRate_->setEnabled(any);
  withAcquisition_->setEnabled(any);
  start_->setEnabled(any);
  stop_->setEnabled(any);
  adjustSize();
}

QWidget* GeneratorWindow::BuildPanel(int index, const OutputDescription& output) {
  const OutputChoices& choice = choices_.outputs[index];
  Panel& panel = panels_[index];
  auto* box = new QGroupBox(OutputName(output.channel));
  auto* form = new QFormLayout(box);
  const auto named = [index](QWidget* widget, const char* name) {
    widget->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(index));
  };
  const auto edit = [&](const char* name, const char* label, double value) {
    auto* field = new QLineEdit(Number(value), box);
    named(field, name);
    form->addRow(QString::fromUtf8(label), field);
    return field;
  };
  panel.active = new QCheckBox(QStringLiteral("Active"), box);
  panel.active->setChecked(choice.active);
  named(panel.active, "active");
  form->addRow(panel.active);
  panel.shape = new QComboBox(box);
  named(panel.shape, "shape");
  for (const WaveShape shape : kGeneratorShapes) {
    panel.shape->addItem(QString::fromUtf8(ShapeName(shape)), static_cast<int>(shape));
  }
  panel.shape->setCurrentIndex(panel.shape->findData(static_cast<int>(choice.shape)));
  form->addRow(QStringLiteral("Forme"), panel.shape);
  panel.source = new QComboBox(box);
  named(panel.source, "source");
  form->addRow(QStringLiteral("Source"), panel.source);
  panel.frequency = edit("frequency", "Fréquence (Hz)", choice.frequency);
  panel.amplitude = edit("amplitude", "Amplitude (V)", choice.amplitude);
  panel.offset = edit("offset", "Décalage (V)", choice.offset);
  panel.phase = edit("phase", "Phase (°)", choice.phaseDegrees);
  panel.duty = edit("duty", "Rapport cyclique (%)", choice.dutyPercent);
  panel.sweep = new QComboBox(box);
  named(panel.sweep, "sweep");
  panel.sweep->addItem(QStringLiteral("Aucun"), static_cast<int>(SweepChoice::kNone));
  panel.sweep->addItem(QStringLiteral("Linéaire"), static_cast<int>(SweepChoice::kLinear));
  panel.sweep->addItem(QStringLiteral("Logarithmique"),
                       static_cast<int>(SweepChoice::kLogarithmic));
  panel.sweep->setCurrentIndex(panel.sweep->findData(static_cast<int>(choice.sweep)));
  form->addRow(QStringLiteral("Balayage"), panel.sweep);
  panel.sweepStart = edit("sweepStart", "Début (Hz)", choice.sweepStartHz);
  panel.sweepStop = edit("sweepStop", "Fin (Hz)", choice.sweepStopHz);
  panel.sweepSeconds = edit("sweepSeconds", "Durée (s)", choice.sweepSeconds);
  box->setToolTip(QStringLiteral("%1 bits, au plus %2 mises à jour par seconde")
                      .arg(output.resolutionBits)
                      .arg(Number(output.maxUpdateRate)));

  FillSources(index);
  GreyUnusedFields(index);
  const auto regrey = [this, index] { GreyUnusedFields(index); };
  connect(panel.shape, &QComboBox::currentIndexChanged, this, regrey);
  connect(panel.sweep, &QComboBox::currentIndexChanged, this, regrey);
  connect(panel.active, &QCheckBox::toggled, this,
          [this, index](bool on) { choices_.outputs[index].active = on; });
  connect(panel.source, &QComboBox::activated, this, [this, index] { ChooseSource(index); });
  return box;
}

void GeneratorWindow::GreyUnusedFields(int index) {
  const Panel& panel = panels_[index];
  const auto shape = static_cast<WaveShape>(panel.shape->currentData().toInt());
  const auto sweep = static_cast<SweepChoice>(panel.sweep->currentData().toInt());
  const FieldsInUse fields = FieldsFor(shape, sweep);
  panel.frequency->setEnabled(fields.frequency);
  panel.amplitude->setEnabled(fields.amplitude);
  panel.phase->setEnabled(fields.phase);
  panel.duty->setEnabled(fields.duty);
  panel.sweep->setEnabled(fields.sweep);
  panel.sweepStart->setEnabled(fields.sweepFields);
  panel.sweepStop->setEnabled(fields.sweepFields);
  panel.sweepSeconds->setEnabled(fields.sweepFields);
  panel.source->setEnabled(fields.source);
}

void GeneratorWindow::FillSources(int index) {
  QComboBox* list = panels_[index].source;
  const ArbitrarySource& source = choices_.outputs[index].source;
  const QSignalBlocker quiet(list);
  list->clear();
  const ChannelTable& records = model_.session().channels;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (!HoldsSamples(records[slot])) continue;
    list->addItem(QStringLiteral("Canal %1 : %2")
                      .arg(slot)
                      .arg(Text(Windows1252ToUtf8(records[slot].title)).simplified()),
                  slot);
  }
  if (!source.fileVolts.empty()) {
    list->addItem(QStringLiteral("Fichier %1").arg(Text(source.fileName)), kFileSource);
  }
  list->addItem(QStringLiteral("Fichier ..."), kChooseFile);
  const int chosen = list->findData(source.slot);
  list->setCurrentIndex(chosen >= 0 ? chosen : 0);
}

void GeneratorWindow::ChooseSource(int index) {
  ArbitrarySource& source = choices_.outputs[index].source;
  const int chosen = panels_[index].source->currentData().toInt();
  if (chosen != kChooseFile) {
    source.slot = chosen;
    return;
  }
  const std::optional<std::string> path = chooseFile_ ? chooseFile_() : std::nullopt;
  if (path) {
    ArbitrarySource read;
    std::string why;
    if (ReadFileChannel(*path, read, &why)) {
      source = std::move(read);
    } else {
      ui_.ShowMessage({"Lecture impossible de « " + *path + " » : " + why + ".", kCaption,
                       MessageIcon::kError, MessageButtons::kOk});
    }
  }
  FillSources(index);
}

bool GeneratorWindow::ReadPanel(int index) {
  const Panel& panel = panels_[index];
  OutputChoices& choice = choices_.outputs[index];
  choice.shape = static_cast<WaveShape>(panel.shape->currentData().toInt());
  choice.sweep = static_cast<SweepChoice>(panel.sweep->currentData().toInt());
  const FieldsInUse fields = FieldsFor(choice.shape, choice.sweep);
  const struct {
    QLineEdit* edit;
    double& value;
    bool used;
  } numbers[] = {
      {panel.frequency, choice.frequency, fields.frequency},
      {panel.amplitude, choice.amplitude, fields.amplitude},
      {panel.offset, choice.offset, true},
      {panel.phase, choice.phaseDegrees, fields.phase},
      {panel.duty, choice.dutyPercent, fields.duty},
      {panel.sweepStart, choice.sweepStartHz, fields.sweepFields},
      {panel.sweepStop, choice.sweepStopHz, fields.sweepFields},
      {panel.sweepSeconds, choice.sweepSeconds, fields.sweepFields},
  };
  for (const auto& number : numbers) {
    if (!number.used) continue;
    const std::optional<double> value = ReadNumber(number.edit);
    if (!value) {
      const QFormLayout* form = qobject_cast<QFormLayout*>(number.edit->parentWidget()->layout());
      const auto* label = qobject_cast<QLabel*>(form->labelForField(number.edit));
      Refuse(OutputName(outputs_[index].channel).toStdString() + " : le champ « " +
             (label ? label->text().toStdString() : std::string()) + " » doit contenir un nombre.");
      return false;
    }
    number.value = *value;
  }
  return true;
}

std::optional<WaveSettings> GeneratorWindow::WaveOf(int index, std::string* why) {
  const OutputChoices& choice = choices_.outputs[index];
  WaveSettings recorded;
  if (choice.shape == WaveShape::kArbitrary) {
    const ArbitrarySource& source = choice.source;
    const ChannelTable& records = model_.session().channels;
    const int slot = panels_[index].source->currentData().toInt();
    if (slot >= 0 && slot < kChannelCount && HoldsSamples(records[slot]) &&
        records[slot].rate > 0.0) {
      recorded = RecordWave(records[slot].samples(), records[slot].rate);
    } else if (slot == kFileSource && !source.fileVolts.empty()) {
      recorded = RecordWave(source.fileVolts, source.fileRate);
    } else {
      *why = "la forme arbitraire n'a pas de source : choisissez un canal ou un fichier";
      return std::nullopt;
    }
  }
  WaveSettings wave = WaveFromChoices(choice, recorded);
  // Each output's noise its own.
  wave.noiseSeed = static_cast<std::uint64_t>(outputs_[index].channel) + 1;
  return wave;
}

void GeneratorWindow::Refuse(const std::string& why) {
  ShowStatus(Text(why));
  ui_.ShowMessage({why, kCaption, MessageIcon::kError, MessageButtons::kOk});
}

void GeneratorWindow::ShowStatus(const QString& text) {
  status_->setText(text);
}

QString GeneratorWindow::StatusText() const {
  return status_->text();
}

void GeneratorWindow::Start() {
  if (outputs_.empty()) return;
  // A sweep plays its own sines on the outputs.
  if (model_.acquisitionState() == AcquisitionState::kFrequencySweep) {
    Refuse(WhyItWaitsForTheRun(model_.acquisitionState(), RunNeed::kBoard));
    return;
  }
  if (Playing()) StopOutput();
  const std::optional<double> rate = ReadNumber(updateRate_);
  if (!rate) {
    Refuse("Le champ « Mises à jour par seconde » doit contenir un nombre.");
    return;
  }
  choices_.updateRate = *rate;
  std::vector<PlayedOutput> played;
  QString warnings;
  for (int i = 0; i < static_cast<int>(panels_.size()); ++i) {
    if (!panels_[i].active->isChecked()) continue;
    if (!ReadPanel(i)) return;
    const std::string name = OutputName(outputs_[i].channel).toStdString();
    std::string why;
    const std::optional<WaveSettings> wave = WaveOf(i, &why);
    std::string warning;
    if (wave) why = OutputRefusal(*wave, outputs_[i], *rate, &warning);
    if (!why.empty()) {
      Refuse(name + " : " + why + ".");
      return;
    }
    if (!warning.empty()) warnings += Text(" Attention, " + name + " : " + warning + ".");
    played.push_back({outputs_[i].channel, *wave});
  }
  if (played.empty()) {
    ShowStatus(QStringLiteral("Aucune sortie n'est active."));
    return;
  }
  const bool withAcquisition = withAcquisition_->isChecked();
  if (withAcquisition && !model_.idle()) {
    Refuse("Une acquisition est en cours : la sortie ne peut démarrer avec elle qu'à son début.");
    return;
  }
  Board& board = PresentBoard();
  player_ = std::make_unique<OutputPlayer>(board, [this](DaqStatus status) {
    // From the player's thread: the window hears it on its own.
    QMetaObject::invokeMethod(
        this, [this, status] { OnPlayerFailed(status); }, Qt::QueuedConnection);
  });
  const DaqStatus status = player_->Start(played, *rate, withAcquisition);
  if (status != kDaqNoError) {
    player_.reset();
    Refuse("La sortie ne démarre pas : " + board.StatusMessage(status));
    return;
  }
  QString names = played.size() == 1 ? QStringLiteral("Sortie ") : QStringLiteral("Sorties ");
  for (std::size_t i = 0; i < played.size(); ++i) {
    if (i > 0) names += i + 1 == played.size() ? QStringLiteral(" et ") : QStringLiteral(", ");
    names += QString::number(played[i].channel);
  }
  ShowStatus(names +
             (withAcquisition ? QStringLiteral(" : démarrage avec l'acquisition.")
                              : QStringLiteral(" en marche.")) +
             warnings);
  if (!withAcquisition) return;
  followsAcquisition_ = true;
  acquisitionStarted_ = false;
  emit acquisitionWanted();
  // A finite acquisition has run and ended by now; one that did not start
  // leaves the output waiting for nothing.
  if (followsAcquisition_ && !acquisitionStarted_ && model_.idle()) {
    StopOutput();
    ShowStatus(QStringLiteral("L'acquisition n'a pas démarré : les sorties sont à 0 V."));
  }
}

void GeneratorWindow::StopOutput() {
  followsAcquisition_ = false;
  if (!player_) return;
  const DaqStatus status = player_->Stop();
  player_.reset();
  if (status == kDaqNoError) {
    ShowStatus(QStringLiteral("Arrêtée : les sorties sont à 0 V."));
  } else {
    ShowStatus(Text(PresentBoard().StatusMessage(status)) +
               QStringLiteral(" Les sorties sont à 0 V."));
  }
}

void GeneratorWindow::FollowAcquisition(AcquisitionState state) {
  if (!followsAcquisition_) return;
  if (state != AcquisitionState::kIdle) {
    acquisitionStarted_ = true;
    ShowStatus(status_->text().replace(QStringLiteral(" : démarrage avec l'acquisition."),
                                       QStringLiteral(" en marche avec l'acquisition.")));
    return;
  }
  StopOutput();
  ShowStatus(QStringLiteral("L'acquisition est finie : les sorties sont à 0 V."));
}

void GeneratorWindow::FollowConfiguration() {
  if (model_.session().boardConfig.device == device_) return;
  StopOutput();
  BuildPanels();
}

void GeneratorWindow::OnPlayerFailed(DaqStatus status) {
  if (!player_ || player_->Failure() != status) return;  // a run since replaced
  const bool stopAcquisition = followsAcquisition_ && !model_.idle();
  followsAcquisition_ = false;
  player_->Stop();
  player_.reset();
  QString text = Text(PresentBoard().StatusMessage(status));
  if (status != kOutputUnderrunError) text += QStringLiteral(" Les sorties sont à 0 V.");
  if (stopAcquisition) text += QStringLiteral(" L'acquisition est arrêtée.");
  ShowStatus(text);
  if (stopAcquisition) emit acquisitionStopWanted();
}

void GeneratorWindow::closeEvent(QCloseEvent* event) {
  StopOutput();
  emit closed();
  QWidget::closeEvent(event);
}

}  // namespace tavril
