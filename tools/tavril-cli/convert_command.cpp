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

namespace tavril::cli {
namespace {

// The slot a .tvr record takes: the lowest one free.
int FreeSlot(const ChannelSet& set) {
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (std::none_of(set.begin(), set.end(),
                     [slot](const SlotRecord& entry) { return entry.slot == slot; }))
      return slot;
  }
  return -1;
}

// The channels of `input` that the command takes, within its --between.
bool ReadInput(const CommandLine& command, const std::string& input, const ChannelSet& set,
               ChannelSet& read, std::ostream& err) {
  InputFile file;
  std::vector<const InputChannel*> chosen;
  if (!OpenInput(input, file, err) || !SelectChannels(file, command.slots, input, chosen, err))
    return false;
  for (const InputChannel* channel : chosen) {
    InputRecord& source = file.records[static_cast<std::size_t>(channel - file.channels.data())];
    SlotRecord entry;
    entry.slot = source.slot.value_or(FreeSlot(set));
    if (command.between) {
      const std::optional<SampleRange> range =
          RangeOf(command.between, source.record.sampleCount(), source.record.rate);
      if (!range) {
        ReportError(err, "L'intervalle --between ne couvre aucun échantillon du canal " +
                             std::to_string(entry.slot) + " de " + input);
        return false;
      }
      entry.record = RecordOfRange(source.record, range);
    } else {
      entry.record = std::move(source.record);
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

// Reports a channel too long for the output's format.
bool FitTheOutput(const ChannelSet& set, const std::string& output, std::ostream& err) {
  for (const SlotRecord& entry : set) {
    const std::string refusal =
        SampleCountRefusal(ChannelFormatOf(output), entry.record.sampleCount());
    if (!refusal.empty()) {
      ReportError(err, messages::SaveError(output) + " : canal " + std::to_string(entry.slot) +
                           ", " + refusal);
      return false;
    }
  }
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
  if (!FitTheOutput(set, output, err)) return 1;
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
