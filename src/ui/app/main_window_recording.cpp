// The main window's commands on recordings: opening one in the graph,
// closing it, extracting the cursors' stretch into the records, and opening
// any of the program's files named on the command line.
#include <QTimer>

#include <algorithm>
#include <memory>

#include "display/graph_zoom.h"
#include "display/recording_extract.h"
#include "display/shown_recording.h"
#include "files/hdf5_layout.h"
#include "files/isolated_check.h"
#include "model/messages.h"
#include "ui/acquisition/acquisition_controller.h"
#include "ui/app/command_ids.h"
#include "ui/app/main_window.h"
#include "ui/display/graph_widget.h"

namespace tavril {

namespace {

constexpr const char* kErrorCaption = messages::kErreurBang;
constexpr const char* kRecordingCaption = "Enregistrement";

const FileDialogRequest& RecordingRequest() {
  static const FileDialogRequest request{
      "Ouvrir un enregistrement",
      {{"Enregistrements HDF5 (*.h5)", "*.h5 *.hdf5"}, {"Tous les fichiers (*.*)", "*.*"}},
      "h5"};
  return request;
}

std::string LowerExtensionOf(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// The format an HDF5 file of the program says it is in, once the helper
// program has found its structure sound; empty, with `why`, otherwise.
std::string FormatOfHdf5File(const std::filesystem::path& path, std::string* why) {
  std::string channelsWhy;
  if (!CheckFileAside(FileCheck::kChannelsHdf5, path, &channelsWhy) &&
      !CheckFileAside(FileCheck::kSession, path, nullptr)) {
    if (why != nullptr) *why = channelsWhy;
    return {};
  }
  const Hdf5Use use;
  Hdf5File file;
  std::string format;
  std::string reason;
  if (!hdf5_layout::OpenAnyFile(path, file, format, reason)) {
    if (why != nullptr) *why = reason;
    return {};
  }
  return format;
}

}  // namespace

void MainWindow::OpenRecording() {
  if (!ChooseFile(false, RecordingRequest(), memory_.recordingFiles)) return;
  OpenRecordingAt(ChosenPath(memory_.recordingFiles), memory_.recordingFiles.fileTitle);
}

bool MainWindow::OpenRecordingAt(const std::filesystem::path& path, const std::string& fileTitle) {
  std::string why;
  std::shared_ptr<ShownRecording> recording = ShownRecording::Open(path, &why);
  if (recording == nullptr) {
    Tell(messages::WithReason(messages::OpenError(fileTitle), why), kErrorCaption,
         MessageIcon::kError);
    return false;
  }
  if (recording->FirstSlot() < 0) {
    Tell(messages::WithReason(messages::OpenError(fileTitle), "l'enregistrement n'a aucune voie"),
         kErrorCaption, MessageIcon::kError);
    return false;
  }
  if (!view_.recording) recordsTitle_ = windowTitle().toStdString();
  const int master = recording->Channel(session_.masterChannel) != nullptr ? session_.masterChannel
                                                                           : recording->FirstSlot();
  model_.ShowRecording(std::move(recording));
  FitShownScale(view_.scale, view_, session_, graph_->DrawingArea());
  SetAppTitle(TitleWithFile(fileTitle));
  recordingTitle_ = windowTitle().toStdString();
  ShowRecordingMarks();
  if (master != session_.masterChannel) {
    model_.SetMasterChannel(master);
  } else {
    model_.TellScaleChanged();
  }
  return true;
}

void MainWindow::CloseRecording() {
  // The model's signal brings the records' title and marks back.
  model_.ShowRecords();
}

void MainWindow::FollowShownRecording() {
  ShowRecordingMarks();
  // Records that took the graph back without a title of their own (an
  // acquisition, say) get the records' title back.
  if (!view_.recording && windowTitle().toStdString() == recordingTitle_)
    SetAppTitle(recordsTitle_);
}

void MainWindow::ShowRecordingMarks() {
  const bool shown = view_.recording != nullptr;
  for (const int commandId : {kCmdCloseRecording, kCmdExtract}) {
    if (QAction* item = CommandAction(commandId)) item->setEnabled(shown);
  }
  if (QAction* item = CommandAction(kCmdLookBack)) {
    const bool lookingBack = model_.lookingBack() && shown;
    item->setChecked(lookingBack);
    item->setEnabled(lookingBack || (acquisition_ != nullptr && acquisition_->recording()));
  }
}

void MainWindow::ToggleLookBack() {
  if (model_.lookingBack()) {
    if (lookBackTimer_ != nullptr) lookBackTimer_->stop();
    model_.ShowRecords();
    model_.TellRecordsChanged();
    return;
  }
  if (acquisition_ == nullptr || !acquisition_->recording()) {
    Tell(
        "Aucun enregistrement continu n'est en cours : démarrez-en un depuis la fenêtre "
        "« Acquisition continue ».",
        kRecordingCaption, MessageIcon::kInformation);
    return;
  }
  const std::filesystem::path path(acquisition_->recordPath());
  std::string why;
  // The run's own writer holds the file: it is read in this process, up to
  // the writer's last flush.
  std::shared_ptr<ShownRecording> recording =
      ShownRecording::Open(path, &why, CheckPlace::kInProcess);
  if (recording == nullptr || recording->FirstSlot() < 0) {
    Tell(messages::WithReason(messages::OpenError(path.filename().string()),
                              recording == nullptr ? why : "aucune voie n'y est encore écrite"),
         kErrorCaption, MessageIcon::kError);
    return;
  }
  recordsTitle_ = windowTitle().toStdString();
  const int master = recording->Channel(session_.masterChannel) != nullptr ? session_.masterChannel
                                                                           : recording->FirstSlot();
  model_.ShowRecording(std::move(recording), true);
  FitShownScale(view_.scale, view_, session_, graph_->DrawingArea());
  SetAppTitle(TitleWithFile(path.filename().string()));
  recordingTitle_ = windowTitle().toStdString();
  ShowRecordingMarks();
  if (lookBackTimer_ == nullptr) {
    lookBackTimer_ = new QTimer(this);
    connect(lookBackTimer_, &QTimer::timeout, this, &MainWindow::FollowRecordedFile);
  }
  lookBackTimer_->start(500);
  if (master != session_.masterChannel) {
    model_.SetMasterChannel(master);
  } else {
    model_.TellScaleChanged();
  }
}

void MainWindow::FollowRecordedFile() {
  if (!model_.lookingBack() || !view_.recording) {
    lookBackTimer_->stop();
    return;
  }
  // A run that ended has flushed everything: one last look, then no more.
  if (acquisition_ == nullptr || !acquisition_->recording()) lookBackTimer_->stop();
  if (view_.recording->Refresh(nullptr)) RepaintGraph();
}

void MainWindow::Extract() {
  if (!view_.recording) return;
  const GraphCursors& cursors = view_.cursors;
  if (!cursors.cursorsShown) {
    Tell(
        "Placez d'abord les deux curseurs sur le graphe : « Extraire » met en mémoire les "
        "échantillons de l'un à l'autre.",
        kRecordingCaption, MessageIcon::kInformation);
    return;
  }
  const std::int64_t index1 = PixelToSample64(view_.scale, cursors.cursor1X);
  const std::int64_t index2 = PixelToSample64(view_.scale, cursors.cursor2X);
  const auto first =
      static_cast<std::uint64_t>(std::max<std::int64_t>(0, std::min(index1, index2)));
  const auto last = static_cast<std::uint64_t>(std::max<std::int64_t>(0, std::max(index1, index2)));
  std::vector<int> replaced;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (view_.recording->Channel(slot) != nullptr && HoldsSamples(session_.channels[slot]) &&
        first < view_.recording->SampleCount(slot))
      replaced.push_back(slot);
  }
  if (!replaced.empty()) {
    std::string list;
    for (const int slot : replaced) list += (list.empty() ? "" : ", ") + std::to_string(slot);
    if (Tell(messages::ImportOverSamplesQuestion(list, replaced.size() > 1),
             messages::kAttentionLoud, MessageIcon::kExclamation,
             MessageButtons::kOkCancel) == MessageAnswer::kCancel)
      return;
  }
  std::string why;
  std::shared_ptr<ShownRecording> recording = view_.recording;
  if (!ExtractRecording(*recording, first, last + 1, session_.channels, session_.spare.samples,
                        replaced, &why)) {
    Tell("Impossible d'extraire les échantillons entre les curseurs : " + why + ".",
         kRecordingCaption, MessageIcon::kError);
    return;
  }
  model_.ShowRecords();
  FitAllShown(view_, session_, graph_->DrawingArea());
  model_.TellRecordsChanged();
}

void MainWindow::OpenFromCommandLine(const std::filesystem::path& path) {
  const std::string title = path.filename().string();
  const std::string extension = LowerExtensionOf(path);
  if (extension == ".tvr") {
    OpenDataFile(path, title);
    return;
  }
  if (extension == ".csv" || extension == ".mat") {
    ImportFile(path, title);
    return;
  }
  std::string why;
  const std::string format = FormatOfHdf5File(path, &why);
  if (format == hdf5_layout::kRecordingFormat) {
    OpenRecordingAt(path, title);
  } else if (format == hdf5_layout::kSessionFormat) {
    OpenSessionFile(path, title);
  } else if (!format.empty()) {
    ImportFile(path, title);
  } else {
    Tell(messages::WithReason(messages::OpenError(title), why), kErrorCaption, MessageIcon::kError);
  }
}

}  // namespace tavril
