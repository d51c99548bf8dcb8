#include "display/info_strip_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "display/view_state.h"
#include "model/session.h"
#include "support/record_checks.h"

namespace tavril {
namespace {

using testing::Values;

using testing::SetSamples;

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kRecord = 0x8C8CF5;
constexpr std::uint32_t kCursor = 0x0000FF;
constexpr std::uint32_t kDifference = 0x489191;

// What the strip reads: the master record and the view's scale and cursors.
struct Shown {
  Session session;
  ViewState view;
};

// 1000 samples at 1000 samples per second, sample j worth j / 1000 V, shown
// one sample per pixel so that a cursor's x is its sample index.
Shown ThousandSamples() {
  Shown shown;
  ChannelRecord& record = shown.session.channels[3];
  std::vector<double> samples(1000);
  for (std::size_t j = 0; j < samples.size(); ++j) samples[j] = static_cast<double>(j) / 1000.0;
  SetSamples(record, std::move(samples));
  record.rate = 1000.0;
  record.gain = 10;
  record.title = "Essai \xE9t\xE9";  // Windows-1252
  shown.session.masterChannel = 3;
  shown.view.scale.pixelsPerSample = 1.0;
  shown.view.scale.scrollOffset = 0;
  shown.view.cursors.cursor1X = 250;
  shown.view.cursors.cursor2X = 750;
  return shown;
}

std::vector<StripText> TextsOf(const Shown& shown, std::int32_t height) {
  return InfoStripTexts(shown.session.Master(), shown.session.masterChannel, shown.view.scale,
                        shown.view.cursors, height);
}

std::vector<std::string> TextsOnly(const std::vector<StripText>& items) {
  std::vector<std::string> texts;
  for (const StripText& item : items) texts.push_back(item.text);
  return texts;
}

TEST(InfoStripTexts, RecordWithBothCursorsOnSamples) {
  const std::vector<StripText> expected = {
      {2, 2, kBlack, "Canal 3"},
      {122, 2, kBlack, "Titre: Essai \u00E9t\u00E9"},
      {482, 19, kRecord, "Gain= 10"},
      {482, 36, kRecord, "Nb Points= 1000"},
      {482, 53, kRecord, "Sample rate= 1.0000e+003"},
      {362, 19, kRecord, "YMax= 0.999000"},
      {362, 36, kRecord, "YMin= 0.000000"},
      {362, 53, kRecord, "Moy =  0.499500"},
      {2, 19, kCursor, "X1= 250"},
      {2, 36, kCursor, "Y1= 0.250000"},
      {2, 53, kCursor, "T1= 2.5000e-001"},
      {122, 19, kCursor, "X2= 750"},
      {122, 36, kCursor, "Y2= 0.750000"},
      {122, 53, kCursor, "T2= 7.5000e-001"},
      {242, 19, kDifference, "dX= 500"},
      {242, 36, kDifference, "dY= 0.500000"},
      {242, 53, kDifference, "dT= 5.0000e-001"},
  };
  EXPECT_EQ(TextsOf(ThousandSamples(), 70), expected);
}

TEST(InfoStripTexts, ResetStateShowsRowZeroAndTheRightColumnOnly) {
  Shown state;
  ResetChannels(state.session.channels, 1);
  const std::vector<StripText> expected = {
      {2, 2, kBlack, "Canal 0"},
      {122, 2, kBlack, "Titre: "},
      {482, 19, kRecord, "Gain= 1"},
      {482, 36, kRecord, "Nb Points= 1000"},
      {482, 53, kRecord, "Sample rate= 1.0000e+005"},
  };
  EXPECT_EQ(TextsOf(state, 70), expected);
}

TEST(InfoStripTexts, Cursor2BeyondTheEndHidesItsColumnAndTheDifferences) {
  Shown state = ThousandSamples();
  state.view.cursors.cursor2X = 1000;
  EXPECT_EQ(TextsOnly(TextsOf(state, 70)),
            (std::vector<std::string>{"Canal 3", "Titre: Essai \u00E9t\u00E9", "Gain= 10",
                                      "Nb Points= 1000", "Sample rate= 1.0000e+003",
                                      "YMax= 0.999000", "YMin= 0.000000", "Moy =  0.499500",
                                      "X1= 250", "Y1= 0.250000", "T1= 2.5000e-001"}));
}

TEST(InfoStripTexts, Cursor1BeyondTheEndHidesAllCursorTexts) {
  Shown state = ThousandSamples();
  state.view.scale.scrollOffset = 900;  // cursor 1 on 1150, cursor 2 on 1650
  EXPECT_EQ(TextsOf(state, 70).size(), 8u);
  state.view.scale.scrollOffset = 0;
  state.view.cursors.cursor1X = -1;  // left of sample 0: index -2
  state.view.scale.pixelsPerSample = 0.5;
  EXPECT_EQ(TextsOf(state, 70).size(), 8u);
}

TEST(InfoStripTexts, DifferencesMayBeNegative) {
  Shown state = ThousandSamples();
  state.view.cursors.cursor1X = 750;
  state.view.cursors.cursor2X = 250;
  const std::vector<StripText> items = TextsOf(state, 70);
  ASSERT_EQ(items.size(), 17u);
  EXPECT_EQ(items[14].text, "dX= -500");
  EXPECT_EQ(items[15].text, "dY= -0.500000");
  EXPECT_EQ(items[16].text, "dT= -5.0000e-001");
}

TEST(InfoStripTexts, RowsFollowAQuarterOfTheHeight) {
  Shown state = ThousandSamples();
  std::vector<std::int32_t> rows;
  for (const StripText& item : TextsOf(state, 100)) {
    if (item.x == 2) rows.push_back(item.y);
  }
  EXPECT_EQ(rows, (std::vector<std::int32_t>{2, 27, 52, 77}));
}

TEST(InfoStripTexts, NonFiniteValuesAreSpelledOut) {
  Shown state = ThousandSamples();
  ChannelRecord& record = state.session.channels[3];
  std::vector<double> samples = Values(record);
  samples[250] = std::numeric_limits<double>::quiet_NaN();
  samples[750] = -std::numeric_limits<double>::infinity();
  SetSamples(record, samples);
  record.rate = 0.0;
  const std::vector<StripText> items = TextsOf(state, 70);
  ASSERT_EQ(items.size(), 17u);
  EXPECT_EQ(items[4].text, "Sample rate= 0.0000e+000");
  EXPECT_EQ(items[9].text, "Y1= nan");
  EXPECT_EQ(items[10].text, "T1= inf");
  EXPECT_EQ(items[12].text, "Y2= -inf");
  EXPECT_EQ(items[15].text, "dY= nan");
}

TEST(InfoStripTexts, LongTitleIsShownWhole) {
  Shown state = ThousandSamples();
  state.session.channels[3].title = std::string(255, 'A');
  EXPECT_EQ(TextsOf(state, 70)[1].text, "Titre: " + std::string(255, 'A'));
}

}  // namespace
}  // namespace tavril
