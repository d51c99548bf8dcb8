#include "input_channels.h"

#include <chrono>
#include <cmath>

#include "files/channel_formats.h"
#include "model/messages.h"

namespace tavril::cli {

std::uint64_t InputChannel::SampleCount() const {
  return record != nullptr ? record->sampleCount() : reader->Channels()[index].sampleCount;
}

double InputChannel::Rate() const {
  return record != nullptr ? record->rate : reader->Channels()[index].settings.rate;
}

bool OpenInput(const std::string& path, InputFile& file, std::ostream& err) {
  file.channels.clear();
  if (ChannelFormatOfFile(path) == ChannelFormat::kHdf5) {
    std::string why;
    file.reader = RecordingReader::Open(path, &why);
    if (file.reader == nullptr) {
      ReportError(err, messages::OpenError(path) + " : " + why);
      return false;
    }
    const std::span<const RecordedChannel> recorded = file.reader->Channels();
    for (std::size_t i = 0; i < recorded.size(); ++i)
      file.channels.push_back({&path, recorded[i].settings.slot, nullptr, file.reader.get(), i});
    return true;
  }
  if (!LoadInputRecords(path, file.records, err)) return false;
  for (const InputRecord& input : file.records)
    file.channels.push_back({&path, input.slot, &input.record});
  return true;
}

std::string SlotList(const InputFile& file) {
  std::string list;
  for (const InputChannel& channel : file.channels) {
    if (!list.empty()) list += ", ";
    list += std::to_string(channel.slot.value_or(0));
  }
  return list;
}

bool SelectChannels(const InputFile& file, const std::optional<SlotSelection>& slots,
                    const std::string& path, std::vector<const InputChannel*>& chosen,
                    std::ostream& err) {
  chosen.clear();
  const bool several = !file.channels.empty() && file.channels.front().slot.has_value();
  for (const InputChannel& channel : file.channels) {
    if (!slots || !several || (*slots)[static_cast<std::size_t>(*channel.slot)])
      chosen.push_back(&channel);
  }
  if (!slots || !several) return true;
  bool found = true;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (!(*slots)[static_cast<std::size_t>(slot)]) continue;
    bool held = false;
    for (const InputChannel& channel : file.channels) held = held || channel.slot == slot;
    if (!held) {
      ReportError(err, "Le canal " + std::to_string(slot) +
                           " n'est pas dans le fichier (canaux : " + SlotList(file) +
                           ") : " + path);
      found = false;
    }
  }
  return found;
}

int ForEachInputChannel(
    const std::vector<std::string>& paths, const std::optional<SlotSelection>& slots,
    std::ostream& err, const std::function<bool(const InputChannel&, const RecordSource&)>& visit) {
  const bool severalFiles = paths.size() > 1;
  int status = 0;
  for (const std::string& path : paths) {
    InputFile file;
    std::vector<const InputChannel*> chosen;
    if (!OpenInput(path, file, err)) {
      status = 1;
      continue;
    }
    if (!SelectChannels(file, slots, path, chosen, err)) status = 1;
    for (const InputChannel* channel : chosen) {
      const bool named = severalFiles || channel->slot.has_value();
      if (!visit(*channel, {named ? path : std::string(), channel->slot})) status = 1;
    }
  }
  return status;
}

std::optional<SampleRange> RangeOf(const std::optional<TimeInterval>& between,
                                   std::uint64_t samples, double rate) {
  if (!between) {
    if (samples == 0) return std::nullopt;
    return SampleRange{0, static_cast<std::size_t>(samples - 1)};
  }
  return SamplesOf(MeasuredStretch::BetweenTimes(between->from, between->to),
                   static_cast<std::size_t>(samples), rate);
}

ChannelRecord RecordOfRange(const ChannelRecord& record, const std::optional<SampleRange>& range) {
  ChannelRecord part;
  part.device = record.device;
  part.chan = record.chan;
  part.gain = record.gain;
  part.rate = record.rate;
  part.title = record.title;
  part.SetCount(0);
  if (!range) return part;
  const std::span<const double> kept =
      record.samples().subspan(range->first, range->last - range->first + 1);
  std::vector<double> samples(kept.begin(), kept.end());
  part.TakeSamples(samples);
  part.acquiredAt = TimeOfSample(record.acquiredAt, range->first, record.rate);
  return part;
}

std::optional<std::chrono::system_clock::time_point> TimeOfSample(
    const std::optional<std::chrono::system_clock::time_point>& start, std::uint64_t index,
    double rate) {
  if (!start || index == 0 || !(rate > 0)) return start;
  const std::chrono::duration<double> offset(static_cast<double>(index) / rate);
  return *start + std::chrono::duration_cast<std::chrono::system_clock::duration>(offset);
}

}  // namespace tavril::cli
