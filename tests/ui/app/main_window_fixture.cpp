#include "main_window_fixture.h"

#include "ui/config/config_dialog.h"

#include "files/channel_file.h"
#include "model/channel_record.h"
#include "support/record_checks.h"
#include "ui/common/owner_modal.h"

namespace tavril::testing {

using testing::SetSamples;

MainWindowTest::MainWindowTest()
    : boards_(MakeDefaultBoards()), window_(model_, memory_, *boards_, user_, dialogs_) {}

std::vector<std::string> MainWindowTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRequest& box : user_.boxes()) texts.push_back(box.text);
  return texts;
}

ChannelRecord SampleRecord(const std::string& title, const std::vector<double>& samples,
                           double rate) {
  ChannelRecord record;
  record.device = 1;
  record.chan = 3;
  record.gain = 1;
  record.rate = rate;
  SetSamples(record, samples);
  record.title = title;
  return record;
}

void WriteRecordFile(const std::filesystem::path& path, const ChannelRecord& record) {
  WriteFileBytes(path,
                 BytesWrittenBy([&](AtomicFileWriter& out) { WriteChannelFile(out, record); }));
}

ConfigDialogCanceller::ConfigDialogCanceller() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [cancelled = cancelled_] {
    if (auto* dialog = qobject_cast<ConfigDialog*>(ActiveModalDialog())) {
      ++*cancelled;
      dialog->reject();
    }
  });
  timer_.start();
}

void WhenModalShows(std::function<void(QWidget*)> action) {
  auto* timer = new QTimer(qApp);
  timer->setInterval(10);
  auto waited = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, waited, action = std::move(action)] {
    QPointer<QWidget> modal = ActiveModalDialog();
    if (modal == nullptr) {
      if (++*waited > 500) {
        ADD_FAILURE() << "no modal dialog was shown";
        timer->deleteLater();
        timer->stop();
      }
      return;
    }
    timer->stop();
    timer->deleteLater();
    action(modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal.data()); dialog && dialog->isVisible()) {
      ADD_FAILURE() << "the dialog was left open";
      dialog->reject();
    }
  });
  timer->start();
}

}  // namespace tavril::testing
