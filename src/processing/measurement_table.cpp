#include "processing/measurement_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "text/number_text.h"
#include "text/si_prefix.h"

namespace tavril {

const std::array<MeasurementColumn, kMeasurementColumnCount> kMeasurementColumns = {{
    {"Minimum", "minimum", "V", &WaveMeasurements::minimum},
    {"Maximum", "maximum", "V", &WaveMeasurements::maximum},
    {"Crête à crête", "peakToPeak", "V", &WaveMeasurements::peakToPeak},
    {"Moyenne", "mean", "V", &WaveMeasurements::mean},
    {"Efficace", "rms", "V", &WaveMeasurements::rms},
    {"Efficace AC", "acRms", "V", &WaveMeasurements::acRms},
    {"Fréquence", "frequency", "Hz", &WaveMeasurements::frequency},
    {"Période", "period", "s", &WaveMeasurements::period},
    {"Rapport cyclique", "dutyCycle", "%", &WaveMeasurements::dutyCycle},
    {"Temps de montée", "riseTime", "s", &WaveMeasurements::riseTime},
    {"Temps de descente", "fallTime", "s", &WaveMeasurements::fallTime},
}};

namespace {

constexpr std::string_view kEmpty = "—";
constexpr std::string_view kPercent = "%";

// A product such as 0.3 * 10 lands a hair beside the whole number the user
// meant; within that hair it counts as the whole number.
double Snapped(double x) {
  const double whole = std::round(x);
  return std::fabs(x - whole) <= 1e-9 * std::max(1.0, std::fabs(whole)) ? whole : x;
}

std::optional<SampleRange> Clipped(double low, double high, std::size_t size) {
  low = std::max(low, 0.0);
  high = std::min(high, static_cast<double>(size - 1));
  if (!(low <= high)) return std::nullopt;
  return SampleRange{static_cast<std::size_t>(low), static_cast<std::size_t>(high)};
}

// Four significant digits with the prefix that leaves one to three digits
// before the point; beyond pico and tera the point moves instead.
std::string EngineeringText(double value, std::string_view unit) {
  if (!std::isfinite(value)) return ShortestText(value) + ' ' + std::string(unit);
  if (value == 0) value = 0;  // no "-0"
  constexpr int kLowestGroup = -4;
  constexpr int kHighestGroup = 4;

  // Rounded to four digits first, so 999.96 becomes 1.000e+03 and takes "k".
  char scientific[32];
  const auto written = std::to_chars(scientific, scientific + sizeof scientific, value,
                                     std::chars_format::scientific, 3);
  const std::string_view text(scientific, written.ptr);
  const bool negative = text.front() == '-';
  const std::string_view mantissa = text.substr(negative ? 1 : 0, 5);  // "d.ddd"
  std::string_view exponentText = text.substr(text.find('e') + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);

  const std::string digits = std::string(1, mantissa[0]) + std::string(mantissa.substr(2));
  const int group =
      std::clamp(exponent >= 0 ? exponent / 3 : -((2 - exponent) / 3), kLowestGroup, kHighestGroup);
  const int wholeDigits = exponent - 3 * group + 1;
  std::string number = negative ? "-" : "";
  if (wholeDigits <= 0) {
    number += "0." + std::string(static_cast<std::size_t>(-wholeDigits), '0') + digits;
  } else if (wholeDigits >= 4) {
    number += digits + std::string(static_cast<std::size_t>(wholeDigits - 4), '0');
  } else {
    const auto split = static_cast<std::size_t>(wholeDigits);
    number += digits.substr(0, split) + '.' + digits.substr(split);
  }
  return number + ' ' + std::string(kSiPrefixes[group - kLowestGroup].symbol) + std::string(unit);
}

std::string PercentText(double fraction) {
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, fraction * 100, std::chars_format::fixed, 2);
  if (result.ec != std::errc()) return ShortestText(fraction * 100) + " %";
  return std::string(digits, result.ptr) + " %";
}

std::string OptionalText(std::optional<double> value, std::string_view unit) {
  return value ? EngineeringText(*value, unit) : std::string(kEmpty);
}

// A title on one field of one line.
std::string TsvField(std::string_view text) {
  std::string field(text);
  std::replace_if(
      field.begin(), field.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return field;
}

}  // namespace

std::optional<SampleRange> SamplesOf(const MeasuredStretch& stretch, std::size_t size,
                                     double rate) {
  if (size == 0) return std::nullopt;
  switch (stretch.kind) {
    case MeasuredStretch::Kind::kWholeRecord:
      return SampleRange{0, size - 1};
    case MeasuredStretch::Kind::kBetweenTimes:
      if (!(rate > 0) || !std::isfinite(rate)) return std::nullopt;
      return Clipped(std::ceil(Snapped(stretch.from * rate)),
                     std::floor(Snapped(stretch.to * rate)), size);
    case MeasuredStretch::Kind::kBetweenSamples:
      return Clipped(std::min(stretch.from, stretch.to), std::max(stretch.from, stretch.to), size);
  }
  return std::nullopt;
}

MeasurementRow MeasureChannel(const ChannelRecord& record, int channel, bool master,
                              const MeasuredStretch& stretch, TitleToUtf8 titleText) {
  MeasurementRow row;
  row.channel = channel;
  row.title = titleText != nullptr ? titleText(record.title) : record.title;
  row.master = master;
  row.range = SamplesOf(stretch, record.sampleCount(), record.rate);
  if (row.range) {
    const std::span<const double> samples(record.samples());
    row.values = MeasureWave(
        samples.subspan(row.range->first, row.range->last - row.range->first + 1), record.rate);
  }
  return row;
}

std::vector<MeasurementRow> MeasureChannels(const ChannelTable& channels,
                                            const std::array<bool, kChannelCount>& measured,
                                            int masterChannel, const MeasuredStretch& stretch,
                                            TitleToUtf8 titleText) {
  std::vector<MeasurementRow> rows;
  for (int channel = 0; channel < kChannelCount; ++channel) {
    const ChannelRecord& record = channels[channel];
    if (!measured[channel] || !HoldsSamples(record)) continue;
    rows.push_back(MeasureChannel(record, channel, channel == masterChannel, stretch, titleText));
  }
  return rows;
}

std::string MeasurementText(const MeasurementColumn& column, std::optional<double> value) {
  if (!value) return std::string(kEmpty);
  return column.unit == kPercent ? PercentText(*value) : EngineeringText(*value, column.unit);
}

std::string MeasurementsTsv(std::span<const MeasurementRow> rows) {
  std::string text = "Canal\tTitre\tMaître";
  for (const MeasurementColumn& column : kMeasurementColumns) {
    text += '\t' + std::string(column.header) + " (" + std::string(column.unit) + ')';
  }
  text += '\n';
  for (const MeasurementRow& row : rows) {
    text += std::to_string(row.channel) + '\t' + TsvField(row.title) + '\t' +
            (row.master ? "oui" : "non");
    for (const MeasurementColumn& column : kMeasurementColumns) {
      text += '\t';
      const std::optional<double> value = row.values.*column.value;
      if (value) text += ShortestText(column.unit == kPercent ? *value * 100 : *value);
    }
    text += '\n';
  }
  return text;
}

CursorDifferences MeasureCursorDifferences(const ChannelRecord& master, std::int64_t index1,
                                           std::int64_t index2) {
  CursorDifferences differences;
  if (master.rate > 0 && std::isfinite(master.rate)) {
    differences.deltaT = static_cast<double>(index2 - index1) / master.rate;
    if (*differences.deltaT != 0) differences.inverse = 1 / *differences.deltaT;
  }
  const auto held = static_cast<std::int64_t>(master.sampleCount());
  const auto onRecord = [held](std::int64_t index) { return index >= 0 && index < held; };
  if (onRecord(index1) && onRecord(index2)) {
    differences.deltaV = master.sample(static_cast<std::uint64_t>(index2)) -
                         master.sample(static_cast<std::uint64_t>(index1));
  }
  return differences;
}

std::array<std::string, 3> CursorDifferenceTexts(const CursorDifferences& differences) {
  return {"Δt = " + OptionalText(differences.deltaT, "s"),
          "ΔV = " + OptionalText(differences.deltaV, "V"),
          "1/Δt = " + OptionalText(differences.inverse, "Hz")};
}

}  // namespace tavril
