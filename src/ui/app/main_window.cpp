#include "ui/app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPalette>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "display/graph_scale.h"
#include "display/graph_zoom.h"
#include "display/shown_recording.h"
#include "files/channel_file.h"
#include "files/matlab_export.h"
#include "model/channel_record.h"
#include "model/messages.h"
#include "session/session_file.h"
#include "text/iso_time.h"
#include "ui/acquisition/acquisition_controller.h"
#include "ui/acquisition/continuous_window.h"
#include "ui/acquisition/generator_window.h"
#include "ui/app/about_dialog.h"
#include "ui/app/command_ids.h"
#include "ui/app/help_launcher.h"
#include "ui/app/main_menu.h"
#include "ui/common/app_icon.h"
#include "ui/common/owner_modal.h"
#include "ui/display/display_panel.h"
#include "ui/display/graph_widget.h"
#include "ui/display/info_strip_widget.h"
#include "ui/processing/measurements_window.h"
#include "ui/processing/spectrum_panel.h"

namespace tavril {
namespace {

constexpr const char* kErrorCaption = messages::kErreurBang;

// What a command changes that a run may be using: the records it fills or
// the board it reads. The commands that change either wait for the run.
RunNeed WhatItChanges(int commandId) {
  switch (commandId) {
    case kCmdOpen:
    case kCmdImport:
    case kCmdOpenSession:
    case kCmdReset:
    case kCmdMathOperations:
    case kCmdExtract:
    // The run's records would take the graph back at its next picture.
    case kCmdOpenRecording:
      return RunNeed::kRecords;
    case kCmdConfiguration:
      return RunNeed::kBoard;
    default:
      return RunNeed::kNothing;
  }
}

bool& GraphOptionOf(GraphOptions& options, int commandId) {
  switch (commandId) {
    case kCmdGrid:
      return options.grid;
    case kCmdColours:
      return options.colours;
    default:
      return options.axes;
  }
}

const FileDialogRequest& DataFileRequest(bool forSaving) {
  static const std::vector<FileFilter> filters = {
      {"Fichiers TAVRIL (*.tvr)", "*.tvr"},
      {"Tous les fichiers (*.*)", "*.*"},
  };
  static const FileDialogRequest open{"Ouverture de fichier", filters, "TVR"};
  static const FileDialogRequest save{"Sauvegarder le fichier sous...", filters, "TVR"};
  return forSaving ? save : open;
}

const FileDialogRequest& MatlabFileRequest() {
  static const FileDialogRequest request{"Sauvegarder le fichier sous...",
                                         {
                                             {"Fichiers MathLab (*.M)", "*.M"},
                                             {"Tous les fichiers (*.*)", "*.*"},
                                         },
                                         "M"};
  return request;
}

// The viewer browse lists, by their exact names, the programs of a Linux
// system that show HTML pages; then every file the user may run; then every
// file. It opens at the root folder.
const FileDialogRequest& ViewerProgramRequest() {
  static const FileDialogRequest request{
      "Configuration du logiciel pour lire les HTML",
      {
          {"Navigateurs web (firefox firefox-esr chromium chromium-browser google-chrome "
           "epiphany-browser konqueror xdg-open)",
           "firefox firefox-esr chromium chromium-browser google-chrome epiphany-browser "
           "konqueror xdg-open"},
          {"Tous les exécutables", "", true},
          {"Tous les fichiers (*.*)", "*.*"},
      },
      "",
      "/"};
  return request;
}

}  // namespace

std::string MainWindow::TitleWithFile(const std::string& fileTitle) {
  return std::string(kAppName) + " - " + fileTitle;
}

std::filesystem::path MainWindow::ChosenPath(const FileDialogState& memory) {
  return std::filesystem::path(memory.filePath);
}

MainWindow::MainWindow(SessionModel& model, WindowMemory& memory, Boards& boards,
                       UserInteraction& ui, FileDialogs& fileDialogs, QWidget* parent)
    : QMainWindow(parent),
      model_(model),
      session_(model.session()),
      view_(model.view()),
      memory_(memory),
      boards_(boards),
      ui_(ui),
      fileDialogs_(fileDialogs) {
  setWindowIcon(TavrilIcon());
  setWindowTitle(QString::fromUtf8(kAppName));

  commands_ = BuildMainMenu(*menuBar());
  for (const auto& [commandId, action] : commands_) {
    connect(action, &QAction::triggered, this, [this, id = commandId] { RunCommand(id); });
  }

  // The client area is laid out by hand (RequestRefresh): the strip keeps 70
  // pixels at the bottom whatever the size, the graph takes the rest.
  client_ = new QWidget(this);
  client_->setAutoFillBackground(true);
  QPalette background = client_->palette();
  background.setColor(QPalette::Window, QColor(128, 128, 128));
  client_->setPalette(background);
  setCentralWidget(client_);

  // The graph's one-pixel black border: the graph lies on this black frame,
  // one pixel in from each edge.
  graphFrame_ = new QWidget(client_);
  graphFrame_->setAutoFillBackground(true);
  QPalette black = graphFrame_->palette();
  black.setColor(QPalette::Window, Qt::black);
  graphFrame_->setPalette(black);
  graph_ = new GraphWidget(session_, view_, graphFrame_);
  strip_ = new InfoStripWidget(session_, view_, client_);
  connect(graph_, &GraphWidget::CursorsOrScrollMoved, strip_, [this] {
    strip_->update();
    if (measurementsWindow_) measurementsWindow_->ScheduleUpdate();
    if (spectrumPanel_) spectrumPanel_->FollowView();
  });
  connect(graph_, &GraphWidget::ScaleZoomed, &model_, &SessionModel::TellScaleChanged);
  ShowGraphOptionMarks();
  client_->installEventFilter(this);

  // Connected before any panel exists, so the main window always lays out
  // and refits before the panels show the new values.
  connect(&model_, &SessionModel::recordsChanged, this, &MainWindow::RequestRefresh);
  connect(&model_, &SessionModel::masterChannelChanged, this, &MainWindow::RequestRefresh);
  connect(&model_, &SessionModel::scaleChanged, this, &MainWindow::RequestRefresh);
  connect(&model_, &SessionModel::configurationChanged, this, &MainWindow::RequestRefresh);
  connect(&model_, &SessionModel::scaleStepped, this, &MainWindow::RepaintGraph);
  connect(&model_, &SessionModel::shownRecordingChanged, this, &MainWindow::FollowShownRecording);
  connect(&model_, &SessionModel::acquisitionStateChanged, this, &MainWindow::ShowRecordingMarks);

  acquisition_ = new AcquisitionController(model_, boards_, ui_, this);
  ShowRecordingMarks();

  resize(900, 600);
  RequestRefresh();
}

MainWindow::~MainWindow() {
  // Ended while this window still hears the acquisition state it gives back.
  if (frequencyResponseWindow_) frequencyResponseWindow_->StopAndWait();
  ReleaseAllSamples(session_.channels);
  session_.spare.Release();
}

QAction* MainWindow::CommandAction(int commandId) const {
  const auto found = commands_.find(commandId);
  return found == commands_.end() ? nullptr : found->second;
}

void MainWindow::RunCommand(int commandId) {
  if (const std::string why =
          WhyItWaitsForTheRun(model_.acquisitionState(), WhatItChanges(commandId));
      !why.empty()) {
    Tell(why, messages::kAttention, MessageIcon::kExclamation);
    return;
  }
  if (commandId >= kCmdChannel0 && commandId < kCmdChannel0 + kChannelCount) {
    ToggleChannel(commandId - kCmdChannel0);
    return;
  }
  switch (commandId) {
    case kCmdOpen:
      Open();
      break;
    case kCmdOpenRecording:
      OpenRecording();
      break;
    case kCmdCloseRecording:
      CloseRecording();
      break;
    case kCmdExtract:
      Extract();
      break;
    case kCmdLookBack:
      ToggleLookBack();
      break;
    case kCmdSave:
      Save();
      break;
    case kCmdExportMatlab:
      ExportMatlab();
      break;
    case kCmdQuit:
      close();
      break;
    case kCmdAcquisitionPanel:
      ToggleAcquisitionPanel();
      break;
    case kCmdContinuous:
      ToggleContinuousWindow();
      break;
    case kCmdDisplayPanel:
      ToggleDisplayPanel();
      break;
    case kCmdMathOperations:
      RunMathOperationsDialog();
      break;
    case kCmdReset:
      Reset();
      break;
    case kCmdConfiguration:
      RunConfigurationDialog();
      break;
    case kCmdHelp:
      ShowHelp();
      break;
    case kCmdAbout:
      ShowAbout();
      break;
    case kCmdAxes:
    case kCmdGrid:
    case kCmdColours:
      ToggleGraphOption(commandId);
      break;
    case kCmdZoomBack:
    case kCmdZoomFit:
      ZoomBackOrFit(commandId);
      break;
    case kCmdMeasurements:
      ToggleMeasurementsWindow();
      break;
    case kCmdSpectrum:
      ToggleSpectrumWindow();
      break;
    case kCmdGenerator:
      ToggleGeneratorWindow();
      break;
    case kCmdFrequencyResponse:
      ToggleFrequencyResponseWindow();
      break;
    default:
      // Servo control and search have no action.
      RunFileCommand(commandId);
      break;
  }
}

void MainWindow::RequestRefresh() {
  if (client_ == nullptr || graph_ == nullptr || strip_ == nullptr) return;
  const int width = client_->width();
  const int height = client_->height();
  const int graphHeight = std::max(0, height - kStripHeight);
  graphFrame_->setGeometry(0, 0, width, graphHeight);
  graph_->setGeometry(1, 1, std::max(0, width - 2), std::max(0, graphHeight - 2));
  strip_->setGeometry(0, height - kStripHeight, width, kStripHeight);
  if (view_.scale.autoScale && view_.rollWindow) {
    ComputeRollScale(view_.scale, session_.Master(), graph_->DrawingArea(), *view_.rollWindow);
  } else if (view_.scale.autoScale && view_.recording) {
    FitShownScale(view_.scale, view_, session_, graph_->DrawingArea());
  } else if (view_.scale.autoScale) {
    ComputeAutoScale(view_.scale, session_.Master(), graph_->DrawingArea());
  }
  RepaintGraph();
  model_.TellViewRefreshed();
}

void MainWindow::RepaintGraph() {
  graph_->RefreshCurves();
  strip_->update();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == client_ && event->type() == QEvent::Resize) RequestRefresh();
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && event->modifiers() == Qt::NoModifier) {
    RunCommand(kCmdHelp);
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (quitSignal_ != 0) {
    event->accept();
    return;
  }
  std::string question = messages::kQuitQuestion;
  if (acquisition_->recording()) {
    question = "Un enregistrement continu est en cours dans « " + acquisition_->recordPath() +
               " ». Il s'arrête en quittant : le fichier garde tous les échantillons jusqu'à "
               "l'arrêt.\n\n" +
               question;
  }
  if (Tell(question, messages::kAttention, MessageIcon::kQuestion, MessageButtons::kOkCancel) ==
      MessageAnswer::kCancel) {
    event->ignore();
    return;
  }
  EndRunsBeforeQuitting();
  event->accept();
}

void MainWindow::EndRunsBeforeQuitting() {
  // The recording is closed whole before the program goes.
  acquisition_->Stop();
  StopOutputs();
  quitRequested_ = true;
}

MessageAnswer MainWindow::Tell(const std::string& text, const char* caption, MessageIcon icon,
                               MessageButtons buttons) {
  return ui_.ShowMessage({text, caption, icon, buttons});
}

void MainWindow::SetAppTitle(const std::string& title) {
  setWindowTitle(QString::fromUtf8(title));
}

bool MainWindow::ChooseFile(bool forSaving, const FileDialogRequest& request,
                            FileDialogState& memory) {
  const FileDialogResult result = forSaving ? fileDialogs_.ChooseFileToSave(request, memory)
                                            : fileDialogs_.ChooseFileToOpen(request, memory);
  if (result.outcome == FileDialogOutcome::kFailed) {
    Tell(messages::FileDialogError(result.errorCode), kErrorCaption, MessageIcon::kError);
  }
  return result.outcome == FileDialogOutcome::kChosen;
}

void MainWindow::Open() {
  if (HoldsSamples(session_.Master()) &&
      Tell(messages::LoadOverMasterQuestion(session_.masterChannel), messages::kAttentionLoud,
           MessageIcon::kExclamation, MessageButtons::kOkCancel) == MessageAnswer::kCancel) {
    return;
  }
  FileDialogState& files = memory_.dataFiles;
  if (!ChooseFile(false, DataFileRequest(false), files)) return;
  OpenDataFile(ChosenPath(files), files.fileTitle);
}

void MainWindow::OpenDataFile(const std::filesystem::path& path, const std::string& fileTitle) {
  // Read through the master record's spare samples, whose memory a record
  // loaded again reuses.
  if (LoadChannelFile(path, session_.Master(), session_.spare.samples[session_.masterChannel]) ==
      0) {
    Tell(messages::OpenError(fileTitle), kErrorCaption, MessageIcon::kError);
    return;
  }
  SetAppTitle(TitleWithFile(fileTitle));
  model_.TellRecordsChanged();
}

// A user who keeps an existing file is asked for another name, until a file
// is written, a write fails or the dialog is cancelled.
bool MainWindow::SaveUntilWritten(const FileDialogRequest& request,
                                  SaveOutcome (*write)(UserInteraction&,
                                                       const std::filesystem::path&,
                                                       const ChannelRecord&)) {
  FileDialogState& files = memory_.dataFiles;
  for (;;) {
    if (!ChooseFile(true, request, files)) return false;
    switch (write(ui_, ChosenPath(files), session_.Master())) {
      case SaveOutcome::kWritten:
        return true;
      case SaveOutcome::kDeclined:
        continue;
      case SaveOutcome::kFailed:
        Tell(messages::SaveError(files.fileTitle), kErrorCaption, MessageIcon::kError);
        return false;
    }
  }
}

void MainWindow::Save() {
  if (SaveUntilWritten(DataFileRequest(true), &SaveChannelFile)) {
    SetAppTitle(TitleWithFile(memory_.dataFiles.fileTitle));
  }
}

void MainWindow::ExportMatlab() {
  SaveUntilWritten(MatlabFileRequest(), &ExportMatlabFile);
}

void MainWindow::Reset() {
  if (Tell(messages::kResetQuestion, messages::kAttention, MessageIcon::kQuestion,
           MessageButtons::kOkCancel) == MessageAnswer::kCancel) {
    return;
  }
  ResetChannels(session_.channels, session_.boardConfig.device);
  session_.spare.Release();
  SetAppTitle(kAppName);
  model_.TellRecordsChanged();
}

void MainWindow::ToggleChannel(int channel) {
  bool& shown = view_.channelShown[channel];
  shown = !shown;
  if (QAction* item = CommandAction(kCmdChannel0 + channel)) item->setChecked(shown);
  RequestRefresh();
}

void MainWindow::ShowHelp() {
  const QString startDirectory =
      QFile::decodeName(QByteArray::fromStdString(startDirectory_.string()));
  const QString page =
      HelpPagePath(startDirectory, InstalledHelpDirectory(QCoreApplication::applicationDirPath()));
  const QString viewer =
      QFile::decodeName(QByteArray::fromStdString(session_.boardConfig.htmlViewer));
  const QString error = StartHelpViewer(viewer, page, startDirectory);
  if (error.isEmpty()) return;
  Tell(messages::HelpViewerError(error.toStdString()), kErrorCaption, MessageIcon::kError);
  // The user can choose another viewer there, once no run reads the board.
  RunCommand(kCmdConfiguration);
}

void MainWindow::ShowAbout() {
  AboutDialog about(this);
  RunOwnerModal(about);
}

void MainWindow::CreatePanels() {
  if (!displayPanel_) ToggleDisplayPanel();
  if (!acquisitionPanel_) ToggleAcquisitionPanel();
}

void MainWindow::ToggleAcquisitionPanel() {
  if (acquisitionPanel_) {
    acquisitionPanel_->close();
    return;
  }
  acquisitionPanel_ = new AcquisitionPanel(model_, memory_.acquisition, *acquisition_, this);
  CommandAction(kCmdAcquisitionPanel)->setChecked(true);
  connect(acquisitionPanel_, &AcquisitionPanel::closed, this,
          [this] { CommandAction(kCmdAcquisitionPanel)->setChecked(false); });
  // A tool window beside the main window's right edge.
  acquisitionPanel_->move(frameGeometry().topRight() + QPoint(8, 0));
  acquisitionPanel_->show();
}

void MainWindow::ToggleContinuousWindow() {
  if (continuousWindow_) {
    continuousWindow_->close();
    return;
  }
  continuousWindow_ = new ContinuousWindow(memory_.continuous, *acquisition_, this);
  CommandAction(kCmdContinuous)->setChecked(true);
  // The channels and rates are the acquisition panel's: it opens for a start.
  connect(continuousWindow_, &ContinuousWindow::startStopClicked, this, [this] {
    if (model_.idle() && !acquisitionPanel_) ToggleAcquisitionPanel();
  });
  connect(continuousWindow_, &ContinuousWindow::startStopClicked, acquisition_,
          &AcquisitionController::StartOrStopContinuous);
  connect(continuousWindow_, &ContinuousWindow::browseClicked, this,
          &MainWindow::ChooseRecordingFile);
  connect(continuousWindow_, &ContinuousWindow::closed, this,
          [this] { CommandAction(kCmdContinuous)->setChecked(false); });
  continuousWindow_->move(frameGeometry().bottomRight() + QPoint(8, -continuousWindow_->height()));
}

void MainWindow::ChooseRecordingFile() {
  static const FileDialogRequest request{
      "Enregistrer l'acquisition continue",
      {{"Fichiers HDF5 (*.h5)", "*.h5"}, {"Tous les fichiers (*.*)", "*.*"}},
      "h5"};
  if (!ChooseFile(true, request, memory_.recordingFiles) || !continuousWindow_) return;
  continuousWindow_->SetRecordPath(memory_.recordingFiles.filePath);
}

void MainWindow::ToggleDisplayPanel() {
  if (displayPanel_) {
    displayPanel_->close();
    return;
  }
  displayPanel_ = new DisplayPanel(
      model_, ui_, [this] { return graph_->DrawingArea(); }, this);
  CommandAction(kCmdDisplayPanel)->setChecked(true);
  connect(displayPanel_, &DisplayPanel::closed, this,
          [this] { CommandAction(kCmdDisplayPanel)->setChecked(false); });
}

void MainWindow::ShowGraphOptionMarks() {
  for (const int commandId : {kCmdAxes, kCmdGrid, kCmdColours}) {
    if (QAction* item = CommandAction(commandId)) {
      item->setChecked(GraphOptionOf(view_.options, commandId));
    }
  }
}

void MainWindow::ToggleGraphOption(int commandId) {
  bool& option = GraphOptionOf(view_.options, commandId);
  option = !option;
  ShowGraphOptionMarks();
  if (memory_.keepGraphOptions) memory_.keepGraphOptions(view_.options);
  RepaintGraph();
}

void MainWindow::ZoomBackOrFit(int commandId) {
  const bool changed = commandId == kCmdZoomBack
                           ? ZoomBack(view_)
                           : FitAllShown(view_, session_, graph_->DrawingArea());
  if (changed) model_.TellScaleChanged();
}

void MainWindow::ToggleMeasurementsWindow() {
  if (measurementsWindow_) {
    measurementsWindow_->close();
    return;
  }
  measurementsWindow_ = new MeasurementsWindow(model_, this);
  CommandAction(kCmdMeasurements)->setChecked(true);
  connect(measurementsWindow_, &MeasurementsWindow::closed, this,
          [this] { CommandAction(kCmdMeasurements)->setChecked(false); });
}

void MainWindow::ToggleSpectrumWindow() {
  if (spectrumPanel_) {
    spectrumPanel_->close();
    return;
  }
  spectrumPanel_ = new SpectrumPanel(model_, this, [this] { return graph_->DrawingArea(); });
  CommandAction(kCmdSpectrum)->setChecked(true);
  connect(spectrumPanel_, &SpectrumPanel::closed, this,
          [this] { CommandAction(kCmdSpectrum)->setChecked(false); });
}

void MainWindow::ToggleGeneratorWindow() {
  if (generatorWindow_) {
    generatorWindow_->close();
    return;
  }
  static const FileDialogRequest request{
      "Source de la forme arbitraire",
      {
          {"Fichiers de canaux (*.tvr *.csv *.mat *.h5)", "*.tvr *.csv *.mat *.h5 *.hdf5"},
          {"Tous les fichiers (*.*)", "*.*"},
      },
      ""};
  const auto chooseFile = [this]() -> std::optional<std::string> {
    if (!ChooseFile(false, request, memory_.generatorFiles)) return std::nullopt;
    return memory_.generatorFiles.filePath;
  };
  generatorWindow_ = new GeneratorWindow(model_, memory_.generator, boards_, ui_, chooseFile, this);
  CommandAction(kCmdGenerator)->setChecked(true);
  // The acquisition starts as the acquisition panel's button starts it.
  connect(generatorWindow_, &GeneratorWindow::acquisitionWanted, this, [this] {
    if (!acquisitionPanel_) ToggleAcquisitionPanel();
    acquisitionPanel_->Acquire();
  });
  connect(generatorWindow_, &GeneratorWindow::acquisitionStopWanted, acquisition_,
          &AcquisitionController::Stop);
  connect(generatorWindow_, &GeneratorWindow::closed, this,
          [this] { CommandAction(kCmdGenerator)->setChecked(false); });
}

void MainWindow::ToggleFrequencyResponseWindow() {
  if (frequencyResponseWindow_) {
    frequencyResponseWindow_->close();
    return;
  }
  const auto generatorPlaying = [this] { return generatorWindow_ && generatorWindow_->Playing(); };
  frequencyResponseWindow_ = new FrequencyResponseWindow(model_, memory_.frequencyResponse, boards_,
                                                         ui_, fileDialogs_, generatorPlaying, this);
  CommandAction(kCmdFrequencyResponse)->setChecked(true);
  connect(frequencyResponseWindow_, &FrequencyResponseWindow::closed, this,
          [this] { CommandAction(kCmdFrequencyResponse)->setChecked(false); });
}

void MainWindow::StopOutputs() {
  if (frequencyResponseWindow_) frequencyResponseWindow_->StopAndWait();
  if (generatorWindow_) generatorWindow_->StopOutput();
  boards_.For(session_.boardConfig.device).ZeroOutputs();
}

void MainWindow::QuitOnSignal(int signalNumber) {
  if (quitSignal_ != 0) return;
  quitSignal_ = signalNumber;
  std::fprintf(stderr, "%s : signal %d reçu, le programme se termine.\n", kAppName, signalNumber);
  QCoreApplication::exit(0);
  // What closing the window does, called here: a dialog running under
  // RunOwnerModal swallows the main window's close events.
  EndRunsBeforeQuitting();
  SaveRecordsOnSignal();
  close();
}

void MainWindow::SaveRecordsOnSignal() {
  const bool holdsSamples = std::any_of(session_.channels.begin(), session_.channels.end(),
                                        [](const ChannelRecord& r) { return HoldsSamples(r); });
  if (!holdsSamples) return;
  std::string stamp = FormatIsoUtc(std::chrono::system_clock::now());
  for (char& c : stamp) {
    if (c == ':') c = '-';
  }
  const std::filesystem::path path = startDirectory_ / ("TAVRIL-interrompu-" + stamp + ".h5");
  std::string why;
  if (WriteSessionFile(session_, RecordsViewOf(view_), path, &why)) {
    std::fprintf(stderr, "%s : les voies sont sauvegardées dans la session %s\n", kAppName,
                 path.string().c_str());
  } else {
    std::fprintf(stderr, "%s : les voies n'ont pas pu être sauvegardées dans %s : %s\n", kAppName,
                 path.string().c_str(), why.c_str());
  }
}

void MainWindow::RunConfigurationDialog() {
  // The viewer browse remembers nothing: the data files' folder, name and
  // filter stay for Open and Save.
  const auto browseViewer = [this](const std::string&) -> std::optional<std::string> {
    FileDialogState memory;
    if (!ChooseFile(false, ViewerProgramRequest(), memory)) return std::nullopt;
    return memory.filePath;
  };
  const auto describeDevice = [this](std::int16_t device) { return boards_.Describe(device); };
  ConfigDialog dialog(model_, memory_.configuration, boards_, ui_, startDirectory_.string(),
                      describeDevice, browseViewer, this);
  RunOwnerModal(dialog);
}

void MainWindow::RunMathOperationsDialog() {
  MathDialog dialog(model_, memory_.math, ui_, this);
  RunOwnerModal(dialog);
}

}  // namespace tavril
