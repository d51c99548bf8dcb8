#include "files/channel_set.h"

namespace tavril {

std::vector<SlotView> RecordsToExport(const ChannelTable& table) {
  std::vector<SlotView> views;
  for (int slot = 0; slot < kChannelCount; ++slot) {
    if (HoldsSamples(table[slot])) views.push_back({slot, &table[slot]});
  }
  return views;
}

std::vector<SlotView> ViewsOf(const ChannelSet& set) {
  std::vector<SlotView> views;
  for (const SlotRecord& entry : set) views.push_back({entry.slot, &entry.record});
  return views;
}

std::vector<int> SlotsHoldingSamples(const ChannelSet& set, const ChannelTable& table) {
  std::vector<int> slots;
  for (const SlotRecord& entry : set) {
    if (HoldsSamples(table[entry.slot])) slots.push_back(entry.slot);
  }
  return slots;
}

void PutInTable(ChannelSet& set, ChannelTable& table, ChannelSamples& spare) {
  for (SlotRecord& entry : set) {
    ChannelRecord& target = table[entry.slot];
    spare[entry.slot] = target.ReleaseSamples();
    target = std::move(entry.record);
  }
  set.clear();
}

}  // namespace tavril
