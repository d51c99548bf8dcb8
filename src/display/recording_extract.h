#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "display/shown_recording.h"
#include "model/channel_record.h"

namespace tavril {

// Puts samples [first, end) of every channel of `recording` into the records
// of their slots: settings from the recording, the time of the stretch's
// first sample, the samples in volts. Every channel is read before any
// record changes; a stretch longer than a record's 32-bit count, larger than
// the memory available, or a file that fails leaves every record as it was,
// with `why` in French. `slots` receives the slots filled.
bool ExtractRecording(ShownRecording& recording, std::uint64_t first, std::uint64_t end,
                      ChannelTable& table, ChannelSamples& spare, std::vector<int>& slots,
                      std::string* why);

}  // namespace tavril
