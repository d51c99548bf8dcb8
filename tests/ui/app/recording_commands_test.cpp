// Recordings in the graph: opened whole, extracted into the records, and
// looked back on while a run records.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QScrollBar>

#include "display/graph_zoom.h"
#include "display/info_strip_text.h"
#include "display/shown_recording.h"
#include "files/hdf5_recording.h"
#include "live_window.h"
#include "main_window_fixture.h"
#include "model/allocation.h"
#include "model/board_config.h"
#include "model/code_polynomial.h"
#include "support/recording_codes.h"
#include "ui/app/command_ids.h"
#include "ui/display/graph_widget.h"

namespace tavril::testing {
namespace {

constexpr std::uint64_t kCount = 300000;

// Channels 2 and 5 of a 12-bit board, each sample's code its index's remainder.
void WriteRecording(const std::filesystem::path& path) {
  const RecordingChannel channels[] = {{2, "deux", 0, 2, 1, 5000.0, {}},
                                       {5, "cinq", 0, 5, 1, 5000.0, {}}};
  auto recording = Hdf5Recording::Create(path, channels, nullptr);
  const ReadingConversion conversion = TwelveBitConversion();
  ASSERT_TRUE(recording && recording->Started(5000.0, conversion, nullptr));
  ASSERT_TRUE(AppendCodes(*recording, conversion, 2, 0, kCount, [](std::uint64_t i, std::size_t c) {
    return static_cast<BoardReading>(c == 0 ? static_cast<BoardReading>(i % 4000) - 2000
                                            : static_cast<BoardReading>(i % 1000));
  }));
  ASSERT_TRUE(recording->Close(nullptr));
}

class RecordingCommands : public MainWindowTest {
 protected:
  RecordingCommands() { WriteRecording(dir_ / "long.h5"); }

  std::string StripText(std::size_t index) {
    ShownRecording& shown = *model_.view().recording;
    return RecordingStripTexts(shown, session_.masterChannel, model_.view().scale,
                               model_.view().cursors, MainWindow::kStripHeight)[index]
        .text;
  }
};

TEST_F(RecordingCommands, OpensWholeThenExtractsTheCursorsStretchIntoTheRecords) {
  session_.channels[0] = SampleRecord("gardé", {1.0, 2.0}, 100.0);
  dialogs_.Choose(dir_ / "long.h5");
  window_.RunCommand(kCmdOpenRecording);
  ASSERT_TRUE(model_.view().recording) << BoxTexts().front();
  EXPECT_EQ(session_.masterChannel, 2);  // the first channel recorded
  EXPECT_EQ(window_.windowTitle(), QString("TAVRIL v1.02 - long.h5"));
  EXPECT_EQ(StripText(3), "Nb Points= 300000");
  // The whole recording across the width.
  const ClientSize area = window_.graph()->DrawingArea();
  EXPECT_EQ(PixelToSample64(model_.view().scale, area.width),
            static_cast<std::int64_t>(kCount - 1));
  EXPECT_TRUE(window_.CommandAction(kCmdExtract)->isEnabled());
  // Zoomed in a hundredfold, a page of the scroll bar is the view's width.
  ZoomTime(model_.view(), 100.0, 0);
  const std::int64_t page =
      static_cast<std::int64_t>(area.width / model_.view().scale.pixelsPerSample);
  window_.graph()->findChild<QScrollBar*>()->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(model_.view().scale.scrollOffset, page);
  window_.RunCommand(kCmdZoomBack);

  GraphCursors& cursors = model_.view().cursors;
  cursors.cursorsShown = true;
  cursors.cursor1X = area.width / 4;
  cursors.cursor2X = area.width / 2;
  const std::int64_t first = PixelToSample64(model_.view().scale, cursors.cursor1X);
  const std::int64_t last = PixelToSample64(model_.view().scale, cursors.cursor2X);
  window_.RunCommand(kCmdExtract);
  EXPECT_TRUE(user_.boxes().empty()) << BoxTexts().front();
  EXPECT_FALSE(model_.view().recording);
  ASSERT_EQ(session_.channels[2].sampleCount(), static_cast<std::uint64_t>(last - first + 1));
  EXPECT_EQ(session_.channels[5].title, "cinq");
  EXPECT_EQ(
      session_.channels[5].sample(0),
      CodePolynomial::Of(TwelveBitConversion()).Volts(static_cast<BoardReading>(first % 1000)));
  EXPECT_EQ(session_.channels[0].title, "gardé");  // a slot the recording has not
  EXPECT_FALSE(window_.CommandAction(kCmdExtract)->isEnabled());
}

TEST_F(RecordingCommands, AnExtractThatCannotFitLeavesTheRecordsAndTheRecordingShown) {
  window_.OpenFromCommandLine(dir_ / "long.h5");
  ASSERT_TRUE(model_.view().recording);
  model_.view().cursors = GraphCursors{0, 800, true};
  const ScopedMemoryLimit limit(1 << 20);
  window_.RunCommand(kCmdExtract);
  ASSERT_EQ(user_.boxes().size(), 1u);
  EXPECT_NE(BoxTexts().front().find("mémoire"), std::string::npos) << BoxTexts().front();
  EXPECT_TRUE(model_.view().recording);
  EXPECT_FALSE(HoldsSamples(session_.channels[2]));
  // Records that change show themselves again, under their own title.
  model_.TellRecordsChanged();
  EXPECT_FALSE(model_.view().recording);
  EXPECT_EQ(window_.windowTitle(), QString("TAVRIL v1.02"));
}

TEST_F(RecordingCommands, LooksBackThroughARecordingRunAndReturnsToTheLivePicture) {
  session_.boardConfig = DefaultBoardConfig();
  memory_.continuous.record = true;
  memory_.continuous.recordPath = (dir_ / "direct.h5").string();
  window_.RunCommand(kCmdAcquisitionPanel);
  window_.RunCommand(kCmdContinuous);
  EXPECT_FALSE(window_.CommandAction(kCmdLookBack)->isEnabled());
  VisibleButton(QStringLiteral("Démarrer"))->click();
  RunEventsFor(1500);  // the writer flushes at least every second
  ASSERT_TRUE(window_.CommandAction(kCmdLookBack)->isEnabled());
  window_.RunCommand(kCmdLookBack);
  ASSERT_TRUE(model_.view().recording) << BoxTexts().front();
  EXPECT_TRUE(window_.CommandAction(kCmdLookBack)->isChecked());
  const std::uint64_t seen = model_.view().recording->LongestCount();
  EXPECT_GT(seen, 0u);
  RunEventsFor(1500);  // the run goes on; the look-back follows the file
  EXPECT_TRUE(model_.view().recording);
  EXPECT_GT(model_.view().recording->LongestCount(), seen);
  window_.RunCommand(kCmdLookBack);
  EXPECT_FALSE(model_.view().recording);
  EXPECT_FALSE(window_.CommandAction(kCmdLookBack)->isChecked());
  VisibleButton(QStringLiteral("Arrêter"))->click();
  // Nothing lost: the file holds every sample the run took.
  std::string why;
  const auto recording = ShownRecording::Open(dir_ / "direct.h5", &why, CheckPlace::kInProcess);
  ASSERT_TRUE(recording) << why;
  EXPECT_GT(recording->LongestCount(), seen);
  EXPECT_TRUE(user_.boxes().empty()) << BoxTexts().front();
}

}  // namespace
}  // namespace tavril::testing
