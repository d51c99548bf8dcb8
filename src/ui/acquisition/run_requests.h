#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "acquisition/acquisition_settings.h"
#include "acquisition/continuous_trigger.h"
#include "model/channel_record.h"

namespace tavril {

// The acquisition panel's channels and fields, as a run takes them.
struct ChannelRequest {
  ChannelSelection selected{};
  AcquisitionSettings settings;
};

// What the continuous acquisition window lets the user choose, kept between
// its openings.
struct ContinuousChoices {
  // -1: no trigger, the newest samples roll in from the right.
  int triggerChannel = -1;
  double triggerLevel = 0.0;  // V
  bool risingEdge = true;
  int preTriggerPercent = 10;
  double holdoffSeconds = 0.0;
  enum class Mode { kAutomatic, kNormal, kSingleShot };
  Mode mode = Mode::kAutomatic;
  bool record = false;
  std::string recordPath;  // UTF-8
};

// What a continuous run starts with, which each window gives for its part
// when the controller asks: the panel its channels and fields, the
// continuous window its choices, or why its fields cannot be read.
struct ContinuousRequest {
  std::optional<ChannelRequest> channels;
  std::optional<ContinuousChoices> choices;
  std::string why;  // French
};

// How a run is going, as the continuous window shows it.
struct ContinuousProgress {
  double seconds = 0.0;
  std::uint64_t samplesWritten = 0;  // per channel, to the file
  std::optional<std::uint64_t> fileBytes;
  std::optional<std::uint64_t> freeBytes;
  std::optional<TriggerState> trigger;  // while a triggered run goes
};

}  // namespace tavril
