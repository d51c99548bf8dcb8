#include "recorded_channels.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "input_channels.h"
#include "json_output.h"
#include "model/recording_overview.h"
#include "processing/streamed_wave_measurements.h"
#include "processing/wave_levels.h"
#include "processing/wave_measurements.h"
#include "text/number_text.h"
#include "text/text_encoding.h"

namespace tavril::cli {
namespace {

std::uint64_t LengthOf(const SampleRange& range) {
  return std::uint64_t{range.last} - range.first + 1;
}

double DurationOf(const RecordedChannel& channel) {
  return static_cast<double>(channel.sampleCount) / channel.settings.rate;
}

std::string Fixed(double value) {
  return FormatFixed(value, 6);
}

bool ReadSamples(RecordingReader& reader, std::size_t index, std::uint64_t first,
                 std::span<double> out, std::string* why) {
  for (std::size_t done = 0; done < out.size(); done += kReadBlockSamples) {
    const std::size_t length = std::min(kReadBlockSamples, out.size() - done);
    if (!reader.ReadVolts(index, first + done, out.subspan(done, length), why)) return false;
  }
  return true;
}

// Blocks the cache holds between the reading and the measuring of them.
constexpr std::size_t kTimingBlockSamples = std::size_t{1} << 16;

// The measurements of `range`: its levels as given, its timing from its
// samples streamed a block at a time.
bool MeasureTiming(RecordingReader& reader, std::size_t index, const SampleRange& range,
                   const WaveLevels& levels, WaveMeasurements& values, std::string* why) {
  const SampleRangeReader read = [&](std::uint64_t first, std::span<double> out) {
    return reader.ReadVolts(index, range.first + first, out, why);
  };
  const std::optional<WaveMeasurements> measured = MeasureWaveStreamed(
      read, LengthOf(range), reader.Channels()[index].settings.rate, &levels, kTimingBlockSamples);
  if (!measured) return false;
  values = *measured;
  return true;
}

}  // namespace

bool RecordedLevels(RecordingReader& reader, std::size_t index,
                    const std::optional<SampleRange>& range, OverviewStatistics& levels,
                    std::string* why) {
  levels = {};
  if (!range) return true;
  if (OverviewRange(reader.Source(index), range->first, std::uint64_t{range->last} + 1, levels))
    return true;
  if (why != nullptr) *why = reader.LastFailure();
  return false;
}

std::string RecordedInfoText(const RecordedChannel& channel,
                             const std::optional<TimeInterval>& between,
                             const std::optional<SampleRange>& range,
                             const OverviewStatistics& levels) {
  const RecordingChannel& settings = channel.settings;
  std::string text = "Titre: " + EscapedLine(Windows1252ToUtf8(settings.title)) + '\n';
  text += "Gain= " + std::to_string(int{settings.gain}) + '\n';
  text += "Nb Points= " + std::to_string(channel.sampleCount) + '\n';
  text += "Sample rate= " + FormatExponent4(settings.rate) + '\n';
  text += "Durée= " + Fixed(DurationOf(channel)) + " s\n";
  if (between) {
    text += "Échantillons= " +
            (range ? std::to_string(range->first) + " à " + std::to_string(range->last)
                   : std::string("aucun")) +
            '\n';
  }
  if (!levels.HoldsSamples()) return text;
  text += "YMax= " + Fixed(levels.maximum) + '\n';
  text += "YMin= " + Fixed(levels.minimum) + '\n';
  text += "Moy =  " + Fixed(levels.Mean()) + '\n';
  text += "RMS= " + Fixed(levels.Rms()) + '\n';
  return text;
}

std::string RecordedInfoJson(const RecordedChannel& channel,
                             const std::optional<TimeInterval>& between,
                             const std::optional<SampleRange>& range,
                             const OverviewStatistics& levels, const RecordSource& source) {
  const RecordingChannel& settings = channel.settings;
  JsonObject json;
  AddChannelFields(json, source, settings.title, settings.device, settings.chan, settings.gain,
                   static_cast<std::int64_t>(channel.sampleCount), settings.rate);
  json.AddDouble("duration", DurationOf(channel));
  if (between && range) {
    json.AddInteger("first", static_cast<std::int64_t>(range->first));
    json.AddInteger("last", static_cast<std::int64_t>(range->last));
  }
  const bool held = levels.HoldsSamples();
  const auto value = [held](double v) { return held ? std::optional<double>(v) : std::nullopt; };
  json.AddOptionalDouble("maxValue", value(levels.maximum));
  json.AddOptionalDouble("minValue", value(levels.minimum));
  json.AddOptionalDouble("mean", value(levels.Mean()));
  json.AddOptionalDouble("rms", value(levels.Rms()));
  return json.Text();
}

bool MeasureRecorded(RecordingReader& reader, std::size_t index,
                     const std::optional<SampleRange>& range, MeasurementRow& row,
                     std::string* why) {
  row = {};
  row.title = Windows1252ToUtf8(reader.Channels()[index].settings.title);
  row.range = range;
  OverviewStatistics levels;
  if (!RecordedLevels(reader, index, range, levels, why)) return false;
  WaveMeasurements& values = row.values;
  values.count = static_cast<std::size_t>(levels.sampleCount);
  // As MeasureWave, a sample that is not finite leaves every measurement empty.
  const WaveLevels wave = LevelsOf(levels);
  if (!levels.HoldsSamples() || !wave.finite) return true;
  return MeasureTiming(reader, index, *range, wave, values, why);
}

bool ReadRecordedRange(RecordingReader& reader, std::size_t index,
                       const std::optional<SampleRange>& range, ChannelRecord& record,
                       std::string* why) {
  const RecordingChannel& settings = reader.Channels()[index].settings;
  const std::uint64_t length = range ? LengthOf(*range) : 0;
  std::vector<double> samples;
  try {
    samples.resize(static_cast<std::size_t>(length));
  } catch (const std::bad_alloc&) {
    if (why != nullptr) {
      *why = "la mémoire ne peut pas contenir les " + std::to_string(length) + " points du canal " +
             std::to_string(settings.slot);
    }
    return false;
  }
  if (range && !ReadSamples(reader, index, range->first, samples, why)) return false;
  record = ChannelRecord();
  record.device = settings.device;
  record.chan = settings.chan;
  record.gain = settings.gain;
  record.rate = settings.rate;
  record.title = settings.title;
  record.TakeSamples(samples);
  record.acquiredAt = TimeOfSample(settings.acquiredAt, range ? range->first : 0, settings.rate);
  return true;
}

}  // namespace tavril::cli
