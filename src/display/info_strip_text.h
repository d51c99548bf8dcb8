#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/graph_scale.h"
#include "model/channel_record.h"

namespace tavril {

// What the strip says of a record, whatever the cursors: its title, gain,
// points and rate, and, when it holds samples, its maximum, minimum and mean.
// UTF-8, each text with its label ("Titre: ", "Gain= ", ...).
struct RecordTexts {
  std::string title;
  std::string gain;
  std::string count;
  std::string rate;
  std::vector<std::string> statistics;  // YMax, YMin, mean; empty without samples
};
RecordTexts DescribeRecord(const ChannelRecord& record);

// One text of the strip: its top-left corner, its colour as 0xRRGGBB and its
// UTF-8 characters.
struct StripText {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::uint32_t rgb = 0;
  std::string text;
  bool operator==(const StripText&) const = default;
};

// What the strip shows of the master record (channel `masterChannel`) in a
// strip `stripHeight` pixels high, in drawing order: row 0, the right-hand
// column, then the statistics, the cursor columns and the differences as far
// as the record allows.
std::vector<StripText> InfoStripTexts(const ChannelRecord& master, int masterChannel,
                                      const GraphScale& scale, const GraphCursors& cursors,
                                      std::int32_t stripHeight);

class ShownRecording;

// The same strip for the channel of slot `masterChannel` of a recording shown
// in place of the records: its count in 64 bits, its maximum, minimum and
// mean from the overview, and the samples under the cursors read from the
// file. Only the slot's number and an empty title where the recording has no
// such channel.
std::vector<StripText> RecordingStripTexts(ShownRecording& recording, int masterChannel,
                                           const GraphScale& scale, const GraphCursors& cursors,
                                           std::int32_t stripHeight);

}  // namespace tavril
