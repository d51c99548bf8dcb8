// Images of the graph: PNG and BMP hold the widget's own pixels, SVG the same
// picture as vectors; every file is written whole or not at all.
#include "ui/display/graph_image.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>

#include "files/file_writer.h"
#include "graph_test_support.h"
#include "support/temp_dir.h"
#include "ui/display/graph_widget.h"

namespace tavril {
namespace {

using enum GraphImageFormat;

class GraphImageTest : public ::testing::Test {
 protected:
  GraphImageTest() : widget_(session_, view_) {
    widget_.resize(400, 300);
    widget_.show();
    QApplication::processEvents();
    Fill(20000);
  }

  // Eight curves 0.6 V apart across the width (spikes and NaN runs reach
  // beyond the picture), channel 2 the master, both cursors shown.
  void Fill(std::size_t count) {
    using enum testing::Signal;
    const testing::Signal shapes[] = {kRandomWalk, kSineWithNoise, kSpikes,     kSteps,
                                      kNaNBursts,  kSteps,         kRandomWalk, kSineWithNoise};
    for (int channel = 0; channel < kChannelCount; ++channel) {
      std::vector<double> samples = testing::MakeSignal(shapes[channel], count, channel + 1);
      for (double& sample : samples) sample = 0.25 * sample + 0.6 * (channel - 3.5);
      testing::SetSamples(session_.channels[channel], std::move(samples));
    }
    session_.masterChannel = 2;
    view_.scale = GraphScale{400.0 / static_cast<double>(count), 50.0, 140, 0, false};
    view_.cursors = GraphCursors{70, 310, true, CursorDrag::kNone};
    widget_.RefreshCurves();
  }
  QSize Area() const { return QSize(widget_.DrawingArea().width, widget_.DrawingArea().height); }
  QImage Shown() { return widget_.grab().toImage().copy(QRect(QPoint(0, 0), Area())); }
  QString Export(GraphImageFormat format, const char* name) {
    std::string why;
    EXPECT_TRUE(ExportGraphImage(widget_, dir_ / name, format, &why)) << why;
    return QString::fromStdString((dir_ / name).string());
  }

  Session session_;
  ViewState view_;
  GraphWidget widget_;
  testing::TempDir dir_;
};

TEST_F(GraphImageTest, PngAndBmpHoldExactlyTheWidgetsPixels) {
  for (const auto& [format, name] : {std::pair{kPng, "g.png"}, std::pair{kBmp, "g.bmp"}}) {
    const testing::ImageDifference difference =
        testing::CompareImages(QImage(Export(format, name)), Shown());
    EXPECT_EQ(difference.count, 0)
        << name << ", first at " << difference.first.x() << "," << difference.first.y();
  }
}

// Qt's SVG renderer always antialiases. Fills, cursor lines, axes and runs lie
// on pixel edges and come back exact; a slanted line between columns is
// spread over its neighbours, steep ones over whole columns: about 0.8% of the
// pixels here. Half a pixel off would change most curve pixels.
TEST_F(GraphImageTest, SvgRendersBackAsTheScreenSaveAlongSlantedLines) {
  QSvgRenderer renderer(Export(kSvg, "g.svg"));
  ASSERT_TRUE(renderer.isValid());
  EXPECT_EQ(renderer.defaultSize(), Area());
  QImage rendered(Area(), QImage::Format_RGB32);
  rendered.fill(Qt::black);
  QPainter painter(&rendered);
  renderer.render(&painter);
  painter.end();
  EXPECT_LT(testing::CompareImages(rendered, Shown()).count,
            Area().width() * Area().height() / 100);
}

TEST_F(GraphImageTest, SvgOfEightTimesTenMillionSamplesStaysSmall) {
  Fill(10'000'000);
  const std::string svg = testing::ReadFileBytes(Export(kSvg, "long.svg").toStdString());
  EXPECT_LT(svg.size(), 200'000u);
  EXPECT_NE(svg.find("stroke=\"#0000ff\""), std::string::npos);
  EXPECT_NE(svg.find("stroke=\"#5198b7\""), std::string::npos);
}

TEST_F(GraphImageTest, ImageMagickReadsEveryFormatAndFindsTheCurvesColours) {
  if (!QFileInfo("/usr/bin/convert").isExecutable() ||
      !QFileInfo("/usr/bin/rsvg-convert").isExecutable()) {
    GTEST_SKIP() << "needs ImageMagick, and rsvg-convert (librsvg2-bin) through which it reads SVG";
  }
  for (const auto& [format, name] :
       {std::pair{kPng, "i.png"}, std::pair{kBmp, "i.bmp"}, std::pair{kSvg, "i.svg"}}) {
    QProcess convert;
    convert.start("/usr/bin/convert", {Export(format, name), "-format", "%c", "histogram:info:-"});
    ASSERT_TRUE(convert.waitForFinished(60000) && convert.exitCode() == 0) << name;
    const QString colours = convert.readAllStandardOutput();
    EXPECT_TRUE(colours.contains("#0000FF") && colours.contains("#5198B7")) << name;
  }
}

TEST_F(GraphImageTest, AFailedWriteLeavesThePreviousFileAndSaysWhy) {
  testing::WriteFileBytes(dir_ / "old.png", "previous");
  std::string why;
  {
    const ScopedWriteFailure failure(2, true);
    EXPECT_FALSE(ExportGraphImage(widget_, dir_ / "old.png", kPng, &why));
  }
  EXPECT_EQ(why, "L'image n'a pas pu être écrite dans « old.png » : disque plein.");
  EXPECT_EQ(testing::ReadFileBytes(dir_ / "old.png"), "previous");
  EXPECT_FALSE(ExportGraphImage(widget_, dir_ / "no" / "a.svg", kSvg, &why));
  EXPECT_EQ(why, "Impossible de créer le fichier « a.svg » : fichier ou dossier introuvable.");
}

}  // namespace
}  // namespace tavril
