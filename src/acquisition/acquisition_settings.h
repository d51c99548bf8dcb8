#pragma once

#include <cstdint>
#include <string>

#include "acquisition/acquisition_engine.h"
#include "model/channel_record.h"

namespace tavril {

// What the user asks of an acquisition: the acquisition panel's fields, or
// tavril-cli acquire's options.
struct AcquisitionSettings {
  double sampleRate = 100000.0;
  std::uint32_t count = 1000;
  std::int16_t gain = 1;
  std::string title;  // Windows-1252, at most kMaxTitleBytes
  double scanRate = 0.0;
};

// Writes the settings into every selected record before the acquisition
// starts, with the board's device and the record's own channel number, so
// that they stay even when the acquisition fails.
void PrepareRecords(ChannelTable& table, const ChannelSelection& selected,
                    const AcquisitionSettings& settings, std::int16_t device);

}  // namespace tavril
