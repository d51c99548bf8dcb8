#include "ui/acquisition/acquisition_panel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include <memory>
#include <vector>

#include <QThread>
#include <QTimer>

#include <condition_variable>
#include <mutex>

#include "acquisition/boards.h"
#include "acquisition/simulated_board.h"
#include "model/board_config.h"
#include "support/scripted_user.h"
#include "ui/acquisition/wait_box.h"

namespace tavril {
namespace {

using Flags = ChannelSelection;
constexpr bool X = true;
constexpr bool _ = false;

// The scripted user, noting whether every box was asked on the GUI thread.
class ThreadCheckingUser : public testing::ScriptedUser {
 public:
  MessageAnswer ShowMessage(const MessageBoxRequest& box) override {
    onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
    return ScriptedUser::ShowMessage(box);
  }
  bool onGuiThread = true;
};

// A panel over a fresh session and the simulated board, recording the
// changes of the records and the panel's closing.
struct PanelRig {
  SessionModel model;
  Session& session = model.session();
  AcquisitionPanelMemory memory;
  ThreadCheckingUser user;
  std::unique_ptr<Boards> boards = std::make_unique<Boards>();
  int refreshes = 0;
  int closings = 0;
  std::unique_ptr<AcquisitionController> controller;
  QPointer<AcquisitionPanel> panel;

  PanelRig() {
    session.boardConfig = DefaultBoardConfig();
    AttachSimulatedBoard(*boards);
    QObject::connect(&model, &SessionModel::recordsChanged, [this] { ++refreshes; });
  }
  ~PanelRig() { delete panel.data(); }

  void Open() {
    controller = std::make_unique<AcquisitionController>(model, *boards, user);
    panel = new AcquisitionPanel(model, memory, *controller);
    QObject::connect(panel, &AcquisitionPanel::closed, [this] { ++closings; });
    panel->show();
  }

  template <typename T>
  T* Control(int id) const {
    return panel->findChild<T*>(QStringLiteral("control%1").arg(id));
  }
  QListWidget* List() const { return Control<QListWidget>(kChannelListId); }
  QLineEdit* Edit(int id) const { return Control<QLineEdit>(id); }

  void ClickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QListWidget* list = List();
    list->scrollToItem(list->item(row));
    const QPoint centre = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, centre);
  }
  std::vector<int> SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < kChannelCount; ++i) {
      if (List()->item(i)->isSelected()) rows.push_back(i);
    }
    return rows;
  }
  void ClickAcquisition() {
    QTest::mouseClick(Control<QPushButton>(kAcquisitionButtonId), Qt::LeftButton);
  }
};

TEST(ChannelSelection, KeepsOneChannelOrAllChannelsUpToTheHighest) {
  struct Case {
    std::array<bool, kChannelCount> items;
    Flags flags;
  };
  const Case cases[] = {
      {{}, {}},
      {{false, false, false, true}, {_, _, _, X, _, _, _, _}},
      {{false, false, true, false, false, true}, {X, X, X, X, X, X, _, _}},
      {{true, true}, {X, X, _, _, _, _, _, _}},
      {{false, false, false, false, false, false, true, true}, {X, X, X, X, X, X, X, X}},
  };
  for (const Case& c : cases) EXPECT_EQ(SelectionFlags(c.items), c.flags);
}

TEST(PanelTitle, StoresWindows1252WithCarriageReturnsAndAtMost255Bytes) {
  EXPECT_EQ(TitleFromBox("Essai \xC3\xA9t\xC3\xA9\nligne 2"), "Essai \xE9t\xE9\r\nligne 2");
  EXPECT_EQ(TitleForBox("Essai \xE9t\xE9\r\nligne 2"), "Essai \xC3\xA9t\xC3\xA9\nligne 2");
  EXPECT_EQ(TitleFromBox(std::string(300, 'a')).size(), 255u);
  EXPECT_EQ(TitleFromBox(std::string(200, '\n')).size(), 255u);
}

TEST(AcquisitionPanel, OpensWithChannelZeroAndTheDefaultsAtStart) {
  PanelRig rig;
  rig.session.channels[0].title = "Premier \xE9";
  rig.memory.selected = {_, X, X, _, _, _, _, _};
  rig.Open();

  EXPECT_EQ(rig.panel->windowTitle(), QStringLiteral("Acquisition"));
  ASSERT_EQ(rig.List()->count(), kChannelCount);
  for (int i = 0; i < kChannelCount; ++i) {
    EXPECT_EQ(rig.List()->item(i)->text(), QStringLiteral("Canal %1").arg(i));
  }
  EXPECT_EQ(rig.SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(rig.memory.selected, (Flags{X, _, _, _, _, _, _, _}));
  EXPECT_EQ(rig.Edit(kCountEditId)->text(), QStringLiteral("1000"));
  EXPECT_EQ(rig.Edit(kGainEditId)->text(), QStringLiteral("1"));
  EXPECT_EQ(rig.Edit(kSampleRateEditId)->text(), QStringLiteral("100000"));
  EXPECT_EQ(rig.Edit(kScanRateEditId)->text(), QStringLiteral("0"));
  EXPECT_EQ(rig.Control<QPlainTextEdit>(kTitleEditId)->toPlainText(),
            QString::fromUtf8("Premier \xC3\xA9"));
  EXPECT_TRUE(rig.panel->ScanRateGreyed());
  EXPECT_TRUE(rig.Edit(kScanRateEditId)->isReadOnly());
  EXPECT_TRUE(rig.Edit(kScanRateEditId)->isEnabled());
}

TEST(AcquisitionPanel, FillsTheNumbersFromTheMasterRecordAndTheTitleFromChannelZero) {
  PanelRig rig;
  rig.session.masterChannel = 4;
  rig.session.channels[4].SetCount(500);
  rig.session.channels[4].gain = 10;
  rig.session.channels[4].rate = 20000.4;
  rig.session.channels[4].title = "maitre";
  rig.session.channels[0].title = "zero";
  rig.memory.scanRate = 2500.6;
  rig.Open();

  EXPECT_EQ(rig.Edit(kCountEditId)->text(), QStringLiteral("500"));
  EXPECT_EQ(rig.Edit(kGainEditId)->text(), QStringLiteral("10"));
  EXPECT_EQ(rig.Edit(kSampleRateEditId)->text(), QStringLiteral("20000"));
  EXPECT_EQ(rig.Edit(kScanRateEditId)->text(), QStringLiteral("2501"));
  EXPECT_EQ(rig.Control<QPlainTextEdit>(kTitleEditId)->toPlainText(), QStringLiteral("zero"));
}

TEST(AcquisitionPanel, AMultiSelectionBecomesChannelsZeroToTheHighest) {
  PanelRig rig;
  rig.Open();
  rig.ClickItem(2);
  rig.ClickItem(5, Qt::ControlModifier);

  EXPECT_EQ(rig.SelectedRows(), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(rig.memory.selected, (Flags{X, X, X, X, X, X, _, _}));
  EXPECT_FALSE(rig.panel->ScanRateGreyed());
  EXPECT_FALSE(rig.Edit(kScanRateEditId)->isReadOnly());

  rig.ClickItem(3);
  EXPECT_EQ(rig.SelectedRows(), std::vector<int>{3});
  EXPECT_EQ(rig.memory.selected, (Flags{_, _, _, X, _, _, _, _}));
  EXPECT_TRUE(rig.panel->ScanRateGreyed());
  EXPECT_TRUE(rig.Edit(kScanRateEditId)->isReadOnly());

  rig.ClickItem(3, Qt::ControlModifier);  // deselects the last item
  EXPECT_TRUE(rig.SelectedRows().empty());
  EXPECT_EQ(rig.memory.selected, Flags{});
  EXPECT_TRUE(rig.panel->ScanRateGreyed());
}

TEST(AcquisitionPanel, ReopeningAfterAScanSelectionGivesChannelZeroOnly) {
  PanelRig rig;
  rig.Open();
  rig.ClickItem(5);
  rig.ClickItem(1, Qt::ControlModifier);
  ASSERT_EQ(rig.memory.selected, (Flags{X, X, X, X, X, X, _, _}));

  rig.panel->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(rig.panel.isNull());
  EXPECT_EQ(rig.closings, 1);

  rig.Open();
  EXPECT_EQ(rig.SelectedRows(), std::vector<int>{0});
  EXPECT_EQ(rig.memory.selected, (Flags{X, _, _, _, _, _, _, _}));
}

TEST(AcquisitionPanel, NumberFieldsTakeOnlyDigits) {
  PanelRig rig;
  rig.Open();
  QLineEdit* count = rig.Edit(kCountEditId);
  count->clear();
  QTest::keyClicks(count, "1a2-3.4 5");
  EXPECT_EQ(count->text(), QStringLiteral("12345"));
}

// While the controller offers continuous runs the button starts and stops
// them; the run takes the panel's fields and the choices of whoever holds them.
TEST(AcquisitionPanel, ButtonFollowsTheControllerThroughAContinuousRun) {
  PanelRig rig;
  rig.Open();
  QPushButton* button = rig.Control<QPushButton>(kAcquisitionButtonId);
  QObject::connect(rig.controller.get(), &AcquisitionController::continuousRequested,
                   [](ContinuousRequest& request) { request.choices = ContinuousChoices{}; });
  rig.Edit(kCountEditId)->setText("300");
  const struct {
    bool offered;
    const char* text;
    AcquisitionState state;
  } steps[] = {{true, "Démarrer", AcquisitionState::kContinuous},
               {true, "Arrêter", AcquisitionState::kIdle},
               {false, "Acquisition", AcquisitionState::kIdle}};
  for (const auto& step : steps) {
    rig.controller->OfferContinuous(step.offered);
    EXPECT_EQ(button->text(), QString::fromUtf8(step.text));
    if (step.offered) rig.ClickAcquisition();
    EXPECT_EQ(rig.model.acquisitionState(), step.state) << step.text;
    QTest::qWait(200);  // the run shows its first samples
  }
  EXPECT_EQ(rig.session.channels[0].sampleCount(), 300u);
  EXPECT_TRUE(rig.user.boxes().empty());
}

TEST(AcquisitionPanel, AcquiresOneChannelFromTheSimulatedBoard) {
  PanelRig rig;
  rig.session.masterChannel = 6;
  rig.Open();
  rig.ClickItem(3);
  rig.Edit(kCountEditId)->setText("200");
  rig.Edit(kSampleRateEditId)->setText("10000");
  rig.Edit(kGainEditId)->setText("2");
  rig.Control<QPlainTextEdit>(kTitleEditId)->setPlainText(QString::fromUtf8("Essai \xC3\xA9"));
  rig.ClickAcquisition();

  const ChannelRecord& record = rig.session.channels[3];
  for (const auto& box : rig.user.boxes()) ADD_FAILURE() << box.text;
  EXPECT_EQ(record.sampleCount(), 200u);
  EXPECT_EQ(record.count(), 200u);
  EXPECT_EQ(record.rate, 10000.0);
  EXPECT_EQ(record.gain, 2);
  EXPECT_EQ(record.chan, 3);
  EXPECT_EQ(record.device, rig.session.boardConfig.device);
  EXPECT_EQ(record.title, "Essai \xE9");
  EXPECT_EQ(rig.refreshes, 1);
  EXPECT_FALSE(HoldsSamples(rig.session.channels[6]));
  EXPECT_TRUE(rig.panel->findChildren<WaitBox*>().isEmpty());
  EXPECT_EQ(QApplication::topLevelWidgets().count(), 1);  // the panel; the wait box is gone
}

TEST(AcquisitionPanel, ScansChannelsZeroToNWithTheEnterKey) {
  PanelRig rig;
  rig.Open();
  rig.ClickItem(0);
  rig.ClickItem(2, Qt::ShiftModifier);
  rig.Edit(kCountEditId)->setText("100");
  rig.Edit(kSampleRateEditId)->setText("30000");
  rig.Edit(kScanRateEditId)->setText("1000");
  rig.Edit(kCountEditId)->setFocus();
  QTest::keyClick(rig.Edit(kCountEditId), Qt::Key_Return);

  for (const auto& box : rig.user.boxes()) ADD_FAILURE() << box.text;
  EXPECT_EQ(rig.memory.scanRate, 1000.0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(rig.session.channels[i].sampleCount(), 100u) << i;
    EXPECT_EQ(rig.session.channels[i].chan, i);
  }
  EXPECT_FALSE(HoldsSamples(rig.session.channels[3]));
  EXPECT_EQ(rig.refreshes, 1);
  EXPECT_EQ(rig.panel->focusWidget(), rig.Edit(kCountEditId));
}

TEST(AcquisitionPanel, AFailedAcquisitionKeepsTheParametersAndShowsTheEmptiedRecord) {
  PanelRig rig;
  rig.boards = std::make_unique<Boards>();  // no board answers
  rig.user.Answer(MessageAnswer::kNo);
  rig.Open();
  rig.ClickItem(1);
  rig.Edit(kCountEditId)->setText("300");
  rig.Edit(kSampleRateEditId)->setText("5000");
  rig.Control<QPlainTextEdit>(kTitleEditId)->setPlainText("rate");
  rig.ClickAcquisition();

  EXPECT_FALSE(rig.user.boxes().empty());
  EXPECT_TRUE(rig.user.onGuiThread);
  EXPECT_EQ(rig.refreshes, 1);
  const ChannelRecord& record = rig.session.channels[1];
  EXPECT_FALSE(HoldsSamples(record));
  EXPECT_EQ(record.count(), 300u);
  EXPECT_EQ(record.rate, 5000.0);
  EXPECT_EQ(record.title, "rate");
  EXPECT_EQ(record.chan, 1);
}

TEST(AcquisitionPanel, EscapeLeavesThePanelOpen) {
  PanelRig rig;
  rig.Open();
  QTest::keyClick(rig.Edit(kGainEditId), Qt::Key_Escape);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_FALSE(rig.panel.isNull());
  EXPECT_TRUE(rig.panel->isVisible());
}

// The simulated board, noting whether the wait box was on screen and painted
// (exposed, so painted) when the acquisition started, and holding its
// readings back until the test lets them through.
class WatchedBoard : public SimulatedBoard {
 public:
  DaqStatus Start(const AcquisitionRequest& request) override {
    QMetaObject::invokeMethod(
        qApp,
        [this] {
          for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<WaitBox*>(window);
            if (box != nullptr && box->isVisible()) {
              waitBoxShown = true;
              waitBoxExposed = box->windowHandle() != nullptr && box->windowHandle()->isExposed();
            }
          }
        },
        Qt::BlockingQueuedConnection);
    return SimulatedBoard::Start(request);
  }
  ReadResult Read(std::span<BoardReading> readings) override {
    std::unique_lock lock(mutex_);
    reading_ = true;
    changed_.notify_all();
    // A board on the GUI thread would never be released: fail, do not hang.
    changed_.wait_for(lock, std::chrono::seconds(5), [this] { return released_; });
    lock.unlock();
    return SimulatedBoard::Read(readings);
  }
  bool reading() {
    const std::lock_guard lock(mutex_);
    return reading_;
  }
  void Release() {
    const std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // Giving up stops the board from the window's thread.
  void Stop() override {
    Release();
    SimulatedBoard::Stop();
  }
  bool waitBoxShown = false;
  bool waitBoxExposed = false;

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reading_ = false;
  bool released_ = false;
};

class PaintCounter : public QWidget {
 public:
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override { ++paints; }
};

// The board works on a thread of its own: while it holds its readings back,
// the windows repaint, and the panel takes no input (a second click starts
// nothing).
TEST(AcquisitionPanel, WindowsRepaintWhileTheBoardWorks) {
  PanelRig rig;
  auto board = std::make_unique<WatchedBoard>();
  WatchedBoard* watched = board.get();
  rig.boards = std::make_unique<Boards>();
  rig.boards->Attach(kSimulatedBoardDevice, std::move(board), kSimulatedBoardDescription);
  PaintCounter window;
  window.show();
  rig.Open();
  int paintsWhileReading = 0;
  bool acquiringWhileReading = false;
  QTimer poll;
  int polls = 0;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (watched->reading()) {
      poll.stop();
      const int before = window.paints;
      window.update();
      QTest::qWait(50);
      paintsWhileReading = window.paints - before;
      acquiringWhileReading = !rig.model.idle();
      rig.Edit(kCountEditId)->setText("7");
      rig.ClickAcquisition();
      watched->Release();
    } else if (++polls > 1000) {
      poll.stop();
      watched->Release();
    }
  });
  poll.start(10);
  rig.ClickAcquisition();

  EXPECT_GT(paintsWhileReading, 0);
  EXPECT_TRUE(acquiringWhileReading);
  EXPECT_TRUE(rig.model.idle());
  EXPECT_EQ(rig.refreshes, 1);
  EXPECT_TRUE(watched->waitBoxShown);
  EXPECT_TRUE(watched->waitBoxExposed);
  EXPECT_EQ(rig.session.channels[0].sampleCount(), 1000u);
  EXPECT_EQ(rig.session.channels[0].count(), 1000u);
}

TEST(AcquisitionPanel, WithoutTimeOutTheWaitBoxGivesUpABoardThatDoesNotAnswer) {
  PanelRig rig;
  rig.session.boardConfig.timeOut = -1;
  auto board = std::make_unique<WatchedBoard>();
  WatchedBoard* watched = board.get();
  rig.boards = std::make_unique<Boards>();
  rig.boards->Attach(kSimulatedBoardDevice, std::move(board), kSimulatedBoardDescription);
  rig.Open();
  bool gaveUp = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!watched->reading()) return;
    poll.stop();
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (qobject_cast<WaitBox*>(window) == nullptr) continue;
      auto* giveUp = window->findChild<QPushButton*>(QStringLiteral("giveUpButton"));
      if (giveUp != nullptr) QTest::mouseClick(giveUp, Qt::LeftButton);
      gaveUp = giveUp != nullptr;
    }
  });
  poll.start(10);
  rig.ClickAcquisition();
  EXPECT_TRUE(gaveUp);
  EXPECT_TRUE(rig.user.boxes().empty());
  EXPECT_TRUE(rig.session.channels[0].samples().empty());
}

TEST(AcquisitionPanel, KeepsTheTemplatesTabOrderAndProportions) {
  PanelRig rig;
  rig.Open();
  const int order[] = {kAcquisitionButtonId, kChannelListId,  kGainEditId, kCountEditId,
                       kSampleRateEditId,    kScanRateEditId, kTitleEditId};
  QWidget* widget = rig.Control<QWidget>(order[0]);
  for (std::size_t i = 1; i < std::size(order); ++i) {
    do {
      widget = widget->nextInFocusChain();
    } while (widget->focusPolicy() == Qt::NoFocus);
    EXPECT_EQ(widget, rig.Control<QWidget>(order[i])) << order[i];
  }
  EXPECT_EQ(rig.panel->size(), QSize(105, 336));  // 70 x 207 dialog units
  EXPECT_EQ(rig.Control<QWidget>(kAcquisitionButtonId)->geometry(), QRect(11, 291, 79, 34));
}

TEST(WaitBox, IsVisibleWithItsTextWhileShown) {
  WaitBox box(nullptr);
  box.ShowPainted();
  EXPECT_TRUE(box.isVisible());
  EXPECT_EQ(box.windowTitle(), QStringLiteral("Veuillez patientez..."));
  const auto* text = box.findChild<QLabel*>(QStringLiteral("waitText"));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(), QStringLiteral("Acquisition ..."));
  EXPECT_EQ(box.findChild<QPushButton*>(), nullptr) << "giving up is offered without time-out only";
  QTest::keyClick(&box, Qt::Key_Escape);
  EXPECT_TRUE(box.isVisible());
}

}  // namespace
}  // namespace tavril
