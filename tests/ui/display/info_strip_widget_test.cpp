#include "ui/display/info_strip_widget.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>

#include <cstddef>
#include <utility>
#include <vector>

#include "display/view_state.h"
#include "graph_test_support.h"
#include "model/session.h"

namespace tavril {
namespace {

// The painted strip: the grey background, and the cursor texts' colour only
// where they are drawn. 1000 samples shown one per pixel, the cursors on
// samples 250 and 750, so that every text is drawn.
class InfoStripWidgetTest : public ::testing::Test {
 protected:
  InfoStripWidgetTest() : strip_(session_, view_) {
    std::vector<double> samples(1000);
    for (std::size_t j = 0; j < samples.size(); ++j) samples[j] = static_cast<double>(j) / 1000.0;
    ChannelRecord& record = session_.channels[3];
    testing::SetSamples(record, std::move(samples));
    record.rate = 1000.0;
    record.gain = 10;
    record.title = "Essai \xE9t\xE9";  // Windows-1252
    session_.masterChannel = 3;
    view_.scale.pixelsPerSample = 1.0;
    view_.cursors.cursor1X = 250;
    view_.cursors.cursor2X = 750;
    strip_.resize(700, 70);
    strip_.show();
  }
  bool HasColourIn(const QImage& image, QRect area, QRgb colour) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
      }
    }
    return false;
  }

  Session session_;
  ViewState view_;
  InfoStripWidget strip_;
};

TEST_F(InfoStripWidgetTest, PaintsEveryTextInItsColourOnGrey) {
  const QImage image = strip_.grab().toImage();
  EXPECT_EQ(image.pixel(695, 68) & 0xFFFFFF, 0xC0C0C0u);
  EXPECT_TRUE(HasColourIn(image, QRect(2, 19, 110, 51), qRgb(0, 0, 255)));
  EXPECT_TRUE(HasColourIn(image, QRect(242, 19, 110, 51), qRgb(72, 145, 145)));
  EXPECT_TRUE(HasColourIn(image, QRect(482, 19, 200, 51), qRgb(140, 140, 245)));
  EXPECT_TRUE(HasColourIn(image, QRect(2, 2, 110, 16), qRgb(0, 0, 0)));
}

TEST_F(InfoStripWidgetTest, RowsFitInSeventeenPixels) {
  EXPECT_LE(QFontMetrics(strip_.font()).height(), 17);
}

TEST_F(InfoStripWidgetTest, HiddenColumnsLeaveTheGreyAlone) {
  view_.cursors.cursor1X = 5000;
  const QImage image = strip_.grab().toImage();
  EXPECT_FALSE(HasColourIn(image, QRect(0, 19, 360, 51), qRgb(0, 0, 255)));
  EXPECT_FALSE(HasColourIn(image, QRect(0, 19, 360, 51), qRgb(72, 145, 145)));
}

}  // namespace
}  // namespace tavril
