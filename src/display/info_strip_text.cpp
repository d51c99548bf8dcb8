#include "display/info_strip_text.h"

#include <algorithm>
#include <functional>
#include <limits>

#include "display/shown_recording.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril {
namespace {

constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kRecordColour = 0x8C8CF5;      // RGB(140, 140, 245)
constexpr std::uint32_t kCursorColour = 0x0000FF;      // RGB(0, 0, 255)
constexpr std::uint32_t kDifferenceColour = 0x489191;  // RGB(72, 145, 145)

constexpr std::int32_t kColumnX[] = {2, 122, 242, 362, 482};

std::string Fixed(double value) {
  return FormatFixed(value, 6);
}

}  // namespace

RecordTexts DescribeRecord(const ChannelRecord& record) {
  RecordTexts texts;
  texts.title = "Titre: " + Windows1252ToUtf8(record.title);
  texts.gain = "Gain= " + std::to_string(int{record.gain});
  texts.count = "Nb Points= " + std::to_string(record.count());
  texts.rate = "Sample rate= " + FormatExponent4(record.rate);
  if (HoldsSamples(record)) {
    texts.statistics = {"YMax= " + Fixed(record.statistics().maxValue),
                        "YMin= " + Fixed(record.statistics().minValue),
                        "Moy =  " + Fixed(record.statistics().mean)};
  }
  return texts;
}

namespace {

// What the strip says of the master, whether a record or a recorded channel.
struct StripSubject {
  RecordTexts texts;
  double rate = 0.0;
  std::int64_t held = 0;  // samples the cursors may designate
  std::function<bool(std::int64_t, double&)> sampleAt;
};

std::vector<StripText> ComposeStrip(StripSubject subject, int masterChannel, std::int64_t index1,
                                    std::int64_t index2, std::int32_t stripHeight) {
  const std::int32_t rowHeight = stripHeight / 4;
  auto rowY = [rowHeight](int row) { return rowHeight * row + 2; };

  std::vector<StripText> texts;
  auto add = [&texts](std::int32_t x, std::int32_t y, std::uint32_t rgb, std::string text) {
    texts.push_back(StripText{x, y, rgb, std::move(text)});
  };

  RecordTexts& record = subject.texts;
  add(kColumnX[0], rowY(0), kBlack, "Canal " + std::to_string(masterChannel));
  add(kColumnX[1], rowY(0), kBlack, std::move(record.title));

  add(kColumnX[4], rowY(1), kRecordColour, std::move(record.gain));
  add(kColumnX[4], rowY(2), kRecordColour, std::move(record.count));
  add(kColumnX[4], rowY(3), kRecordColour, std::move(record.rate));

  if (record.statistics.empty()) return texts;
  for (int row = 1; row <= 3; ++row) {
    add(kColumnX[3], rowY(row), kRecordColour, std::move(record.statistics[row - 1]));
  }

  double value1 = 0.0;
  if (index1 < 0 || index1 >= subject.held || !subject.sampleAt(index1, value1)) return texts;
  const double time1 = static_cast<double>(index1) / subject.rate;
  add(kColumnX[0], rowY(1), kCursorColour, "X1= " + std::to_string(index1));
  add(kColumnX[0], rowY(2), kCursorColour, "Y1= " + Fixed(value1));
  add(kColumnX[0], rowY(3), kCursorColour, "T1= " + FormatExponent4(time1));

  double value2 = 0.0;
  if (index2 < 0 || index2 >= subject.held || !subject.sampleAt(index2, value2)) return texts;
  const double time2 = static_cast<double>(index2) / subject.rate;
  add(kColumnX[1], rowY(1), kCursorColour, "X2= " + std::to_string(index2));
  add(kColumnX[1], rowY(2), kCursorColour, "Y2= " + Fixed(value2));
  add(kColumnX[1], rowY(3), kCursorColour, "T2= " + FormatExponent4(time2));

  add(kColumnX[2], rowY(1), kDifferenceColour, "dX= " + std::to_string(index2 - index1));
  add(kColumnX[2], rowY(2), kDifferenceColour, "dY= " + Fixed(value2 - value1));
  add(kColumnX[2], rowY(3), kDifferenceColour, "dT= " + FormatExponent4(time2 - time1));
  return texts;
}

}  // namespace

std::vector<StripText> InfoStripTexts(const ChannelRecord& master, int masterChannel,
                                      const GraphScale& scale, const GraphCursors& cursors,
                                      std::int32_t stripHeight) {
  // Indexes are bounded by the samples actually held, which equal `count`
  // whenever the record holds any.
  StripSubject subject{DescribeRecord(master), master.rate,
                       static_cast<std::int64_t>(master.sampleCount()),
                       [&master](std::int64_t index, double& volts) {
                         volts = master.sample(static_cast<std::uint64_t>(index));
                         return true;
                       }};
  return ComposeStrip(std::move(subject), masterChannel, PixelToSample(scale, cursors.cursor1X),
                      PixelToSample(scale, cursors.cursor2X), stripHeight);
}

std::vector<StripText> RecordingStripTexts(ShownRecording& recording, int masterChannel,
                                           const GraphScale& scale, const GraphCursors& cursors,
                                           std::int32_t stripHeight) {
  StripSubject subject;
  const RecordedChannel* channel = recording.Channel(masterChannel);
  if (channel == nullptr) {
    subject.texts.title = "Titre: ";
    return ComposeStrip(std::move(subject), masterChannel, -1, -1, stripHeight);
  }
  const RecordingChannel& settings = channel->settings;
  subject.texts.title = "Titre: " + Windows1252ToUtf8(settings.title);
  subject.texts.gain = "Gain= " + std::to_string(int{settings.gain});
  subject.texts.count = "Nb Points= " + std::to_string(channel->sampleCount);
  subject.texts.rate = "Sample rate= " + FormatExponent4(settings.rate);
  subject.rate = settings.rate;
  subject.held = static_cast<std::int64_t>(
      std::min<std::uint64_t>(channel->sampleCount, std::numeric_limits<std::int64_t>::max()));
  OverviewStatistics statistics;
  if (recording.WholeStatistics(masterChannel, statistics, nullptr) && statistics.HoldsSamples()) {
    subject.texts.statistics = {"YMax= " + Fixed(statistics.maximum),
                                "YMin= " + Fixed(statistics.minimum),
                                "Moy =  " + Fixed(statistics.Mean())};
  }
  subject.sampleAt = [&recording, masterChannel](std::int64_t index, double& volts) {
    return recording.ReadSample(masterChannel, static_cast<std::uint64_t>(index), volts);
  };
  return ComposeStrip(std::move(subject), masterChannel, PixelToSample64(scale, cursors.cursor1X),
                      PixelToSample64(scale, cursors.cursor2X), stripHeight);
}

}  // namespace tavril
