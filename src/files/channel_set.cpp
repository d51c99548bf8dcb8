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

}  // namespace tavril
