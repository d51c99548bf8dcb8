#pragma once

#include <vector>

#include "model/channel_record.h"

namespace tavril {

// A record of a file of several channels, with the slot (0 to 7) of the
// channel table it belongs to.
struct SlotRecord {
  int slot = 0;
  ChannelRecord record;
};

// What a file of several channels holds, in slot order.
using ChannelSet = std::vector<SlotRecord>;

// A record to write, by reference: files of several channels are written
// straight from the channel table, whatever the records' size.
struct SlotView {
  int slot = 0;
  const ChannelRecord* record = nullptr;
};

// The records of `table` that hold samples, in slot order: what an export of
// every channel writes.
std::vector<SlotView> RecordsToExport(const ChannelTable& table);

// The records of `set`, to write them.
std::vector<SlotView> ViewsOf(const ChannelSet& set);

// The slots of `set` whose record in `table` holds samples: what putting
// `set` in the table would replace.
std::vector<int> SlotsHoldingSamples(const ChannelSet& set, const ChannelTable& table);

// Puts each record of `set` in its slot of `table`, in place of the record
// there, with its statistics; the samples replaced go back to `spare` (the
// slot's memory kept aside), so that the graph and the next load see the
// change. `set` is left empty.
void PutInTable(ChannelSet& set, ChannelTable& table, ChannelSamples& spare);

}  // namespace tavril
