#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "acquisition/comedi/default_boards.h"
#include "scripted_file_dialogs.h"
#include "support/scripted_user.h"
#include "support/temp_dir.h"
#include "ui/app/main_window.h"

namespace tavril::testing {

// Cancels every configuration dialog that opens (start-up and help open one)
// and counts them, so that tests of the main window never wait in its loop.
class ConfigDialogCanceller {
 public:
  ConfigDialogCanceller();
  int cancelled() const { return *cancelled_; }
  // For a test that drives the dialog itself.
  void Stop() { timer_.stop(); }

 private:
  QTimer timer_;
  std::shared_ptr<int> cancelled_ = std::make_shared<int>(0);
};

// A main window on a fresh state, with scripted message boxes and file
// dialogs, and a folder for the files of the test.
class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest();

  // The boxes shown so far, as one comparable list.
  std::vector<std::string> BoxTexts() const;

  SessionModel model_;
  Session& session_ = model_.session();
  ViewState& view_ = model_.view();
  WindowMemory memory_;
  std::unique_ptr<Boards> boards_;
  ScriptedUser user_;
  ScriptedFileDialogs dialogs_;
  TempDir dir_;
  MainWindow window_;
  ConfigDialogCanceller configDialogs_;
};

// A record holding `samples`, with its statistics computed.
ChannelRecord SampleRecord(const std::string& title, const std::vector<double>& samples,
                           double rate = 1000.0);

// Writes `record` as a data file at `path`.
void WriteRecordFile(const std::filesystem::path& path, const ChannelRecord& record);

// Runs `action` on the next modal dialog once it is shown; call it before the
// code that runs the dialog. A dialog that `action` leaves open is rejected,
// so a failing test cannot hang in the dialog's loop.
void WhenModalShows(std::function<void(QWidget*)> action);

}  // namespace tavril::testing
