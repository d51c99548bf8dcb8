#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <vector>

#include "files/hdf5_recording.h"
#include "support/record_checks.h"
#include "support/recording_codes.h"
#include "support/temp_dir.h"
#include "text/text_encoding.h"
#include "ui/processing/measurements_window.h"
#include "ui/processing/spectrum_panel.h"

namespace tavril {
namespace {

constexpr double kRate = 1e5;
constexpr std::uint64_t kCount = 300000;
const RecordingChannel kChannels[] = {{0, "carr\xe9", 0, 0, 1, kRate, {}},
                                      {3, "triangle", 0, 3, 1, kRate, {}}};

// A 1 kHz square with a little ripple on slot 0, a 250 Hz triangle on slot 3.
BoardReading Code(std::uint64_t i, std::size_t channel) {
  if (channel == 0) return static_cast<BoardReading>((i % 100 < 30 ? 600 : -400) + i % 7);
  const auto phase = static_cast<BoardReading>(i % 400);
  return static_cast<BoardReading>((phase < 200 ? phase : 400 - phase) * 8 - 800);
}

// A recording of both channels, shown in the graph, and the same samples as
// records to measure them the classic way.
class RecordingToolWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override { Show(kCount, true); }

  void Show(std::uint64_t count, bool asRecords) {
    ReadingConversion conversion;  // 12-bit readings at 5/1024 V each
    conversion.scale.fullScaleReading = 2048.0;
    conversion.scale.fullScaleVolts = 10.0;
    conversion.scale.lowestReading = -2048;
    conversion.scale.highestReading = 2047;
    auto recording = Hdf5Recording::Create(dir_ / "rec.h5", kChannels, nullptr);
    ASSERT_TRUE(recording && recording->Started(kRate, conversion, nullptr));
    ASSERT_TRUE(testing::AppendCodes(*recording, conversion, 2, 0, count, &Code));
    ASSERT_TRUE(recording->Close(nullptr));

    std::string why;
    std::shared_ptr<ShownRecording> shown =
        ShownRecording::Open(dir_ / "rec.h5", &why, CheckPlace::kInProcess);
    ASSERT_TRUE(shown) << why;
    for (const int slot : asRecords ? std::vector{0, 3} : std::vector<int>{}) {
      std::vector<double> volts(count);
      ASSERT_TRUE(shown->ReadVolts(slot, 0, volts, &why)) << why;
      ChannelRecord& record = records_[slot];
      testing::SetSamples(record, volts);
      record.rate = kRate;
      record.title = shown->Channel(slot)->settings.title;
    }
    model_.session().masterChannel = 3;
    model_.ShowRecording(std::move(shown));
    // Sample 1000 at x = 0, a hundred samples per pixel.
    model_.view().scale.pixelsPerSample = 0.01;
    model_.view().scale.scrollOffset = 1000;
  }

  testing::TempDir dir_;
  SessionModel model_;
  ChannelTable records_;
};

TEST_F(RecordingToolWindowsTest, MesuresGivesTheWholeLevelsAndEverythingBetweenTheCursors) {
  MeasurementsWindow& window = *new MeasurementsWindow(model_);
  QTableWidget& table = *window.findChild<QTableWidget*>();
  // "Copier" shows at once what a pending update would.
  QPushButton* copy = window.findChild<QPushButton*>();
  const auto expectRows = [&](const MeasuredStretch& stretch, bool timing) {
    copy->click();
    ASSERT_EQ(table.rowCount(), 2);
    for (int row = 0; row < 2; ++row) {
      const int slot = row == 0 ? 0 : 3;
      const MeasurementRow expected =
          MeasureChannel(records_[slot], slot, slot == 3, stretch, &Windows1252ToUtf8);
      EXPECT_EQ(table.item(row, 1)->text().toStdString(), expected.title);
      for (std::size_t c = 0; c < kMeasurementColumns.size(); ++c) {
        const MeasurementColumn& column = kMeasurementColumns[c];
        const std::string text =  // the first six are the levels
            c < 6 || timing ? MeasurementText(column, expected.values.*column.value) : "—";
        EXPECT_EQ(table.item(row, static_cast<int>(c) + 2)->text().toStdString(), text)
            << "slot " << slot << ", " << column.key;
      }
    }
  };
  expectRows(MeasuredStretch::WholeRecord(), false);

  // Samples 6000 to 26000: twenty periods of the square, five of the triangle.
  model_.view().cursors = {50, 250, true};
  window.ScheduleUpdate();
  copy->click();
  window.findChildren<QRadioButton*>()[1]->click();
  expectRows(MeasuredStretch::BetweenSamples(6000, 26000), true);
  QStringList labels;
  for (QLabel* label : window.findChildren<QLabel*>()) labels << label->text();
  for (const std::string& text :
       CursorDifferenceTexts(MeasureCursorDifferences(records_[3], 6000, 26000)))
    EXPECT_TRUE(labels.contains(QString::fromStdString(text))) << text;

  window.close();
}

TEST_F(RecordingToolWindowsTest, MesuresOfALongStretchShowProgressAndKeepTheLevelsIfCancelled) {
  Show(17000000, false);
  model_.view().cursors = {-10, 200000, true};  // every sample, 2^24 and more in each channel
  MeasurementsWindow& window = *new MeasurementsWindow(model_);
  QTableWidget& table = *window.findChild<QTableWidget*>();
  QLabel& status = *window.findChild<QLabel*>(QStringLiteral("status"));
  bool cancelled = false;
  QTimer::singleShot(0, [&] {
    if (auto* progress = window.findChild<QProgressDialog*>()) progress->cancel(), cancelled = true;
  });
  window.findChildren<QRadioButton*>()[1]->click();
  window.findChild<QPushButton*>()->click();
  ASSERT_TRUE(cancelled);
  EXPECT_EQ(table.item(0, 3)->text(), QStringLiteral("2.959 V"));  // the square's maximum
  EXPECT_EQ(table.item(0, 8)->text(), QStringLiteral("—"));
  EXPECT_TRUE(status.text().startsWith(QStringLiteral("Mesure interrompue"))) << status.isVisible();

  // Too long for a spectrum.
  SpectrumPanel spectrum(model_);
  EXPECT_TRUE(spectrum.findChild<QLabel*>(QStringLiteral("averaged"))
                  ->text()
                  .startsWith(QStringLiteral("Spectre non calculé : l'écart des curseurs couvre")));
  EXPECT_TRUE(spectrum.plot()->curves().empty());

  model_.view().cursors.cursor2X = 99980;  // samples 0 to 9999000, still above 2^24 in all
  window.ScheduleUpdate();
  window.findChild<QPushButton*>()->click();
  EXPECT_EQ(table.item(0, 8)->text(), QStringLiteral("1.000 kHz"));
  EXPECT_TRUE(status.isHidden());
  window.close();
}

TEST_F(RecordingToolWindowsTest, SpectreTransformsTheViewOrTheCursorsRange) {
  SpectrumPanel panel(model_, nullptr, [] { return ClientSize{500, 300}; });
  // Each curve against the same samples transformed in memory.
  const auto expectSpectra = [&](std::vector<int> drawn, std::size_t first, std::size_t count) {
    ASSERT_EQ(panel.plot()->curves().size(), drawn.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      const Spectrum expected =
          ComputeSpectrum(records_[drawn[i]].samples().subspan(first, count), kRate,
                          SpectrumWindow::kHann, SpectrumPanel::kBlockSize, 16);
      EXPECT_EQ(panel.plot()->curves()[i].spectrum.dbv, expected.dbv) << drawn[i];
    }
  };
  // The view: the 500 pixels span samples 1000 to 50999.
  expectSpectra({3}, 1000, 50000);
  const QString averaged = panel.findChild<QLabel*>(QStringLiteral("averaged"))->text();
  EXPECT_TRUE(averaged.endsWith(QStringLiteral("échantillons 1000 à 50999")));

  // The cursors' range, once they rest; every shown channel over it.
  model_.view().cursors = {300, 100, true};
  panel.FollowView();
  EXPECT_EQ(panel.plot()->curves()[0].spectrum.blockLength, 50000u);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return panel.plot()->curves()[0].spectrum.blockLength != 50000; }));
  expectSpectra({3}, 11000, 20001);
  panel.findChild<QComboBox*>(QStringLiteral("channels"))->setCurrentIndex(1);
  expectSpectra({0, 3}, 11000, 20001);
}

}  // namespace
}  // namespace tavril
