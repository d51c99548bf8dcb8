#include "convert_command.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_files.h"
#include "files/channel_formats.h"
#include "files/channel_set.h"
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

bool ReadInputs(const std::vector<std::string>& inputs, ChannelSet& set, std::ostream& err) {
  std::vector<std::string> sourceOfSlot(kChannelCount);
  for (const std::string& input : inputs) {
    ChannelSet read;
    if (ChannelFormatOf(input) == ChannelFormat::kChannelFile) {
      SlotRecord entry;
      if (!LoadRecord(input, entry.record, err)) return false;
      entry.slot = FreeSlot(set);
      read.push_back(std::move(entry));
    } else if (!ReadChannels(input, read, err)) {
      return false;
    }
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
  if (!ReadInputs(command.inputs, set, err)) return 1;
  if (set.empty()) {
    ReportError(err, "Aucun canal dans les fichiers d'entrée");
    return 1;
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
