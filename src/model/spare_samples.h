#pragma once

#include <cstdint>
#include <vector>

#include "model/board_reading.h"
#include "model/channel_record.h"

namespace tavril {

// Memory kept aside for the whole session: acquiring or loading again refills
// it instead of taking fresh pages, which on these machines cost far more
// than writing touched ones. Each record's next samples are made here, so
// that the record itself changes only once they are complete; the record
// then hands its previous samples (and their memory) back.
struct SpareSamples {
  std::vector<BoardReading> readings;  // an acquisition's raw readings
  ChannelSamples samples;              // each record's next samples

  // Gives every page back (after a reset, say).
  void Release() {
    readings = std::vector<BoardReading>();
    for (std::vector<double>& values : samples) values = std::vector<double>();
  }
};

}  // namespace tavril
