#include "ui/processing/measurements_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace tavril {
namespace {

// 1 kHz between -2 V and 3 V at 100 kHz, high for samples 0 to 14 of each 100.
ChannelRecord Square() {
  ChannelRecord record;
  for (int i = 0; i < 1000; ++i) record.samples.push_back((i + 10) % 100 < 25 ? 3 : -2);
  record.count = 1000;
  record.rate = 100000;
  record.title = "Carr\xE9";
  return record;
}

class MeasurementsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    model.session().channels[0] = Square();
    model.session().channels[2] = Square();
    model.session().masterChannel = 2;
    model.view().scale.pixelsPerSample = 1;
    window = new MeasurementsWindow(model);
  }
  void TearDown() override { delete window.data(); }

  // What the window shows once the event loop has turned.
  QString Cell(int row, int column) {
    QCoreApplication::processEvents();
    const QTableWidgetItem* item = Table()->item(row, column);
    return item != nullptr ? item->text() : QString();
  }
  QTableWidget* Table() { return window->findChild<QTableWidget*>(); }
  template <typename Widget>
  Widget* Find(const QString& text) {
    for (Widget* widget : window->findChildren<Widget*>()) {
      if (widget->text().startsWith(text)) return widget;
    }
    return nullptr;
  }

  SessionModel model;
  QPointer<MeasurementsWindow> window;
};

TEST_F(MeasurementsWindowTest, RowsFollowTheShownChannelsAndMarkTheMaster) {
  EXPECT_EQ(Cell(0, 0), "0");
  EXPECT_EQ(Cell(1, 0), "2 (maître)");
  EXPECT_EQ(Cell(1, 1), "Carré");
  EXPECT_EQ(Cell(1, 10), "25.00 %");
  model.view().channelShown[0] = false;
  model.TellViewRefreshed();
  EXPECT_EQ(Cell(0, 0), "2 (maître)");
  EXPECT_EQ(Table()->rowCount(), 1);
}

TEST_F(MeasurementsWindowTest, BetweenTheCursorsFollowsTheirMovesAndCopiesTsv) {
  QRadioButton* between = Find<QRadioButton>("Entre");
  ASSERT_NE(between, nullptr);
  EXPECT_FALSE(between->isEnabled());  // until the cursors are shown
  GraphCursors& cursors = model.view().cursors;
  cursors = {10, 14, true};
  window->ScheduleUpdate();
  QCoreApplication::processEvents();
  between->click();
  EXPECT_EQ(Cell(0, 2), "3.000 V");  // samples 10 to 14 are all high
  EXPECT_EQ(Find<QLabel>("Δt")->text(), "Δt = 40.00 µs");

  cursors.cursor2X = 50;
  window->ScheduleUpdate();
  window->ScheduleUpdate();
  EXPECT_EQ(Cell(0, 2), "-2.000 V");
  EXPECT_EQ(Find<QLabel>("ΔV")->text(), "ΔV = -5.000 V");
  EXPECT_EQ(Find<QLabel>("1/Δt")->text(), "1/Δt = 2.500 kHz");

  Find<QPushButton>("Copier")->click();
  const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
  ASSERT_EQ(lines.size(), 4);  // header, two rows, and the last line's end
  EXPECT_TRUE(lines[0].startsWith("Canal\tTitre\tMaître\tMinimum (V)\t"));
  EXPECT_TRUE(lines[2].startsWith("2\tCarré\toui\t-2\t3\t5\t")) << lines[2].toStdString();
}

}  // namespace
}  // namespace tavril
