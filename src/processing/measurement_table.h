#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/channel_record.h"
#include "processing/wave_measurements.h"

namespace tavril {

// Samples [first, last] of a record, both ends included.
struct SampleRange {
  std::size_t first = 0;
  std::size_t last = 0;
  bool operator==(const SampleRange&) const = default;
};

// Which samples of each record are measured. The same stretch covers
// different samples in records of different rates or lengths, so it is
// mapped record by record.
struct MeasuredStretch {
  enum class Kind { kWholeRecord, kBetweenTimes, kBetweenSamples };
  Kind kind = Kind::kWholeRecord;
  double from = 0;  // seconds from the record's start, or a sample index
  double to = 0;

  static MeasuredStretch WholeRecord() { return {}; }
  static MeasuredStretch BetweenTimes(double t1, double t2) {
    return {Kind::kBetweenTimes, t1, t2};
  }
  // Two sample indexes in either order, such as the cursors give.
  static MeasuredStretch BetweenSamples(std::int64_t a, std::int64_t b) {
    return {Kind::kBetweenSamples, static_cast<double>(a), static_cast<double>(b)};
  }
};

// The samples `stretch` covers in a record of `size` samples at `rate`: for
// times, [ceil(t1 * rate), floor(t2 * rate)]; for indexes, the lower to the
// higher; clipped to the record. None when no sample is covered (t1 > t2, a
// stretch beside the record, times without a finite positive rate).
std::optional<SampleRange> SamplesOf(const MeasuredStretch& stretch, std::size_t size, double rate);

// One column of the table: its French header, its JSON key, the unit its
// values are shown in, and which measurement it shows.
struct MeasurementColumn {
  std::string_view header;
  std::string_view key;
  std::string_view unit;  // "V", "Hz", "s" or "%"
  std::optional<double> WaveMeasurements::*value;
};
inline constexpr std::size_t kMeasurementColumnCount = 11;
extern const std::array<MeasurementColumn, kMeasurementColumnCount> kMeasurementColumns;

// One row: a channel that holds samples, and what its stretch measures.
struct MeasurementRow {
  int channel = 0;
  std::string title;  // UTF-8
  bool master = false;
  std::optional<SampleRange> range;  // none: the stretch covers no sample
  WaveMeasurements values;
};

// Turns a record's title (Windows-1252 bytes) into UTF-8; the file layer's
// Windows1252ToUtf8 is the one the program passes.
using TitleToUtf8 = std::string (*)(std::string_view);

// The row of `record` (channel `channel`) for `stretch`.
MeasurementRow MeasureChannel(const ChannelRecord& record, int channel, bool master,
                              const MeasuredStretch& stretch, TitleToUtf8 titleText);

// The rows of the channels of `measured` that hold samples, in channel order.
std::vector<MeasurementRow> MeasureChannels(const ChannelTable& channels,
                                            const std::array<bool, kChannelCount>& measured,
                                            int masterChannel, const MeasuredStretch& stretch,
                                            TitleToUtf8 titleText);

// A value as the window and tavril-cli show it: four significant digits, an
// engineering prefix and the unit ("1.234 mV", "-20.00 µs", "0.000 V"), a
// duty cycle (0 to 1) in percent with two decimals ("25.00 %"), and "—" for
// an empty value. Decimals are written with a point, as everywhere else in
// the program (the strip, the files, tavril-cli), whatever the locale.
std::string MeasurementText(const MeasurementColumn& column, std::optional<double> value);

// The rows as tab-separated text for a spreadsheet: a header line, then one
// line per row (channel, title, "oui"/"non" for the master, the columns),
// each line ended by '\n'. Values in volts, hertz and seconds, the duty
// cycle in percent, in the shortest text that reads back exactly (point,
// exponent as "1e-05"); an empty value is an empty field. Tabs and line
// breaks in a title become spaces.
std::string MeasurementsTsv(std::span<const MeasurementRow> rows);

// What the two cursors tell of the master record: Δt from cursor 1 to
// cursor 2, ΔV between their samples, and 1/Δt. Δt needs a finite positive
// rate, ΔV both cursors on the record's samples, 1/Δt a Δt other than 0.
struct CursorDifferences {
  std::optional<double> deltaT;   // s
  std::optional<double> deltaV;   // V
  std::optional<double> inverse;  // Hz
};
CursorDifferences MeasureCursorDifferences(const ChannelRecord& master, std::int64_t index1,
                                           std::int64_t index2);

// "Δt = 1.000 ms", "ΔV = —", "1/Δt = 1.000 kHz", in that order.
std::array<std::string, 3> CursorDifferenceTexts(const CursorDifferences& differences);

}  // namespace tavril
