#include "ui/acquisition/acquisition_runner.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QWidget>

#include <optional>
#include <thread>

#include "model/messages.h"
#include "ui/acquisition/wait_box.h"
#include "ui/common/owner_modal.h"

namespace tavril {
namespace {

// The acquisition's questions, asked on the GUI thread: the calling thread
// waits for the answer.
class GuiThreadUser : public UserInteraction {
 public:
  GuiThreadUser(UserInteraction& ui, QObject& onGuiThread) : ui_(ui), onGuiThread_(onGuiThread) {}

  MessageAnswer ShowMessage(const MessageBoxRequest& box) override {
    MessageAnswer answer = MessageAnswer::kOk;
    QMetaObject::invokeMethod(
        &onGuiThread_, [&] { answer = ui_.ShowMessage(box); }, Qt::BlockingQueuedConnection);
    return answer;
  }

 private:
  UserInteraction& ui_;
  QObject& onGuiThread_;
};

}  // namespace

bool AcquireAside(SessionModel& model, Boards& boards, UserInteraction& ui,
                  const ChannelSelection& selected, double scanRate, WaitBox* waitBox) {
  if (!model.idle()) return false;
  Session& session = model.session();
  const std::optional<AcquisitionPlan> plan =
      PlanAcquisition(session.channels, selected, scanRate, session.boardConfig);
  if (!plan) {
    ui.ShowMessage({messages::kNoChannelSelected, messages::kErreurBang, MessageIcon::kError,
                    MessageButtons::kOk});
    return false;
  }
  Board& board = boards.For(plan->device);

  AcquisitionResult result;
  {
    std::vector<QWidget*> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window != waitBox && window->isVisible()) windows.push_back(window);
    }
    const InputBlocker blocker(std::move(windows), waitBox);
    model.SetAcquisitionState(AcquisitionState::kFinite);
    QEventLoop loop;
    GuiThreadUser askOnGuiThread(ui, loop);
    // The acquisition works in the session's spare memory only: the records
    // the windows paint stay as they are until it is over.
    std::jthread acquisition([&](std::stop_token stop) {
      result = RunAcquisition(*plan, board, askOnGuiThread, session.spare, stop);
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Stopping the board waits at most for the read it interrupts to notice.
    if (waitBox != nullptr) {
      QObject::connect(waitBox, &WaitBox::givingUp, &loop,
                       [&acquisition] { acquisition.request_stop(); });
    }
    loop.exec();
    acquisition.join();
    model.SetAcquisitionState(AcquisitionState::kIdle);
  }
  const bool acquired = FinishAcquisition(*plan, result, session.channels, session.spare, ui);
  // A failed acquisition has emptied the selected records too: the windows
  // must not go on showing curves that no longer exist.
  model.TellRecordsChanged();
  return acquired;
}

}  // namespace tavril
