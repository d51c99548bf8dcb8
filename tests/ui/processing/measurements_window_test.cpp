#include "ui/processing/measurements_window.h"
#include "support/record_checks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

namespace tavril {
namespace {

using testing::SetSamples;

// The first `Widget` of `window` whose text starts with `start`.
template <typename Widget>
Widget* Find(QWidget& window, const QString& start) {
  for (Widget* widget : window.findChildren<Widget*>()) {
    if (widget->text().startsWith(start)) return widget;
  }
  return nullptr;
}

TEST(MeasurementsWindow, FollowsShownChannelsAndCursorsAndCopiesTsv) {
  SessionModel model;
  ChannelRecord square;  // 1 kHz from -2 V to 3 V at 100 kHz, high on samples 0 to 14 of 100
  std::vector<double> samples;
  for (int i = 0; i < 1000; ++i) samples.push_back((i + 10) % 100 < 25 ? 3 : -2);
  SetSamples(square, samples);
  square.rate = 100000;
  square.title = "Carr\xE9";
  model.session().channels[0] = square;
  model.session().channels[2] = square;
  model.session().masterChannel = 2;
  model.view().scale.pixelsPerSample = 1;
  MeasurementsWindow& window = *new MeasurementsWindow(model);
  QTableWidget& table = *window.findChild<QTableWidget*>();
  const auto cell = [&table](int row, int column) {
    QCoreApplication::processEvents();
    return table.item(row, column)->text();
  };
  EXPECT_EQ(cell(0, 0), "0");
  EXPECT_EQ(cell(1, 0) + cell(1, 1) + cell(1, 10), "2 (maître)Carré25.00 %");
  model.view().channelShown[0] = false;
  model.TellViewRefreshed();
  EXPECT_EQ(cell(0, 0), "2 (maître)");
  EXPECT_EQ(table.rowCount(), 1);
  model.view().channelShown[0] = true;
  // A whole record is measured again only once its samples change.
  ChannelRecord& master = model.session().channels[2];
  model.TellRecordsChanged();
  EXPECT_EQ(cell(1, 3), "3.000 V");
  samples[500] = 10;
  SetSamples(master, samples);
  model.TellRecordsChanged();
  EXPECT_EQ(cell(1, 3), "10.00 V");

  QRadioButton* between = Find<QRadioButton>(window, "Entre");
  EXPECT_FALSE(between->isEnabled());  // until the cursors are shown
  model.view().cursors = {10, 14, true};
  window.ScheduleUpdate();
  QCoreApplication::processEvents();
  between->click();
  EXPECT_EQ(cell(0, 2), "3.000 V");  // samples 10 to 14 are all high
  EXPECT_EQ(Find<QLabel>(window, "Δt")->text(), "Δt = 40.00 µs");
  model.view().cursors.cursor2X = 50;
  window.ScheduleUpdate();
  window.ScheduleUpdate();
  EXPECT_EQ(cell(0, 2), "-2.000 V");
  EXPECT_EQ(Find<QLabel>(window, "ΔV")->text(), "ΔV = -5.000 V");
  EXPECT_EQ(Find<QLabel>(window, "1/Δt")->text(), "1/Δt = 2.500 kHz");

  Find<QPushButton>(window, "Copier")->click();
  const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
  ASSERT_EQ(lines.size(), 4);  // the header, two rows and the last line's end
  EXPECT_TRUE(lines[0].startsWith("Canal\tTitre\tMaître\tMinimum (V)\t"));
  EXPECT_TRUE(lines[2].startsWith("2\tCarré\toui\t-2\t3\t5\t")) << lines[2].toStdString();
  delete &window;
}

}  // namespace
}  // namespace tavril
