#include "convert_command.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_files.h"
#include "files/channel_formats.h"
#include "files/channel_set.h"
#include "input_channels.h"
#include "model/messages.h"
#include "recorded_channels.h"

namespace tavril::cli {
namespace {

// Reports a channel of `samples` samples too long for the output's format.
bool FitsTheOutput(int slot, std::uint64_t samples, const std::string& output, std::ostream& err) {
  const std::string refusal = SampleCountRefusal(ChannelFormatOf(output), samples);
  if (refusal.empty()) return true;
  ReportError(err,
              messages::SaveError(output) + " : canal " + std::to_string(slot) + ", " + refusal);
  return false;
}

// The slot a .tvr record takes: the lowest one free.
int FreeSlot(const ChannelSet& set) {
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (std::none_of(set.begin(), set.end(),
                     [slot](const SlotRecord& entry) { return entry.slot == slot; }))
      return slot;
  }
  return -1;
}

// The channels of `input` that the command takes, within its --between: a
// file read by range gives only those samples, and none when the output's
// format cannot hold them.
bool ReadInput(const CommandLine& command, const std::string& input, const ChannelSet& set,
               ChannelSet& read, std::ostream& err) {
  InputFile file;
  std::vector<const InputChannel*> chosen;
  if (!OpenInput(input, file, err) || !SelectChannels(file, command.slots, input, chosen, err))
    return false;
  for (const InputChannel* channel : chosen) {
    SlotRecord entry;
    entry.slot = channel->slot.value_or(FreeSlot(set));
    const std::optional<SampleRange> range =
        RangeOf(command.between, channel->SampleCount(), channel->Rate());
    if (command.between && !range) {
      ReportError(err, "L'intervalle --between ne couvre aucun échantillon du canal " +
                           std::to_string(entry.slot) + " de " + input);
      return false;
    }
    if (channel->reader != nullptr) {
      const std::uint64_t length = range ? std::uint64_t{range->last} - range->first + 1 : 0;
      if (!FitsTheOutput(entry.slot, length, command.output, err)) return false;
      std::string why;
      if (!ReadRecordedRange(*channel->reader, channel->index, range, entry.record, &why)) {
        ReportError(err, messages::OpenError(input) + " : " + why);
        return false;
      }
    } else {
      ChannelRecord& whole =
          file.records[static_cast<std::size_t>(channel - file.channels.data())].record;
      entry.record = command.between ? RecordOfRange(whole, range) : std::move(whole);
    }
    read.push_back(std::move(entry));
  }
  return true;
}

bool ReadInputs(const CommandLine& command, ChannelSet& set, std::ostream& err) {
  std::vector<std::string> sourceOfSlot(kChannelCount);
  for (const std::string& input : command.inputs) {
    ChannelSet read;
    if (!ReadInput(command, input, set, read, err)) return false;
    for (SlotRecord& entry : read) {
      if (entry.slot < 0) {
        ReportError(err, "Plus de 8 canaux dans les fichiers d'entrée (" + input + ")");
        return false;
      }
      std::string& source = sourceOfSlot[entry.slot];
      if (!source.empty()) {
        ReportError(err, "Le canal " + std::to_string(entry.slot) + " est dans " + source +
                             " et dans " + input);
        return false;
      }
      source = input;
      set.push_back(std::move(entry));
    }
  }
  std::sort(set.begin(), set.end(),
            [](const SlotRecord& a, const SlotRecord& b) { return a.slot < b.slot; });
  return true;
}

// out.tvr with channel 3 gives out3.tvr, beside it.
std::string PathForSlot(const std::string& output, int slot) {
  std::filesystem::path path(output);
  const std::filesystem::path extension = path.extension();
  path.replace_extension();
  path += std::to_string(slot);
  path += extension;
  return path.string();
}

}  // namespace

int RunConvert(const CommandLine& command, std::ostream& err) {
  const std::string& output = command.output;
  if (!IsOutputFormat(output)) {
    ReportError(err, UnknownOutputMessage(output));
    return 1;
  }
  const bool oneFile = HoldsSeveralChannels(ChannelFormatOf(output));
  if (oneFile && !MayReplace(output, command.force, err)) return 1;

  ChannelSet set;
  if (!ReadInputs(command, set, err)) return 1;
  if (set.empty()) {
    ReportError(err, "Aucun canal dans les fichiers d'entrée");
    return 1;
  }
  for (const SlotRecord& entry : set) {
    if (!FitsTheOutput(entry.slot, entry.record.sampleCount(), output, err)) return 1;
  }
  if (oneFile) {
    std::string why;
    if (!WriteChannelsFile(ViewsOf(set), output, &why)) {
      ReportError(err, messages::SaveError(output) + " : " + why);
      return 1;
    }
    return 0;
  }
  if (set.size() == 1) {
    if (!MayReplace(output, command.force, err)) return 1;
    return WriteRecord(output, set.front().record, err) ? 0 : 1;
  }
  for (const SlotRecord& entry : set) {
    if (!MayReplace(PathForSlot(output, entry.slot), command.force, err)) return 1;
  }
  for (const SlotRecord& entry : set) {
    if (!WriteRecord(PathForSlot(output, entry.slot), entry.record, err)) return 1;
  }
  return 0;
}

}  // namespace tavril::cli
