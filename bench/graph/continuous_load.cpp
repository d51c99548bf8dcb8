// What a continuous run at the simulated board's full rate costs the whole
// window program: the main window on the offscreen platform, 8 channels at
// 156,250 scans a second (1,250,000 conversions), 2,000 points shown about
// 30 times a second with graduations and colours, every sample recorded to
// an HDF5 file in a temporary folder. Prints the share of one core the
// process used and its resident memory at the start and the end.
//   continuous_load [SECONDS] [--no-record] [--classic] [--look-back AFTER]
// (60 s by default). With --look-back, the run records AFTER seconds first;
// then, over the SECONDS measured, the graph looks back through the file and
// a pan or a zoom comes every quarter of a second, as a user's would.
// LOAD_WIDTH=N in the environment makes the window N pixels wide (1280).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "acquisition/comedi/default_boards.h"
#include "live_window.h"
#include "model/board_config.h"
#include "ui/acquisition/acquisition_panel.h"
#include "ui/acquisition/continuous_window.h"
#include "ui/app/command_ids.h"
#include "display/graph_zoom.h"
#include "ui/app/main_window.h"
#include "ui/display/graph_widget.h"
#include "ui/common/file_dialogs.h"

namespace {

class SilentUser : public tavril::UserInteraction {
 public:
  tavril::MessageAnswer ShowMessage(const tavril::MessageBoxRequest& box) override {
    std::fprintf(stderr, "box: %s\n", box.text.c_str());
    return tavril::MessageAnswer::kOk;
  }
};

class NoDialogs : public tavril::FileDialogs {
 public:
  tavril::FileDialogResult ChooseFileToOpen(const tavril::FileDialogRequest&,
                                            tavril::FileDialogState&) override {
    return {};
  }
  tavril::FileDialogResult ChooseFileToSave(const tavril::FileDialogRequest&,
                                            tavril::FileDialogState&) override {
    return {};
  }
};

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int seconds = argc > 1 ? std::stoi(argv[1]) : 60;
  bool record = true;
  bool decorated = true;
  int lookBackAfter = -1;
  for (int i = 2; i < argc; ++i) {
    if (std::string(argv[i]) == "--no-record") record = false;
    if (std::string(argv[i]) == "--classic") decorated = false;
    if (std::string(argv[i]) == "--look-back" && i + 1 < argc) lookBackAfter = std::stoi(argv[++i]);
  }

  tavril::SessionModel model;
  tavril::WindowMemory memory;
  model.session().boardConfig = tavril::DefaultBoardConfig();
  const auto boards = tavril::MakeDefaultBoards();
  SilentUser user;
  NoDialogs dialogs;
  if (decorated) model.view().options = tavril::GraphOptions{true, true, true};
  model.view().scale.autoScale = true;
  const QTemporaryDir folder;
  memory.continuous.record = record;
  memory.continuous.recordPath = QDir(folder.path()).filePath("charge.h5").toStdString();

  tavril::MainWindow window(model, memory, *boards, user, dialogs);
  window.resize(qEnvironmentVariableIntValue("LOAD_WIDTH") > 0
                    ? qEnvironmentVariableIntValue("LOAD_WIDTH")
                    : 1280,
                800);
  window.show();
  window.RunCommand(tavril::kCmdAcquisitionPanel);
  auto* panel = window.findChild<tavril::AcquisitionPanel*>();
  auto* channels = panel->findChild<QListWidget*>();
  for (int row = 0; row < 8; ++row) channels->item(row)->setSelected(true);
  const auto setField = [panel](int id, const char* text) {
    panel->findChild<QLineEdit*>(QStringLiteral("control%1").arg(id))->setText(text);
  };
  setField(tavril::kCountEditId, "2000");
  setField(tavril::kSampleRateEditId, "1250000");
  setField(tavril::kScanRateEditId, "156250");
  window.RunCommand(tavril::kCmdContinuous);
  tavril::testing::VisibleButton(QStringLiteral("Démarrer"))->click();

  // The first seconds take the buffers; the measure starts after them, and
  // the event loop runs as the program's own does.
  QElapsedTimer clock;
  clock.start();
  const auto runFor = [](int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
  };
  runFor(2000);
  std::mt19937 random(1);
  QTimer browse;
  if (lookBackAfter >= 0) {
    runFor(lookBackAfter * 1000);
    window.RunCommand(tavril::kCmdLookBack);
    if (!model.view().recording) return 1;
    QObject::connect(&browse, &QTimer::timeout, [&] {
      tavril::ViewState& view = model.view();
      const int width = window.graph()->DrawingArea().width;
      switch (random() % 4) {
        case 0:
          tavril::ZoomTime(view, 4.0, static_cast<std::int32_t>(random() % width));
          break;
        case 1:
          tavril::ZoomTime(view, 0.25, static_cast<std::int32_t>(random() % width));
          break;
        default:
          view.scale.scrollOffset = static_cast<std::int64_t>(
              random() % std::max<std::uint64_t>(1, view.recording->LongestCount()));
          break;
      }
      model.TellScaleChanged();
    });
    browse.start(250);
  }
  const double cpuStart = CpuSeconds();
  const long residentStart = ResidentKiB();
  const qint64 wallStart = clock.elapsed();
  runFor(seconds * 1000);
  const double cpu = CpuSeconds() - cpuStart;
  const double wall = static_cast<double>(clock.elapsed() - wallStart) / 1000.0;
  const long residentEnd = ResidentKiB();
  const bool stillRunning = !model.idle();
  browse.stop();
  if (lookBackAfter >= 0) window.RunCommand(tavril::kCmdLookBack);  // back to live
  if (QPushButton* stop = tavril::testing::VisibleButton(QStringLiteral("Arrêter"))) stop->click();
  std::printf(
      "%.1f s at 1,250,000 conversions/s recorded: %.1f %% of one core, "
      "resident memory %ld KiB at the start, %ld KiB at the end%s\n",
      wall, 100.0 * cpu / wall, residentStart, residentEnd,
      stillRunning ? "" : " (the run stopped early)");
  return stillRunning ? 0 : 1;
}
