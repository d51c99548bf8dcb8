#include "ui/processing/spectrum_panel.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QSignalSpy>
#include <QSpinBox>

#include "support/board_signal.h"
#include "support/record_checks.h"
#include "ui/processing/spectrum_plot_widget.h"

namespace tavril {
namespace {

using testing::SetSamples;

class SpectrumPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The board's 500 Hz sine on channel 0 and its square on channel 1.
    for (int channel : {0, 1}) {
      ChannelRecord& record = model_.session().channels[channel];
      record.rate = 1e5;
      SetSamples(record, testing::BoardSignal(channel, 100000, 1e5));
      record.SetCount(static_cast<std::uint32_t>(record.sampleCount()));
    }
    panel_ = new SpectrumPanel(model_);
  }
  void TearDown() override { delete panel_; }

  template <typename T>
  T* Child(const char* name) {
    return panel_->findChild<T*>(QLatin1String(name));
  }

  SessionModel model_;
  SpectrumPanel* panel_ = nullptr;
};

TEST_F(SpectrumPanelTest, MarksTheMastersPeakAndFollowsItsChoices) {
  EXPECT_EQ(panel_->windowTitle(), QStringLiteral("Spectre"));
  SpectrumPlot* plot = panel_->plot();
  ASSERT_EQ(plot->curves().size(), 1u);
  EXPECT_TRUE(plot->markerText().startsWith(QStringLiteral("Pic : 500 Hz, ")))
      << plot->markerText().toStdString();

  // Read between the bins, Hann and flat top give the sine's amplitude.
  const double hann = plot->curves()[0].spectrum.peak->dbv;
  Child<QComboBox>("window")->setCurrentIndex(2);
  const double flatTop = plot->curves()[0].spectrum.peak->dbv;
  EXPECT_NEAR(hann, 9.03, 0.05);
  EXPECT_NEAR(flatTop, 9.03, 0.05);

  Child<QSpinBox>("blocks")->setValue(3);
  // Three blocks of 65536 spread over 100000 points.
  EXPECT_EQ(
      Child<QLabel>("averaged")->text(),
      QStringLiteral("Moyenne de 3 blocs de 65536 points, recouvrement 74 % ; raies de 1.526 Hz"));
  Child<QComboBox>("channels")->setCurrentIndex(1);
  ASSERT_EQ(plot->curves().size(), 2u);
  EXPECT_EQ(plot->curves()[1].colour, QColor(0xE6, 0x9F, 0x00));

  model_.view().channelShown[0] = false;
  model_.TellViewRefreshed();
  ASSERT_EQ(plot->curves().size(), 1u);
  // The square of 400 Hz: its fundamental is its peak.
  EXPECT_TRUE(plot->markerText().startsWith(QStringLiteral("Pic : 400 Hz")))
      << plot->markerText().toStdString();

  QSignalSpy closed(panel_, &SpectrumPanel::closed);
  panel_->grab();  // draws every curve, graduation and the marker once
  const QPointer<SpectrumPanel> guard(panel_);
  panel_->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  panel_ = nullptr;
  EXPECT_EQ(closed.count(), 1);
  EXPECT_TRUE(guard.isNull());
}

}  // namespace
}  // namespace tavril
