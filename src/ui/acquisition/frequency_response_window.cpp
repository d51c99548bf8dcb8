#include "ui/acquisition/frequency_response_window.h"

#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>

#include <algorithm>
#include <filesystem>

#include "acquisition/frequency_response_text.h"
#include "files/channel_formats.h"
#include "files/file_writer.h"
#include "files/save_prompt.h"
#include "model/messages.h"
#include "text/system_error_text.h"
#include "ui/acquisition/frequency_response_plot.h"

namespace tavril {
namespace {

constexpr const char* kCaption = "Réponse en fréquence";

// The text fields, in the window's order: object name, label, member.
struct FieldRow {
  const char* name;
  const char* label;
  std::string SweepFields::*text;
};
constexpr FieldRow kFieldRows[] = {
    {"outputs", "Sorties", &SweepFields::outputs},
    {"stimulus", "Entrée de stimulation", &SweepFields::stimulus},
    {"response", "Entrée de réponse", &SweepFields::response},
    {"fromHz", "De (Hz)", &SweepFields::fromHz},
    {"toHz", "À (Hz)", &SweepFields::toHz},
    {"points", "Points", &SweepFields::points},
    {"amplitude", "Amplitude (V crête)", &SweepFields::amplitude},
    {"settling", "Périodes d'attente", &SweepFields::settlingPeriods},
    {"measuring", "Périodes mesurées", &SweepFields::measuringPeriods},
};

QString Text(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Puts `bytes` at `path` whole, or leaves it as it was and says why.
bool WriteWhole(const std::filesystem::path& path, const std::string& bytes, std::string* why) {
  AtomicFileWriter writer;
  if (writer.Open(path)) {
    writer.Append(bytes);
    if (writer.Commit()) return true;
  }
  *why = "Le fichier « " + path.filename().string() +
         " » n'a pas pu être écrit : " + SystemErrorText(writer.Error()) + ".";
  return false;
}

const FileDialogRequest& CsvRequest() {
  static const FileDialogRequest request{
      "Exporter la réponse en fréquence",
      {{"Fichiers CSV (*.csv)", "*.csv"}, {"Tous les fichiers (*.*)", "*.*"}},
      "csv"};
  return request;
}

// The filter chooses the format of a name typed without an image extension.
const FileDialogRequest& ImageRequest() {
  static const FileDialogRequest request{
      "Exporter l'image de la réponse en fréquence",
      {{"Images PNG (*.png)", "*.png"}, {"Images SVG (*.svg)", "*.svg"}},
      ""};
  return request;
}

}  // namespace

FrequencyResponseWindow::FrequencyResponseWindow(SessionModel& model,
                                                 FrequencyResponseChoices& choices, Boards& boards,
                                                 UserInteraction& ui, FileDialogs& fileDialogs,
                                                 std::function<bool()> outputsPlaying,
                                                 QWidget* owner)
    : QWidget(owner,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      model_(model),
      choices_(choices),
      boards_(boards),
      ui_(ui),
      fileDialogs_(fileDialogs),
      outputsPlaying_(std::move(outputsPlaying)) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromUtf8(kCaption));

  auto* form = new QFormLayout;
  for (const FieldRow& row : kFieldRows) {
    auto* edit = new QLineEdit(Text(choices_.fields.*row.text), this);
    edit->setObjectName(QString::fromUtf8(row.name));
    edit->setMaximumWidth(110);
    edits_.push_back(edit);
    if (row.text == &SweepFields::points) {
      pointsMode_ = new QComboBox(this);
      pointsMode_->setObjectName(QStringLiteral("pointsMode"));
      pointsMode_->addItems({QStringLiteral("en tout"), QStringLiteral("par décade")});
      pointsMode_->setCurrentIndex(choices_.fields.pointsPerDecade ? 1 : 0);
      auto* line = new QHBoxLayout;
      line->addWidget(edit);
      line->addWidget(pointsMode_);
      form->addRow(QString::fromUtf8(row.label), line);
    } else {
      form->addRow(QString::fromUtf8(row.label), edit);
    }
  }
  spacing_ = new QComboBox(this);
  spacing_->setObjectName(QStringLiteral("spacing"));
  spacing_->addItems({QStringLiteral("Logarithmique"), QStringLiteral("Linéaire")});
  spacing_->setCurrentIndex(choices_.fields.linear ? 1 : 0);
  form->insertRow(6, QStringLiteral("Répartition"), spacing_);

  start_ = new QPushButton(QStringLiteral("Démarrer"), this);
  stop_ = new QPushButton(QStringLiteral("Arrêter"), this);
  auto* exportCsv = new QPushButton(QStringLiteral("Exporter en CSV ..."), this);
  auto* exportImage = new QPushButton(QStringLiteral("Exporter l'image ..."), this);
  start_->setObjectName(QStringLiteral("start"));
  stop_->setObjectName(QStringLiteral("stop"));
  exportCsv->setObjectName(QStringLiteral("exportCsv"));
  exportImage->setObjectName(QStringLiteral("exportImage"));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(start_);
  buttons->addWidget(stop_);
  auto* settings = new QVBoxLayout;
  settings->addLayout(form);
  settings->addLayout(buttons);
  settings->addWidget(exportCsv);
  settings->addWidget(exportImage);
  settings->addStretch();

  plot_ = new FrequencyResponsePlot(this);
  plot_->SetSpan(choices_.fromHz, choices_.toHz);
  plot_->SetPoints(choices_.points);
  markerText_ = new QLabel(this);
  markerText_->setObjectName(QStringLiteral("marker"));
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  status_->setWordWrap(true);
  auto* shown = new QVBoxLayout;
  shown->addWidget(plot_, 1);
  shown->addWidget(markerText_);

  auto* top = new QHBoxLayout;
  top->addLayout(settings);
  top->addLayout(shown, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(status_);

  connect(start_, &QPushButton::clicked, this, &FrequencyResponseWindow::Start);
  connect(stop_, &QPushButton::clicked, this, &FrequencyResponseWindow::Stop);
  connect(exportCsv, &QPushButton::clicked, this, &FrequencyResponseWindow::ExportCsv);
  connect(exportImage, &QPushButton::clicked, this, &FrequencyResponseWindow::ExportImage);
  connect(plot_, &FrequencyResponsePlot::markerMoved, this, &FrequencyResponseWindow::ShowMarker);
  connect(&model_, &SessionModel::acquisitionStateChanged, this,
          &FrequencyResponseWindow::ShowRunning);
  ShowRunning();
  ShowMarker();
  resize(900, 520);
  show();
}

FrequencyResponseWindow::~FrequencyResponseWindow() {
  // The sweep's thread must not outlive the window it reports to.
  StopAndWait();
}

SweepFields FrequencyResponseWindow::ReadFields() const {
  SweepFields fields;
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    fields.*kFieldRows[i].text = edits_[i]->text().toStdString();
  }
  fields.pointsPerDecade = pointsMode_->currentIndex() == 1;
  fields.linear = spacing_->currentIndex() == 1;
  return fields;
}

void FrequencyResponseWindow::Tell(const std::string& text, MessageIcon icon) {
  ui_.ShowMessage({text, kCaption, icon, MessageButtons::kOk});
}

void FrequencyResponseWindow::Refuse(const std::string& why) {
  status_->setText(Text(why));
  Tell(why, MessageIcon::kError);
}

QString FrequencyResponseWindow::StatusText() const {
  return status_->text();
}

QString FrequencyResponseWindow::MarkerText() const {
  return markerText_->text();
}

void FrequencyResponseWindow::Start() {
  if (sweeping_) return;
  choices_.fields = ReadFields();
  SweepSettings settings;
  if (const std::string why = ReadSweepFields(choices_.fields, settings); !why.empty()) {
    Refuse(why);
    return;
  }
  if (!model_.idle()) {
    Refuse(
        "Une acquisition est en cours : la réponse en fréquence se mesure quand la carte est "
        "libre.");
    return;
  }
  if (outputsPlaying_ && outputsPlaying_()) {
    Refuse(
        "Le Générateur joue sur les sorties : arrêtez-le avant de mesurer la réponse en "
        "fréquence.");
    return;
  }
  Board& board = boards_.For(model_.session().boardConfig.device);
  if (const std::string why = SweepRefusal(board, settings); !why.empty()) {
    Refuse(why);
    return;
  }
  count_ = SweepFrequencies(settings).size();
  choices_.fromHz = settings.fromHz;
  choices_.toHz = settings.toHz;
  choices_.points.clear();
  plot_->SetSpan(settings.fromHz, settings.toHz);
  plot_->SetPoints({});
  status_->setText(QStringLiteral("Point 0 / %1 : la mesure commence.").arg(count_));
  sweeping_ = true;
  const std::uint64_t run = ++run_;
  model_.SetAcquisitionState(AcquisitionState::kFrequencySweep);
  // Each report is queued to this window, on the GUI thread.
  worker_ = std::jthread([this, &board, settings, run](std::stop_token stop) {
    const SweepResult result = RunFrequencySweep(
        board, settings, stop,
        [this, run](const FrequencyPoint& point, std::size_t done, std::size_t count) {
          QMetaObject::invokeMethod(
              this, [this, run, point, done, count] { OnPoint(run, point, done, count); },
              Qt::QueuedConnection);
        });
    QMetaObject::invokeMethod(
        this, [this, run, result] { OnEnd(run, result); }, Qt::QueuedConnection);
  });
  ShowRunning();
}

void FrequencyResponseWindow::Stop() {
  if (sweeping_) worker_.request_stop();
}

void FrequencyResponseWindow::StopAndWait() {
  if (!sweeping_) return;
  worker_.request_stop();
  EndSweep();
  status_->setText(QStringLiteral("Arrêté : %1 points sur %2 mesurés. Les sorties sont à 0 V.")
                       .arg(choices_.points.size())
                       .arg(count_));
}

void FrequencyResponseWindow::EndSweep() {
  if (worker_.joinable()) worker_.join();
  sweeping_ = false;
  ++run_;  // what the ended thread still has queued is not awaited
  model_.SetAcquisitionState(AcquisitionState::kIdle);
  ShowRunning();
}

void FrequencyResponseWindow::OnPoint(std::uint64_t run, const FrequencyPoint& point,
                                      std::size_t done, std::size_t count) {
  if (run != run_) return;
  choices_.points.push_back(point);
  plot_->AddPoint(point);
  status_->setText(QStringLiteral("Point %1 / %2 : %3")
                       .arg(done)
                       .arg(count)
                       .arg(Text(FrequencyPointText(point))));
}

void FrequencyResponseWindow::OnEnd(std::uint64_t run, const SweepResult& result) {
  if (run != run_) return;
  EndSweep();
  switch (result.end) {
    case SweepEnd::kFinished:
      status_->setText(QStringLiteral("Terminé : %1 points mesurés. Les sorties sont à 0 V.")
                           .arg(result.points.size()));
      break;
    case SweepEnd::kCancelled:
      status_->setText(QStringLiteral("Arrêté : %1 points sur %2 mesurés. Les sorties sont à 0 V.")
                           .arg(result.points.size())
                           .arg(count_));
      break;
    case SweepEnd::kRefused:
      Refuse(result.message);
      break;
    case SweepEnd::kFailed:
      Refuse(result.message + " Les sorties sont à 0 V.");
      break;
  }
}

void FrequencyResponseWindow::ShowRunning() {
  const bool free = model_.idle();
  start_->setEnabled(free && !sweeping_);
  stop_->setEnabled(sweeping_);
  for (QLineEdit* edit : edits_) edit->setEnabled(!sweeping_);
  pointsMode_->setEnabled(!sweeping_);
  spacing_->setEnabled(!sweeping_);
}

void FrequencyResponseWindow::ShowMarker() {
  const std::optional<std::size_t> marker = plot_->marker();
  markerText_->setText(
      marker ? QStringLiteral("Marqueur : ") + Text(FrequencyPointText(plot_->points()[*marker]))
             : QStringLiteral("Marqueur : cliquez sur la courbe pour lire un point."));
}

void FrequencyResponseWindow::SaveBytes(
    const FileDialogRequest& request, FileDialogState& memory,
    const std::function<std::string(FileDialogState&)>& contentFor) {
  for (;;) {
    const FileDialogResult chosen = fileDialogs_.ChooseFileToSave(request, memory);
    if (chosen.outcome == FileDialogOutcome::kFailed) {
      Tell(messages::FileDialogError(chosen.errorCode), MessageIcon::kError);
    }
    if (chosen.outcome != FileDialogOutcome::kChosen) return;
    const std::string content = contentFor(memory);
    std::string why;
    if (content.empty()) {
      Tell("L'image n'a pas pu être produite (mémoire insuffisante).", MessageIcon::kError);
      return;
    }
    const auto write = [&content](const std::filesystem::path& path, std::string* reason) {
      return WriteWhole(path, content, reason);
    };
    switch (SaveWithOverwritePrompt(ui_, PathOf(memory.filePath), kCaption, write, &why)) {
      case SaveOutcome::kWritten:
        status_->setText(QStringLiteral("Exporté dans « %1 ».").arg(Text(memory.fileTitle)));
        return;
      case SaveOutcome::kDeclined:
        continue;
      case SaveOutcome::kFailed:
        Tell(messages::WithReason(messages::SaveError(memory.fileTitle), why), MessageIcon::kError);
        return;
    }
  }
}

void FrequencyResponseWindow::ExportCsv() {
  if (plot_->points().empty()) {
    Tell("Aucun point n'est mesuré : il n'y a rien à exporter.", MessageIcon::kError);
    return;
  }
  SaveBytes(CsvRequest(), choices_.csvFiles,
            [this](FileDialogState&) { return FrequencyResponseCsv(plot_->points()); });
}

void FrequencyResponseWindow::ExportImage() {
  SaveBytes(ImageRequest(), choices_.imageFiles, [this](FileDialogState& files) {
    std::string extension = LowerExtension(files.filePath);
    if (extension != ".png" && extension != ".svg") {
      extension = files.filterIndex == 2 ? ".svg" : ".png";
      files.filePath += extension;
      files.fileTitle += extension;
    }
    const QByteArray bytes =
        plot_->Encode(extension == ".svg" ? PlotImageFormat::kSvg : PlotImageFormat::kPng);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  });
}

void FrequencyResponseWindow::closeEvent(QCloseEvent* event) {
  StopAndWait();
  emit closed();
  QWidget::closeEvent(event);
}

}  // namespace tavril
