// The main window's commands on files of several channels, images and
// sessions.

#include <QAction>
#include <algorithm>
#include <string>

#include "files/channel_formats.h"
#include "files/channel_set.h"
#include "files/csv_file.h"
#include "files/hdf5_file.h"
#include "files/mat_file.h"
#include "files/xlsx_file.h"
#include "model/messages.h"
#include "session/session_file.h"
#include "ui/app/command_ids.h"
#include "ui/app/main_window.h"
#include "ui/display/graph_image.h"
#include "ui/display/graph_widget.h"

namespace tavril {
namespace {

constexpr const char* kErrorCaption = messages::kErreurBang;
const FileFilter kEveryFile{"Tous les fichiers (*.*)", "*.*"};

const FileDialogRequest& ExcelRequest() {
  static const FileDialogRequest request{
      "Exporter vers Excel", {{"Classeurs Excel (*.xlsx)", "*.xlsx"}, kEveryFile}, "xlsx"};
  return request;
}

const FileDialogRequest& CsvRequest() {
  static const FileDialogRequest request{
      "Exporter vers CSV", {{"Fichiers CSV (*.csv)", "*.csv"}, kEveryFile}, "csv"};
  return request;
}

const FileDialogRequest& MatRequest() {
  static const FileDialogRequest request{
      "Exporter vers MATLAB", {{"Fichiers MATLAB (*.mat)", "*.mat"}, kEveryFile}, "mat"};
  return request;
}

const FileDialogRequest& Hdf5Request() {
  static const FileDialogRequest request{
      "Exporter vers HDF5", {{"Fichiers HDF5 (*.h5)", "*.h5 *.hdf5"}, kEveryFile}, "h5"};
  return request;
}

const FileDialogRequest& ImportRequest() {
  static const FileDialogRequest request{
      "Importer des canaux",
      {
          {"Fichiers de canaux (*.csv *.mat *.h5)", "*.csv *.mat *.h5 *.hdf5"},
          {"Fichiers CSV (*.csv)", "*.csv"},
          {"Fichiers MATLAB (*.mat)", "*.mat"},
          {"Fichiers HDF5 (*.h5)", "*.h5 *.hdf5"},
          kEveryFile,
      },
      ""};
  return request;
}

const FileDialogRequest& SessionRequest(bool forSaving) {
  static const std::vector<FileFilter> filters = {
      {"Sessions TAVRIL (*.h5)", "*.h5 *.hdf5"},
      kEveryFile,
  };
  static const FileDialogRequest open{"Ouvrir une session", filters, "h5"};
  static const FileDialogRequest save{"Sauvegarder la session sous...", filters, "h5"};
  return forSaving ? save : open;
}

// The filter chooses the format of a name typed without an image extension
// (and the extension is added); a name with one keeps it and its format.
const FileDialogRequest& ImageRequest() {
  static const FileDialogRequest request{"Exporter le graphe",
                                         {
                                             {"Images BMP (*.bmp)", "*.bmp"},
                                             {"Images PNG (*.png)", "*.png"},
                                             {"Images SVG (*.svg)", "*.svg"},
                                         },
                                         ""};
  return request;
}

// A chosen name without an image extension gains the filter's.
void AddImageExtension(FileDialogState& files) {
  const std::string extension = LowerExtension(files.filePath);
  if (extension == ".bmp" || extension == ".png" || extension == ".svg") return;
  static constexpr const char* kByFilter[] = {".bmp", ".png", ".svg"};
  const char* added = kByFilter[std::clamp(files.filterIndex, 1, 3) - 1];
  files.filePath += added;
  files.fileTitle += added;
}

GraphImageFormat ImageFormatOf(const std::filesystem::path& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".png") return GraphImageFormat::kPng;
  if (extension == ".svg") return GraphImageFormat::kSvg;
  return GraphImageFormat::kBmp;
}

std::string ChannelList(const std::vector<int>& channels) {
  std::string list;
  for (const int channel : channels) {
    if (!list.empty()) list += ", ";
    list += std::to_string(channel);
  }
  return list;
}

}  // namespace

bool MainWindow::RunFileCommand(int commandId) {
  switch (commandId) {
    case kCmdExportExcel:
      ExportChannels(ExcelRequest(), messages::kExcelCaption, &WriteXlsxFile);
      return true;
    case kCmdExportCsv:
      ExportChannels(CsvRequest(), messages::kCsvCaption, &WriteCsvFile);
      return true;
    case kCmdExportMat:
      ExportChannels(MatRequest(), messages::kMatCaption, &WriteMatFile);
      return true;
    case kCmdExportHdf5:
      ExportChannels(Hdf5Request(), messages::kHdf5Caption, &WriteHdf5File);
      return true;
    case kCmdExportImage:
      ExportImage();
      return true;
    case kCmdImport:
      Import();
      return true;
    case kCmdOpenSession:
      OpenSession();
      return true;
    case kCmdSaveSession:
      SaveSession();
      return true;
    default:
      return false;
  }
}

bool MainWindow::WriteUntilWritten(const FileDialogRequest& request, FileDialogState& files,
                                   const char* caption, const PathWriter& write,
                                   const std::function<void(FileDialogState&)>& afterChoice) {
  for (;;) {
    if (!ChooseFile(true, request, files)) return false;
    if (afterChoice) afterChoice(files);
    std::string why;
    switch (SaveWithOverwritePrompt(ui_, ChosenPath(files), caption, write, &why)) {
      case SaveOutcome::kWritten:
        return true;
      case SaveOutcome::kDeclined:
        continue;
      case SaveOutcome::kFailed:
        Tell(messages::WithReason(messages::SaveError(files.fileTitle), why), kErrorCaption,
             MessageIcon::kError);
        return false;
    }
  }
}

void MainWindow::ExportChannels(const FileDialogRequest& request, const char* caption,
                                RecordsWriter write) {
  const std::vector<SlotView> records = RecordsToExport(session_.channels);
  if (records.empty()) {
    Tell(messages::kNothingToExport, kErrorCaption, MessageIcon::kError);
    return;
  }
  WriteUntilWritten(request, memory_.channelFiles, caption,
                    [&](const std::filesystem::path& path, std::string* why) {
                      return write(records, path, why);
                    });
}

void MainWindow::ExportImage() {
  WriteUntilWritten(
      ImageRequest(), memory_.imageFiles, messages::kImageCaption,
      [this](const std::filesystem::path& path, std::string* why) {
        return ExportGraphImage(*graph_, path, ImageFormatOf(path), why);
      },
      &AddImageExtension);
}

void MainWindow::Import() {
  FileDialogState& files = memory_.channelFiles;
  if (!ChooseFile(false, ImportRequest(), files)) return;
  ImportFile(ChosenPath(files), files.fileTitle);
}

void MainWindow::ImportFile(const std::filesystem::path& path, const std::string& fileTitle) {
  ChannelSet set;
  std::string why;
  std::vector<std::string> notices;
  if (!ReadChannelsFile(path, set, &why, &notices)) {
    Tell(messages::WithReason(messages::OpenError(fileTitle), why), kErrorCaption,
         MessageIcon::kError);
    return;
  }
  const std::vector<int> replaced = SlotsHoldingSamples(set, session_.channels);
  if (!replaced.empty() &&
      Tell(messages::ImportOverSamplesQuestion(ChannelList(replaced), replaced.size() > 1),
           messages::kAttentionLoud, MessageIcon::kExclamation,
           MessageButtons::kOkCancel) == MessageAnswer::kCancel) {
    return;
  }
  const int first = set.front().slot;
  PutInTable(set, session_.channels, session_.spare.samples);
  SetAppTitle(TitleWithFile(fileTitle));
  model_.SetMasterChannel(first);
  model_.TellRecordsChanged();
  if (!notices.empty()) {
    std::string text;
    for (const std::string& notice : notices) text += (text.empty() ? "" : "\n") + notice;
    Tell(text, messages::kImportCaption, MessageIcon::kInformation);
  }
}

void MainWindow::SaveSession() {
  WriteUntilWritten(SessionRequest(true), memory_.sessionFiles, messages::kSessionCaption,
                    [&](const std::filesystem::path& path, std::string* why) {
                      return WriteSessionFile(session_, RecordsViewOf(view_), path, why);
                    });
}

void MainWindow::OpenSession() {
  const bool holdsSamples = std::any_of(session_.channels.begin(), session_.channels.end(),
                                        [](const ChannelRecord& r) { return HoldsSamples(r); });
  if (holdsSamples &&
      Tell(messages::kSessionOverSamplesQuestion, messages::kAttentionLoud,
           MessageIcon::kExclamation, MessageButtons::kOkCancel) == MessageAnswer::kCancel) {
    return;
  }
  FileDialogState& files = memory_.sessionFiles;
  if (!ChooseFile(false, SessionRequest(false), files)) return;
  OpenSessionFile(ChosenPath(files), files.fileTitle);
}

void MainWindow::OpenSessionFile(const std::filesystem::path& path, const std::string& fileTitle) {
  SessionContents contents;
  std::string why;
  if (!ReadSessionFile(path, contents, &why, &session_)) {
    Tell(messages::WithReason(messages::OpenError(fileTitle), why), kErrorCaption,
         MessageIcon::kError);
    return;
  }
  // The session's view is the records'.
  model_.ShowRecords();
  // What the graph adds to the curves is the user's choice, kept in the
  // user's settings, not the session's.
  const GraphOptions options = view_.options;
  InstallSession(contents, session_, view_);
  view_.options = options;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    if (QAction* item = CommandAction(kCmdChannel0 + channel))
      item->setChecked(view_.channelShown[channel]);
  }
  SetAppTitle(TitleWithFile(fileTitle));
  model_.SetMasterChannel(session_.masterChannel);
  model_.TellScaleChanged();
  model_.TellRecordsChanged();
}

}  // namespace tavril
