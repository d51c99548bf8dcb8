#include "files/hdf5_file.h"

#include "files/hdf5_layout.h"
#include "files/isolated_check.h"
#include "files/recording_reader.h"
#include "files/samples_memory.h"
#include "model/allocation.h"

namespace tavril {

bool WriteHdf5File(std::span<const SlotView> records, const std::filesystem::path& path,
                   std::string* why) {
  const Hdf5Use use;
  std::string reason;
  const bool written = hdf5_layout::WriteFile(
      path, hdf5_layout::kChannelsFormat,
      [records](hid_t file, const std::function<void()>& release, std::string& failure) {
        return hdf5_layout::WriteChannels(file, records, release, failure);
      },
      reason);
  if (!written && why != nullptr) *why = std::move(reason);
  return written;
}

namespace {

// A recording's channels whole, in volts, when memory can hold them.
bool ReadRecordingWhole(const std::filesystem::path& path, bool checkOnly, ChannelSet& read,
                        std::string& reason) {
  // Checked already, by the caller or as the helper program's own reading.
  const std::unique_ptr<RecordingReader> reader =
      RecordingReader::Open(path, &reason, CheckPlace::kInProcess);
  if (!reader || checkOnly) return reader != nullptr;
  std::uint64_t values = 0;
  for (const RecordedChannel& channel : reader->Channels()) values += channel.sampleCount;
  if (!SamplesFitInMemory(values)) {
    reason = SamplesMemoryRefusal(values);
    return false;
  }
  for (std::size_t k = 0; k < reader->Channels().size(); ++k) {
    const RecordedChannel& channel = reader->Channels()[k];
    SlotRecord& entry = read.emplace_back();
    entry.slot = channel.settings.slot;
    ChannelRecord& record = entry.record;
    record.title = channel.settings.title;
    record.device = channel.settings.device;
    record.chan = channel.settings.chan;
    record.gain = channel.settings.gain;
    record.rate = channel.settings.rate;
    record.acquiredAt = channel.settings.acquiredAt;
    std::vector<double> samples;
    if (!AllocateZeroed(samples, channel.sampleCount) ||
        !reader->ReadVolts(k, 0, samples, &reason)) {
      if (reason.empty()) reason = SamplesMemoryRefusal(channel.sampleCount);
      return false;
    }
    if (!samples.empty()) record.TakeSamples(samples, ComputeStatistics(samples));
  }
  return true;
}

bool ReadChannelsFile(const std::filesystem::path& path, bool checkOnly, ChannelSet& read,
                      std::string& reason) {
  std::string format;
  {
    const Hdf5Use use;
    Hdf5File file;
    if (!hdf5_layout::OpenAnyFile(path, file, format, reason)) return false;
    if (format == hdf5_layout::kChannelsFormat)
      return hdf5_layout::ReadChannels(file.get(), {.checkOnly = checkOnly}, read, reason);
  }
  if (format == hdf5_layout::kRecordingFormat)
    return ReadRecordingWhole(path, checkOnly, read, reason);
  reason = format == hdf5_layout::kSessionFormat
               ? "c'est un fichier de session TAVRIL : ouvrez-le comme une session"
               : "ce n'est pas un fichier de voies TAVRIL";
  return false;
}

}  // namespace

bool CheckHdf5File(const std::filesystem::path& path, std::string& why) {
  ChannelSet ignored;
  return ReadChannelsFile(path, true, ignored, why);
}

bool ReadHdf5File(const std::filesystem::path& path, ChannelSet& records, std::string* why) {
  if (!CheckFileAside(FileCheck::kChannelsHdf5, path, why)) return false;
  ChannelSet read;
  std::string reason;
  if (!ReadChannelsFile(path, false, read, reason)) {
    if (why != nullptr) *why = std::move(reason);
    return false;
  }
  records = std::move(read);
  return true;
}

}  // namespace tavril
